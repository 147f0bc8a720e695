// The climate block as the head unit reads it, and the climate keys it sends.
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

// Every getter's answer, in one text, so a table row can say what a block means.
QMap<QString, QVariant> readAll(SimpleService &s)
{
    return {
        {"powerOff", s.isPowerOff()},         {"powerOffRear", s.isPowerOffRear()},
        {"rearClimate", s.isRearClimate()},   {"acMax", s.isAcMax()},
        {"ac", s.isAc()},                     {"inside", s.isInside()},
        {"auto", s.isAuto()},                 {"dual", s.isDual()},
        {"rearDefrost", s.isRearDefrost()},   {"frontDefrost", s.isFrontDefrost()},
        {"frontLeftHeat", s.getAcFrontLeftHeat()}, {"frontRightHeat", s.getAcFrontRightHeat()},
        {"rearLeftHeat", s.getAcRearLeftHeat()},   {"rearRightHeat", s.getAcRearRightHeat()},
        {"swcHeat", s.isAcSwcHeat()},         {"glassHeat", s.isAcGlassHeat()},
        {"airCare", s.isAirCareActive()},     {"profile", s.getAirConProfile()},
        {"leftVent", s.getLeftVentilation()}, {"rightVent", s.getRightVentilation()},
        {"windMode", s.getAcWindMode()},      {"windScale", s.getAcWindScale()},
        {"windModeRear", s.getAcWindModeRear()}, {"windScaleRear", s.getAcWindScaleRear()},
        {"showRequest", s.getAcShowRequest()},   {"temperature", s.getAcTemperature()},
        {"rightTemperature", s.getAcRightTemperature()},
        {"rearTemperature", s.getAcRearTemperature()},
        {"unit", s.getAcTemperatureUnit()},   {"rightUnit", s.getAcRightTemperatureUnit()},
        {"manual", s.getManualClimateMode()},
    };
}
} // namespace

class tst_Climate : public QObject
{
    Q_OBJECT

private slots:
    void getters_data();
    void getters();
    void everyAcceptedBlockSignalsTwice();
    void otherLengthsChangeNothing_data();
    void otherLengthsChangeNothing();
    void levelFollowsTheBlockOnlyInAutomaticMode();
    void airCleaning();
    void keys_data();
    void keys();
    void temperatureKeysStepTheLevel_data();
    void temperatureKeysStepTheLevel();
    void windModeKey_data();
    void windModeKey();
};

void tst_Climate::getters_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QVariantMap>("expected");

    QTest::newRow("zero block, automatic")
            << block({}) << QVariantMap{{"temperature", -1.0f}, {"rightTemperature", -1.0f},
                                        {"rearTemperature", 15.5f}, {"manual", 0},
                                        {"unit", Translator::translate(1150)}, {"windMode", 0}};
    QTest::newRow("byte 0 flags")
            << block({{0, 0xED}})
            << QVariantMap{{"powerOff", true}, {"ac", true}, {"inside", true}, {"auto", true},
                           {"dual", true}, {"rearDefrost", true}};
    QTest::newRow("byte 0 flags off")
            << block({{0, 0x12}})
            << QVariantMap{{"powerOff", false}, {"ac", false}, {"inside", false},
                           {"auto", false}, {"dual", false}, {"rearDefrost", false}};
    QTest::newRow("manual 16.0 and 16.5")
            << block({{4, 0x08}, {2, 32}, {6, 33}})
            << QVariantMap{{"temperature", 16.0f}, {"rightTemperature", 16.5f}, {"manual", 1}};
    QTest::newRow("LO and HI")
            << block({{4, 0x08}, {2, 30}, {6, 60}})
            << QVariantMap{{"temperature", -100.0f}, {"rightTemperature", -101.0f}};
    QTest::newRow("Fahrenheit LO and HI")
            << block({{4, 0x48}, {2, 119}, {6, 171}})
            << QVariantMap{{"temperature", -100.0f}, {"rightTemperature", -101.0f}};
    QTest::newRow("Fahrenheit")
            << block({{4, 0x48}, {2, 120}, {6, 170}})
            << QVariantMap{{"temperature", 60.0f}, {"rightTemperature", 85.0f},
                           {"unit", Translator::translate(1163)},
                           {"rightUnit", Translator::translate(1163)}};
    QTest::newRow("Celsius up to 79, Fahrenheit from 80")
            << block({{4, 0x08}, {2, 79}, {6, 80}})
            << QVariantMap{{"temperature", 39.5f}, {"rightTemperature", 40.0f}};
    QTest::newRow("out of range indices")
            << block({{4, 0x08}, {2, 0}, {6, 255}})
            << QVariantMap{{"temperature", 0.0f}, {"rightTemperature", 127.5f}};
    QTest::newRow("rear Fahrenheit by bit 4 alone")
            << block({{4, 0x10}, {7, 5}})
            << QVariantMap{{"rearTemperature", 64.0f}, {"unit", Translator::translate(1150)}};
    QTest::newRow("rear Fahrenheit by bit 6")
            << block({{4, 0x40}, {7, 5}}) << QVariantMap{{"rearTemperature", 64.0f}};
    QTest::newRow("rear Celsius") << block({{7, 1}}) << QVariantMap{{"rearTemperature", 16.0f}};
    QTest::newRow("rear Celsius 0") << block({{7, 0}}) << QVariantMap{{"rearTemperature", 15.5f}};
    QTest::newRow("byte 7 fields")
            << block({{7, 0x9C}})
            << QVariantMap{{"rightVent", 2}, {"leftVent", 1}, {"frontRightHeat", 3},
                           {"frontLeftHeat", 0}, {"rearTemperature", 93.5f}};
    QTest::newRow("wind mode raw 4") << block({{1, 0x80}}) << QVariantMap{{"windMode", 7}};
    QTest::newRow("wind mode raw 6") << block({{1, 0xC0}}) << QVariantMap{{"windMode", 4}};
    QTest::newRow("wind mode raw 7") << block({{1, 0xE0}}) << QVariantMap{{"windMode", 6}};
    QTest::newRow("wind mode raw 1") << block({{1, 0x20}}) << QVariantMap{{"windMode", 2}};
    QTest::newRow("byte 1 low fields")
            << block({{1, 0x1F}})
            << QVariantMap{{"windScale", 7}, {"showRequest", 1}, {"windMode", 0}};
    QTest::newRow("glass heat inside the index")
            << block({{4, 0x08}, {2, 40}})
            << QVariantMap{{"glassHeat", true}, {"temperature", 20.0f}};
    QTest::newRow("profile inside the right index")
            << block({{6, 35}}) << QVariantMap{{"profile", 3}, {"rightTemperature", -1.0f}};
    QTest::newRow("byte 4 flags")
            << block({{4, 0x86}})
            << QVariantMap{{"swcHeat", true}, {"acMax", true}, {"airCare", true},
                           {"frontDefrost", true}, {"manual", 0}};
    QTest::newRow("rear climate")
            << block({{3, 0x80}}) << QVariantMap{{"rearClimate", true}, {"powerOffRear", true}};
    QTest::newRow("rear fields beyond the block read 0")
            << QByteArray(8, '\xff')
            << QVariantMap{{"rearLeftHeat", 0}, {"rearRightHeat", 0}, {"windModeRear", 0},
                           {"windScaleRear", 0}};
}

void tst_Climate::getters()
{
    QFETCH(QByteArray, payload);
    QFETCH(QVariantMap, expected);
    ServiceOnLine box;
    box.receiveFrame(0x29, payload);
    const QMap<QString, QVariant> all = readAll(*box.service);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        QVERIFY2(all.contains(it.key()), qPrintable(it.key()));
        QCOMPARE(all.value(it.key()), it.value());
    }
    QCOMPARE(all.value("powerOffRear"), all.value("rearClimate"));
    QCOMPARE(all.value("airCare"), all.value("acMax"));
}

void tst_Climate::everyAcceptedBlockSignalsTwice()
{
    ServiceOnLine box;
    SignalRecorder signals_(box.service.get());
    box.receiveFrame(0x29, block({{0, 0x40}}));
    box.receiveFrame(0x29, block({{0, 0x40}}));
    QCOMPARE(signals_.events.filter(QStringLiteral("ac")),
             QStringList({"acStatusChanged", "acManualClimateModeChanged", "acStatusChanged",
                          "acManualClimateModeChanged"}));
}

void tst_Climate::otherLengthsChangeNothing_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("7") << 7;
    QTest::newRow("9") << 9;
    QTest::newRow("10") << 10;
}

void tst_Climate::otherLengthsChangeNothing()
{
    QFETCH(int, length);
    ServiceOnLine box;
    box.receiveFrame(0x29, block({{0, 0x40}, {4, 0x08}, {2, 40}}));
    const auto before = readAll(*box.service);
    SignalRecorder signals_(box.service.get());
    box.receiveFrame(0x29, QByteArray(length, '\xff'));
    QCOMPARE(readAll(*box.service), before);
    QVERIFY(signals_.events.filter(QStringLiteral("ac")).isEmpty());
}

void tst_Climate::levelFollowsTheBlockOnlyInAutomaticMode()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    box.receiveFrame(0x29, block({{2, 40}}));
    QCOMPARE(Access::acTemperatureLevel(s), 40);
    box.receiveFrame(0x29, block({{2, 50}, {4, 0x08}}));
    QCOMPARE(Access::acTemperatureLevel(s), 40);
    box.receiveFrame(0x29, block({{2, 200}}));
    QCOMPARE(Access::acTemperatureLevel(s), 200);
}

void tst_Climate::airCleaning()
{
    ServiceOnLine box;
    SignalRecorder signals_(box.service.get());
    box.receiveFrame(0xFF, hex("81ff"));
    QCOMPARE(box.service->getAcAirClearStatus(), 129);
    QCOMPARE(signals_.take(), QStringList({"notifyCanbusStatus(3)", "acStatusChanged"}));
    box.receiveFrame(0xFF, hex("02"));
    box.receiveFrame(0xFF, hex("020000"));
    QCOMPARE(box.service->getAcAirClearStatus(), 129);
    QCOMPARE(signals_.take(), QStringList({"notifyCanbusStatus(3)", "notifyCanbusStatus(3)"}));
}

void tst_Climate::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("manual");
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<int>("result");

    // Keys that send one code whatever the mode.
    const QList<QPair<int, int>> codes = {
        {0, 0x01},  {1, 0x11},  {2, 0x02},  {3, 0x04},  {6, 0x03},  {7, 0x03},  {8, 0x29},
        {10, 0x2C}, {11, 0x2E}, {15, 0x28}, {16, 0x27}, {17, 0x28}, {18, 0x27}, {21, 0x26},
        {22, 0x25}, {23, 0x20}, {24, 0x21}, {25, 0x2B}, {26, 0x2D}, {27, 0x2D}, {29, 0x2A},
        {34, 0x11},
    };
    for (const auto &[k, code] : codes) {
        const int sum = (~(0xC6 + 0x02 + 0xAC + code)) & 0xFF;
        const QString f = QStringLiteral("2ec602ac%1%2/true")
                                  .arg(code, 2, 16, QLatin1Char('0'))
                                  .arg(sum, 2, 16, QLatin1Char('0'));
        QTest::addRow("key %d", k) << k << false << QStringList{f} << 0;
    }
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
    box.line->clearWrites();
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
    box.line->clearWrites();
    QCOMPARE(box.service->sendAcKey(key, 0), 0);
    const int sum = (~(0xC6 + 0x02 + 0xAE + sent)) & 0xFF;
    QCOMPARE(box.takeWrites(), QStringList{QStringLiteral("2ec602ae%1%2/true")
                                                   .arg(sent, 2, 16, QLatin1Char('0'))
                                                   .arg(sum, 2, 16, QLatin1Char('0'))});
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
    box.line->clearWrites();
    QCOMPARE(box.service->sendAcKey(31, 0), 0);
    QStringList expected;
    for (const QString &code : codes) {
        const int c = code.toInt(nullptr, 16);
        expected << QStringLiteral("2ec602ac%1%2/true")
                            .arg(code)
                            .arg((~(0xC6 + 0x02 + 0xAC + c)) & 0xFF, 2, 16, QLatin1Char('0'));
    }
    QCOMPARE(box.takeWrites(), expected);
}

QTEST_GUILESS_MAIN(tst_Climate)
#include "tst_climate.moc"
