// The climate keys the head unit sends, chosen by the mode the box reports.
#include "canboxframe.h"
#include "servicefixture.h"
#include "signalrecorder.h"
#include "simpleservice_access.h"
#include "translator.h"

#include <QtTest>

using namespace canservice;
using namespace testsupport;

namespace {
// An eight-byte climate block with the given bytes set, the rest 0.
QByteArray block(std::initializer_list<std::pair<int, int>> bytes)
{
    QByteArray b(8, '\0');
    for (const auto &[index, value] : bytes)
        b[index] = char(value);
    return b;
}

} // namespace

class tst_Climate : public QObject
{
    Q_OBJECT

private slots:
    void keys_data();
    void keys();
    void temperatureKeysStepTheLevel_data();
    void temperatureKeysStepTheLevel();
    void windModeKey_data();
    void windModeKey();
};

void tst_Climate::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("manual");
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<int>("result");

    // Keys that send one code whatever the mode (a sample of the key table).
    const QList<QPair<int, int>> codes = {{1, 0x11}, {8, 0x29}, {11, 0x2E}, {21, 0x26}, {29, 0x2A}};
    for (const auto &[k, code] : codes)
        QTest::addRow("key %d", k) << k << false
                                   << QStringList{QString::fromLatin1(canbox::frame(0xC6, {0xAC, quint8(code)}).toHex())
                                                  + QStringLiteral("/true")}
                                   << 0;
    QTest::newRow("key 0, spelled out") << 0 << true << QStringList{"2ec602ac018a/true"} << 0;
    QTest::newRow("key 34 as key 1") << 34 << true << QStringList{"2ec602ac117a/true"} << 0;
    for (int k : {9, 12, 13, 14, 32, 33, 35, -1, 1000})
        QTest::addRow("key %d sends nothing", k) << k << true << QStringList() << 0;
    QTest::newRow("key 28") << 28 << true << QStringList() << -1;
    QTest::newRow("key 30") << 30 << true << QStringList() << -1;
    QTest::newRow("key 4, manual") << 4 << true << QStringList{"2ec602ac1873/true"} << 0;
    QTest::newRow("key 5, manual") << 5 << true << QStringList{"2ec602ac1774/true"} << 0;
    QTest::newRow("key 4, automatic") << 4 << false << QStringList() << 0;
    QTest::newRow("key 5, automatic") << 5 << false << QStringList() << 0;
    QTest::newRow("key 19, manual") << 19 << true << QStringList{"2ec602ac2467/true"} << 0;
    QTest::newRow("key 20, manual") << 20 << true << QStringList{"2ec602ac2368/true"} << 0;
}

void tst_Climate::keys()
{
    QFETCH(int, key);
    QFETCH(bool, manual);
    QFETCH(QStringList, writes);
    QFETCH(int, result);
    ServiceOnLine box;
    box.receiveFrame(0x29, block({{4, manual ? 0x08 : 0x00}, {2, 40}}));
    box.recorder->clearWrites();
    const int level = Access::acTemperatureLevel(*box.service);
    QCOMPARE(box.service->sendAcKey(key, 5), result);
    QCOMPARE(box.takeWrites(), writes);
    QCOMPARE(Access::acTemperatureLevel(*box.service), level);
}

void tst_Climate::temperatureKeysStepTheLevel_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("sent");
    QTest::newRow("up") << 20 << 19 << 21;
    QTest::newRow("up to 30") << 29 << 19 << 30;
    QTest::newRow("up at 30 stays") << 30 << 19 << 30;
    QTest::newRow("up from above 30") << 40 << 19 << 30;
    QTest::newRow("down") << 20 << 20 << 19;
    QTest::newRow("down at 0 stays") << 0 << 20 << 0;
    QTest::newRow("down from above 30") << 40 << 20 << 39;
}

void tst_Climate::temperatureKeysStepTheLevel()
{
    QFETCH(int, level);
    QFETCH(int, key);
    QFETCH(int, sent);
    ServiceOnLine box;
    box.receiveFrame(0x29, block({{2, level}}));
    box.recorder->clearWrites();
    QCOMPARE(box.service->sendAcKey(key, 0), 0);
    QCOMPARE(box.takeWrites(),
             QStringList{QString::fromLatin1(canbox::frame(0xC6, {0xAE, quint8(sent)}).toHex()) + "/true"});
    QCOMPARE(Access::acTemperatureLevel(*box.service), sent);
    // The level is stepped again from where it is now.
    box.service->sendAcKey(key, 0);
    QCOMPARE(Access::acTemperatureLevel(*box.service),
             key == 19 ? qMin(sent + 1, 30) : qMax(sent - 1, 0));
}

void tst_Climate::windModeKey_data()
{
    QTest::addColumn<int>("byte1");
    QTest::addColumn<QStringList>("codes");
    QTest::newRow("raw 0") << 0x00 << QStringList{"22"};
    QTest::newRow("raw 1") << 0x20 << QStringList({"22", "21"});
    QTest::newRow("raw 2") << 0x5F << QStringList({"21", "20"});
    QTest::newRow("raw 3") << 0x60 << QStringList({"21", "20"});
    QTest::newRow("raw 4") << 0x80 << QStringList({"20", "21", "22"});
    QTest::newRow("raw 4, low bits set") << 0x9F << QStringList({"20", "21", "22"});
    QTest::newRow("raw 5") << 0xA7 << QStringList({"21", "22"});
    QTest::newRow("raw 6") << 0xC0 << QStringList{"22"};
    QTest::newRow("raw 7") << 0xE0 << QStringList({"22", "20", "21"});
}

void tst_Climate::windModeKey()
{
    QFETCH(int, byte1);
    QFETCH(QStringList, codes);
    ServiceOnLine box;
    box.receiveFrame(0x29, block({{1, byte1}}));
    box.recorder->clearWrites();
    QCOMPARE(box.service->sendAcKey(31, 0), 0);
    QStringList expected;
    for (const QString &code : codes) {
        const auto c = quint8(code.toInt(nullptr, 16));
        expected << QString::fromLatin1(canbox::frame(0xC6, {0xAC, c}).toHex()) + "/true";
    }
    QCOMPARE(box.takeWrites(), expected);
}

QTEST_GUILESS_MAIN(tst_Climate)
#include "tst_climate.moc"
