// Source status, radio band and frequency, track texts, and the GPS time conversion.
#include "canboxframe.h"
#include "servicefixture.h"
#include "simpleservice_access.h"

#include <QtTest>

using namespace canservice;
using namespace testsupport;

namespace {
// A track text frame: 11, the kind, then the text field padded to 32 bytes.
QString textFrame(int kind, const QByteArray &field)
{
    const QByteArray data = hex("11") + char(kind) + field + QByteArray(32 - field.size(), '\0');
    return QString::fromLatin1(canbox::frame(0xCB, data).toHex()) + "/false";
}

QString blank(int kind)
{
    return textFrame(kind, QByteArray());
}
} // namespace

class tst_Media : public QObject
{
    Q_OBJECT

private slots:
    void sourceInformation_data();
    void sourceInformation();
    void trackTextsAreCutAt16Units_data();
    void trackTextsAreCutAt16Units();
    void gpsTime_data();
    void gpsTime();
    void gpsYearOutsideTheCentury();
};

void tst_Media::sourceInformation_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("information");
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("writes");

    const QString song875 = textFrame(0x03, hex("380037002e003500200020004d0048007a00"));
    QTest::newRow("FM1 87.5")
            << "Radio FM1" << QStringList{"87.5  MHz"} << 0
            << QStringList{"2ec00201013b/false", "2ec204012e2200e8/false", song875, blank(0x05)};
    QTest::newRow("FM3 108.0, band as FM2")
            << "FM3" << QStringList({"108.0MHz", "Album"}) << 0
            << QStringList{"2ec00201013b/false", "2ec20402302a00dd/false",
                           textFrame(0x03, hex("3100300038002e0030004d0048007a00")),
                           textFrame(0x05, hex("41006c00620075006d00"))};
    QTest::newRow("no FM band")
            << "AM" << QStringList{"1008KHz"} << 0
            << QStringList{"2ec00201013b/false", "2ec20410f0030036/false",
                           textFrame(0x03, hex("31003000300038004b0048007a00")),
                           blank(0x05)};
    QTest::newRow("FM1 before FM2")
            << "FM2 FM1" << QStringList{"87.5MHz"} << 0
            << QStringList{"2ec00201013b/false", "2ec204012e2200e8/false",
                           textFrame(0x03, hex("380037002e0035004d0048007a00")), blank(0x05)};
    QTest::newRow("band search is case-sensitive")
            << "fm1" << QStringList{"100MHz"} << 0
            << QStringList{"2ec00201013b/false", "2ec20410640000c5/false",
                           textFrame(0x03, hex("3100300030004d0048007a00")), blank(0x05)};
    QTest::newRow("empty list") << "FM1" << QStringList() << 0
                                << QStringList{"2ec00201013b/false", "2ec2040100000038/false",
                                               blank(0x03), blank(0x05)};
    QTest::newRow("three characters give 0")
            << "FM1" << QStringList{"MHz"} << 0
            << QStringList{"2ec00201013b/false", "2ec2040100000038/false",
                           textFrame(0x03, hex("4d0048007a00")), blank(0x05)};
    QTest::newRow("short text used whole")
            << "AM" << QStringList{"99"} << 0
            << QStringList{"2ec00201013b/false", "2ec20410630000c6/false",
                           textFrame(0x03, hex("39003900")), blank(0x05)};
    QTest::newRow("not a number") << "FM1" << QStringList{"n/a MHz"} << 0
                                  << QStringList{"2ec00201013b/false", "2ec2040100000038/false",
                                                 textFrame(0x03, hex("6e002f0061002000"
                                                                     "4d0048007a00")),
                                                 blank(0x05)};
    QTest::newRow("absurd frequency") << "FM1" << QStringList{"1e30MHz"} << 0
                                      << QStringList{"2ec00201013b/false", "2ec2040100000038/false",
                                                     textFrame(0x03, hex("31006500330030004d0048007a00")),
                                                     blank(0x05)};

    const QString zeros28(56, QLatin1Char('0'));
    const QString zeros32(64, QLatin1Char('0'));
    QTest::newRow("Hi, whole frames")
            << "USB" << QStringList{"Hi"} << 1
            << QStringList{"2ec002081223/false", "2ecb22110348006900" + zeros28 + "4d/false",
                           "2ecb221105" + zeros32 + "fc/false"};
    QTest::newRow("type 7, whole frames")
            << "USB" << QStringList{"Hi"} << 7
            << QStringList{"2ecb221103" + zeros32 + "fe/false", "2ecb221105" + zeros32 + "fc/false"};

    const QStringList track{"Song", "Album"};
    const QString song = textFrame(0x03, hex("53006f006e006700"));
    const QString album = textFrame(0x05, hex("41006c00620075006d00"));
    QTest::newRow("type 1") << "USB" << track << 1
                            << QStringList{"2ec002081223/false", song, album};
    QTest::newRow("type 3") << "USB" << track << 3
                            << QStringList{"2ec002081223/false", song, album};
    QTest::newRow("type 4") << "BT" << track << 4 << QStringList{"2ec0020b1022/false", song, album};
    QTest::newRow("type 5") << "AUX" << track << 5
                            << QStringList{"2ec002073006/false", blank(0x03), blank(0x05)};
    QTest::newRow("type 9") << "Off" << track << 9
                            << QStringList{"2ec00200003d/false", blank(0x03), blank(0x05)};
    QTest::newRow("type 10") << "TV" << track << 10
                             << QStringList{"2ec0020b40f2/false", blank(0x03), blank(0x05)};
    for (int type : {6, 7, 8, 11, -1})
        QTest::addRow("type %d, no status", type)
                << "FM1" << track << type << QStringList{blank(0x03), blank(0x05)};
}

void tst_Media::sourceInformation()
{
    QFETCH(QString, name);
    QFETCH(QStringList, information);
    QFETCH(int, type);
    QFETCH(QStringList, writes);
    ServiceOnLine box;
    box.service->onRadioSourceInformation(name, information, type);
    QCOMPARE(box.takeWrites(), writes);
}

void tst_Media::trackTextsAreCutAt16Units_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("Hi") << "Hi" << hex("48006900");
    QByteArray sixteen;
    for (char c = 'a'; c < 'a' + 16; ++c)
        sixteen += QByteArray(1, c) + '\0';
    QTest::newRow("exactly 16") << "abcdefghijklmnop" << sixteen;
    QTest::newRow("20 characters") << "abcdefghijklmnopqrst" << sixteen;
    // U+1F600 as units 16 and 17: only its high surrogate fits.
    QTest::newRow("pair across the limit")
            << QStringLiteral("abcdefghijklmno\U0001F600") << sixteen.left(30) + hex("3dd8");
    QTest::newRow("non-Latin") << QStringLiteral("Привет") << hex("1f0440043804320435044204");
}

void tst_Media::trackTextsAreCutAt16Units()
{
    QFETCH(QString, title);
    QFETCH(QByteArray, field);
    ServiceOnLine box;
    box.service->onRadioSourceInformation(QStringLiteral("USB"), {title}, 1);
    const auto writes = box.recorder->takeWrites();
    QCOMPARE(writes.size(), 3);
    QCOMPARE(writes.at(1).bytes.size(), 38);
    QCOMPARE(describe({writes.at(1)}), QStringList{textFrame(0x03, field)});
}

void tst_Media::gpsTime_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("is24Hour");
    QTest::addColumn<int>("shortYear");
    QTest::addColumn<int>("shownHour");
    QTest::newRow("2024, 15:00, 12-hour") << 2024 << 15 << 0 << 24 << 3;
    QTest::newRow("2024, 15:00, 24-hour") << 2024 << 15 << 1 << 24 << 15;
    QTest::newRow("any non-zero flag") << 2024 << 23 << 7 << 24 << 23;
    QTest::newRow("midnight") << 2030 << 0 << 0 << 30 << 12;
    QTest::newRow("noon") << 2030 << 12 << 0 << 30 << 12;
    QTest::newRow("11") << 2030 << 11 << 0 << 30 << 11;
    QTest::newRow("23") << 2030 << 23 << 0 << 30 << 11;
    QTest::newRow("2099") << 2099 << 1 << 0 << 99 << 1;
    QTest::newRow("2000") << 2000 << 1 << 0 << 0 << 1;
}

void tst_Media::gpsTime()
{
    QFETCH(int, year);
    QFETCH(int, hour);
    QFETCH(int, is24Hour);
    QFETCH(int, shortYear);
    QFETCH(int, shownHour);
    ServiceOnLine box;
    GPSTime time;
    time.year = quint16(year);
    time.hour = quint8(hour);
    time.is24Hour = quint8(is24Hour);
    time.minute = 42;
    time.day = 17;
    const GPSTimePacket packet = box.service->GPSTimeSend(time);
    QCOMPARE(int(time.year), shortYear);
    QCOMPARE(int(time.hour), shownHour);
    QCOMPARE(int(time.minute), 42);
    QCOMPARE(int(time.day), 17);
    QCOMPARE(int(Access::lastGpsYear(*box.service)), shortYear);

    QCOMPARE(packet.codeLow, quint8(0xC8));
    QCOMPARE(packet.codeHigh, quint8(0x03));
    QCOMPARE(packet.reserved, quint8(0));
    QCOMPARE(packet.header, quint32(0x2E));
    QCOMPARE(packet.data, quint32(0));
    QCOMPARE(packet.enabled, quint8(1));
    QCOMPARE(packet.count, quint8(1));
    QVERIFY(box.recorder->writes().isEmpty());
}

void tst_Media::gpsYearOutsideTheCentury()
{
    ServiceOnLine box;
    GPSTime before2000;
    before2000.year = 1999;
    box.service->GPSTimeSend(before2000);
    QCOMPARE(int(before2000.year), 0);

    GPSTime valid;
    valid.year = 2024;
    box.service->GPSTimeSend(valid);
    GPSTime after2099;
    after2099.year = 2100;
    box.service->GPSTimeSend(after2099);
    QCOMPARE(int(after2099.year), 24);
    GPSTime zero;
    zero.year = 0;
    box.service->GPSTimeSend(zero);
    QCOMPARE(int(zero.year), 24);
    QCOMPARE(int(Access::lastGpsYear(*box.service)), 24);
}

QTEST_GUILESS_MAIN(tst_Media)
#include "tst_media.moc"
