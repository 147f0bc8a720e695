// The simulated box's messages, read back through the service's own decoders.
#include "boxsimulator.h"
#include "canboxframe.h"
#include "servicefixture.h"
#include "translator.h"

#include <QtTest>

using namespace canservice;
using namespace testsupport;

class tst_Simulator : public QObject
{
    Q_OBJECT

private slots:
    void framesCarryTheirChecksum();
    void messagesDecodeToTheModel();
    void scenarioErrorsNameThePlace_data();
    void scenarioErrorsNameThePlace();
    void builtInDriveIsSortedAndAbout20Seconds();
};

void tst_Simulator::framesCarryTheirChecksum()
{
    QCOMPARE(canbox::frame(0x41, hex("0300")), hex("2e41020300b9"));
    QCOMPARE(canbox::frame(0x81, hex("01")), hex("2e8101017c"));
}

void tst_Simulator::messagesDecodeToTheModel()
{
    VehicleModel model;
    model.speed = 56.5f;
    model.speedInMiles = true;
    model.rpm = 3210;
    model.doors = 0x44;
    model.distanceInMiles = true;
    model.climate = hex("4823b2000800b305");
    model.frontRadar[0] = 1;
    model.frontRadar[3] = 30;
    model.rearRadar[1] = 9;
    model.parkingAssist = true;
    model.version = QStringLiteral("Sim 2.1");
    model.trip.insert(0x20, {1, 432.1});
    model.trip.insert(0x30, {0, 6.8});
    model.trip.insert(0x50, {0, 127});
    model.fuelNow = 5;
    model.fuelAverage = 7.4;
    model.fuelHistory[2] = 6553.5;
    model.mileageTotal = 25.6;
    model.mileageUnitFlag = true;
    model.tyreType = 2;

    ServiceOnLine box;
    SimpleService &s = *box.service;
    box.receive(canbox::frame(0xF6, model.speedMessage()) + canbox::frame(0x41, model.rotationMessage())
                + canbox::frame(0x24, model.doorMessage()) + canbox::frame(0x29, model.climateMessage())
                + canbox::frame(0x23, model.frontRadarMessage()) + canbox::frame(0x22, model.rearRadarMessage())
                + canbox::frame(0x25, model.parkingAssistMessage()) + canbox::frame(0x30, model.versionMessage())
                + canbox::frame(0x50, model.tripMessage(0x20)) + canbox::frame(0x50, model.tripMessage(0x30))
                + canbox::frame(0x50, model.tripMessage(0x50)) + canbox::frame(0x16, model.fuelMessage())
                + canbox::frame(0x17, model.fuelHistoryMessage()) + canbox::frame(0x09, model.mileageMessage())
                + canbox::frame(0x67, model.lightMessage()) + canbox::frame(0x65, model.tyreMessage()));

    QCOMPARE(s.getSpeed(), 56.5f);
    QCOMPARE(s.getSpeedUnit(), Translator::translate(1205));
    QCOMPARE(s.getRotate(), 3210);
    QVERIFY(s.isLeftFrontDoorOpen() && s.isFrontDoorOpen() && !s.isRightFrontDoorOpen());
    UnitData units;
    s.getUnitData(units);
    QCOMPARE(units.text.at(1), Translator::translate(1169));
    QCOMPARE(s.getManualClimateMode(), 1);
    QCOMPARE(s.getFrontRadarLeftDistance(), 1);
    QCOMPARE(s.getFrontRadarRightDistance(), 7);
    QCOMPARE(s.getRearRadarMiddleLeftDistance(), 3);
    OtherInfoData other;
    s.getOtherInfoData(other);
    QCOMPARE(other.parkingAssistText, Translator::translate(1177));
    QCOMPARE(s.version(), QStringLiteral("Sim 2.1"));
    DrivingData trip;
    s.getDrivingData(trip);
    QCOMPARE(trip.item4, QStringLiteral("432") + Translator::translate(1169));
    QCOMPARE(trip.item7, QStringLiteral("6.8") + Translator::translate(1167));
    QCOMPARE(trip.item2, QStringLiteral("127") + Translator::translate(1172));
    FuelConsumptionData fuel;
    s.getFuelConsumptionData(fuel);
    QCOMPARE(fuel.fuel0, QStringLiteral("5"));
    QCOMPARE(fuel.fuel1, QStringLiteral("7.4"));
    QCOMPARE(fuel.fuel5, QStringLiteral("6553.5"));
    QCOMPARE(s.getOilAllMileage(), 25.6f);
    QCOMPARE(s.getMileageUnits(), 4);
    QCOMPARE(s.getTireAlertType(), 2);
}

void tst_Simulator::scenarioErrorsNameThePlace_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error");
    const auto event = [](const char *members) {
        return QByteArray("{\"events\": [\n  {\"at\": 0},\n  {\"at\": 1, ") + members + "}\n]}";
    };
    QTest::newRow("not JSON") << QByteArray("{\"events\": [\n  {\"at\": 0,}\n]}")
                              << "s.json:2:13: not valid JSON";
    QTest::newRow("no events") << QByteArray("{\"name\": \"x\"}")
                               << "s.json: a scenario is an object with an \"events\" array.";
    QTest::newRow("unknown key at the top") << QByteArray("{\"events\": [], \"speed\": 1}")
                                            << "s.json: unknown key \"speed\"";
    QTest::newRow("no time") << QByteArray("{\"events\": [{\"speed\": 3}]}")
                             << "s.json:1: event 1 needs \"at\", its time in seconds";
    QTest::newRow("negative time") << event("\"x\": 1").replace("\"at\": 1", "\"at\": -1")
                                   << "s.json:3: event 2 needs \"at\"";
    QTest::newRow("time too large") << event("\"x\": 1").replace("\"at\": 1", "\"at\": 1e10")
                                    << "s.json:3: event 2 needs \"at\"";
    QTest::newRow("unknown key") << event("\"sped\": 3") << "s.json:3: event 2, key \"sped\": unknown key.";
    QTest::newRow("unknown key inside") << event("\"climate\": {\"fan\": 2, \"colour\": 1}")
                                        << "s.json:3: event 2, key \"climate\": colour: unknown key.";
    QTest::newRow("fan 99") << event("\"climate\": {\"fan\": 99}")
                            << "s.json:3: event 2, key \"climate\": fan: 99 is not a whole number from 0 to 7.";
    QTest::newRow("radar 200") << event("\"radar\": {\"rear\": [1, 2, 200, 0]}")
                               << "s.json:3: event 2, key \"radar\": rear: [2]: 200 is not a whole number";
    QTest::newRow("radar -5") << event("\"radar\": {\"front\": [-5, 0, 0, 0]}")
                              << "s.json:3: event 2, key \"radar\": front: [0]: -5 is not a whole number";
    QTest::newRow("three radar values") << event("\"radar\": {\"front\": [1, 2, 3]}")
                                        << "s.json:3: event 2, key \"radar\": front: [1,2,3] is not a list of 4";
    QTest::newRow("temperature abc") << event("\"climate\": {\"left\": \"abc\"}")
                                     << "s.json:3: event 2, key \"climate\": left: \"abc\" is not a number";
    QTest::newRow("fuel 300") << event("\"fuel\": {\"now\": 300}")
                              << "s.json:3: event 2, key \"fuel\": now: 300 is not a whole number from 0 to 255.";
    QTest::newRow("mileage -1") << event("\"mileage\": -1")
                                << "s.json:3: event 2, key \"mileage\": -1 is not a number from 0";
    QTest::newRow("speed as text") << event("\"speed\": \"fast\"")
                                   << "s.json:3: event 2, key \"speed\": \"fast\" is not a number";
    QTest::newRow("door as number") << event("\"doors\": {\"left-front\": 1}")
                                    << "s.json:3: event 2, key \"doors\": left-front: 1 is not true or false.";
}

void tst_Simulator::scenarioErrorsNameThePlace()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    Scenario scenario;
    QString message;
    QVERIFY(!scenario.parse(json, QStringLiteral("s.json"), &message));
    QVERIFY2(message.startsWith(error), qPrintable(message));
}

void tst_Simulator::builtInDriveIsSortedAndAbout20Seconds()
{
    const Scenario drive = Scenario::builtInDrive();
    QVERIFY(drive.steps.size() > 10);
    QCOMPARE(drive.duration(), 20.0);
    for (int i = 1; i < drive.steps.size(); ++i)
        QVERIFY(drive.steps.at(i - 1).at <= drive.steps.at(i).at);
}

QTEST_GUILESS_MAIN(tst_Simulator)
#include "tst_simulator.moc"
