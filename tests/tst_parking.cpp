// Parking sensor steps, the parking-assist text and the ambient-light change filter.
#include "servicefixture.h"
#include "signalrecorder.h"
#include "simpleservice_access.h"
#include "translator.h"

#include <QtTest>

using namespace canservice;
using namespace testsupport;

namespace {
QList<int> frontAndRear(SimpleService &s)
{
    return {s.getFrontRadarLeftDistance(),     s.getFrontRadarMiddleLeftDistance(),
            s.getFrontRadarMiddleRightDistance(), s.getFrontRadarRightDistance(),
            s.getRearRadarLeftDistance(),      s.getRearRadarMiddleLeftDistance(),
            s.getRearRadarMiddleRightDistance(), s.getRearRadarRightDistance()};
}

QList<int> sides(SimpleService &s)
{
    return {s.getLeftRadarFrontDistance(),      s.getLeftRadarMiddleFrontDistance(),
            s.getLeftRadarMiddleRearDistance(), s.getLeftRadarRearDistance(),
            s.getRightRadarFrontDistance(),     s.getRightRadarMiddleFrontDistance(),
            s.getRightRadarMiddleRearDistance(), s.getRightRadarRearDistance()};
}

const QList<int> Nothing = {255, 255, 255, 255, 255, 255, 255, 255};
} // namespace

class tst_Parking : public QObject
{
    Q_OBJECT

private slots:
    void rawDistanceSteps_data();
    void rawDistanceSteps();
    void sensorMessages_data();
    void sensorMessages();
    void parkingAssistText();
    void ambientLightFilter_data();
    void ambientLightFilter();
};

void tst_Parking::rawDistanceSteps_data()
{
    QTest::addColumn<int>("raw");
    QTest::addColumn<int>("step");
    const int steps[] = {0xFF, 1, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 4, 4,
                         4,    4, 4, 4, 5, 5, 5, 5, 5, 5, 7, 7, 7, 7, 7, 7};
    for (int raw = 0; raw < 32; ++raw)
        QTest::addRow("raw %d", raw) << raw << steps[raw];
    for (int raw : {32, 33, 127, 128, 254, 255})
        QTest::addRow("raw %d", raw) << raw << 0xFF;
}

void tst_Parking::rawDistanceSteps()
{
    QFETCH(int, raw);
    QFETCH(int, step);
    ServiceOnLine box;
    QByteArray payload(6, '\0');
    payload[1] = char(raw);
    box.receiveFrame(0x23, payload);
    QCOMPARE(quint8(Access::radarData(*box.service).at(1)), quint8(step));
    QCOMPARE(box.service->getFrontRadarMiddleLeftDistance(), step == 0xFF ? 255 : step);
}

void tst_Parking::sensorMessages_data()
{
    QTest::addColumn<QList<QByteArray>>("frames");
    QTest::addColumn<QList<int>>("distances");
    QTest::addColumn<int>("changes");

    QTest::newRow("nothing yet") << QList<QByteArray>() << Nothing << 0;
    QTest::newRow("front")
            << QList<QByteArray>{frame(0x23, hex("0107081f0000"))}
            << QList<int>{1, 2, 3, 7, 255, 255, 255, 255} << 1;
    QTest::newRow("front twice") << QList<QByteArray>{frame(0x23, hex("0107081f0000")),
                                                      frame(0x23, hex("0107081fffff"))}
                                 << QList<int>{1, 2, 3, 7, 255, 255, 255, 255} << 1;
    QTest::newRow("front far away")
            << QList<QByteArray>{frame(0x23, hex("0020ff1a0000"))}
            << QList<int>{255, 255, 255, 7, 255, 255, 255, 255} << 1;
    QTest::newRow("rear keeps the front")
            << QList<QByteArray>{frame(0x23, hex("0107081f0000")), frame(0x22, hex("0e14191a"))}
            << QList<int>{1, 2, 3, 7, 4, 5, 5, 7} << 2;
    QTest::newRow("front keeps the rear")
            << QList<QByteArray>{frame(0x22, hex("0e14191a")), frame(0x23, hex("000000000000"))}
            << QList<int>{255, 255, 255, 255, 4, 5, 5, 7} << 1;
    QTest::newRow("wrong lengths")
            << QList<QByteArray>{frame(0x23, hex("0101010101")), frame(0x23, hex("01010101010101")),
                                 frame(0x22, hex("010101")), frame(0x22, hex("0101010101"))}
            << Nothing << 0;
}

void tst_Parking::sensorMessages()
{
    QFETCH(QList<QByteArray>, frames);
    QFETCH(QList<int>, distances);
    QFETCH(int, changes);
    ServiceOnLine box;
    QSignalSpy changed(box.service.get(), &CanServiceBase::sigRadarChanged);
    for (const QByteArray &f : frames)
        box.receive(f);
    QCOMPARE(frontAndRear(*box.service), distances);
    QCOMPARE(sides(*box.service), Nothing);
    QCOMPARE(changed.count(), changes);
    QCOMPARE(Access::radarData(*box.service).size(), 19);
}

void tst_Parking::parkingAssistText()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    SignalRecorder signals_(&s);
    const auto text = [&s] { return Access::otherInfoData(s).parkingAssistText; };
    QVERIFY(text().isEmpty());

    box.receiveFrame(0x25, hex("8000"));
    QCOMPARE(text(), Translator::translate(1177));
    box.receiveFrame(0x25, hex("81ff"));
    box.receiveFrame(0x25, hex("00"));
    box.receiveFrame(0x25, hex("000000"));
    QCOMPARE(text(), Translator::translate(1177));
    box.receiveFrame(0x25, hex("7fff"));
    QCOMPARE(text(), Translator::translate(655));
    QCOMPARE(signals_.events.filter(QStringLiteral("otherInfo")).size(), 2);

    OtherInfoData read;
    s.getOtherInfoData(read);
    QCOMPARE(read.parkingAssistText, Translator::translate(655));
}

void tst_Parking::ambientLightFilter_data()
{
    QTest::addColumn<int>("state0");
    QTest::addColumn<int>("colorPosition");
    QTest::addColumn<int>("colorIndex");
    QTest::addColumn<bool>("changed");
    // Stored after construction: 1, 0, 0xFF.
    QTest::newRow("same three") << 1 << 0 << 0xFF << false;
    QTest::newRow("state0") << 0 << 0 << 0xFF << true;
    QTest::newRow("position") << 1 << 3 << 0xFF << true;
    QTest::newRow("index") << 1 << 0 << 2 << true;
}

void tst_Parking::ambientLightFilter()
{
    QFETCH(int, state0);
    QFETCH(int, colorPosition);
    QFETCH(int, colorIndex);
    QFETCH(bool, changed);
    ServiceOnLine box;
    SimpleService &s = *box.service;
    QSignalSpy ambient(&s, &CanServiceBase::sigAmbientChanged);

    AmbientLightData light;
    light.state0 = quint8(state0);
    light.colorPosition = quint8(colorPosition);
    light.colorIndex = quint8(colorIndex);
    // Fields past the first three are neither compared nor stored.
    light.state3 = 9;
    light.valueText = "0";
    Access::ambientLightChanged(s, light);
    QCOMPARE(ambient.count(), changed ? 1 : 0);
    const CarSettingData stored = s.getCarSettingData();
    QCOMPARE(int(stored.state0), state0);
    QCOMPARE(int(stored.colorPosition), colorPosition);
    QCOMPARE(int(stored.colorIndex), colorIndex);
    QCOMPARE(stored.state3, quint8(1));
    QCOMPARE(stored.valueText, QByteArray("16777215"));

    Access::ambientLightChanged(s, light);
    QCOMPARE(ambient.count(), changed ? 1 : 0);
}

QTEST_GUILESS_MAIN(tst_Parking)
#include "tst_parking.moc"
