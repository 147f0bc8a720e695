// The simulated box's messages, read back through the service's own decoders.
#include "boxline.h"
#include "boxsimulator.h"
#include "canboxframe.h"
#include "hostframetext.h"
#include "servicefixture.h"
#include "simpleservice_access.h"
#include "signalcatalogue.h"
#include "translator.h"
#include "vehiclesnapshot.h"

#include <QtTest>

using namespace canservice;
using namespace tool;
using namespace testsupport;

class tst_Simulator : public QObject
{
    Q_OBJECT

private slots:
    void messagesDecodeToTheModel();
    void scenarioErrorsNameThePlace_data();
    void scenarioErrorsNameThePlace();
    void eventsAreFoundOnTheirLines_data();
    void eventsAreFoundOnTheirLines();
    void builtInDriveIsSortedAndAbout20Seconds();
    void theBoxKeepsItsUnitsAndItsBytesAgree();
    void keysHeldTogetherArePlayedWithAWarning();
    void theReadmeScenarioIsClean();
    void theReportSaysWhatTheHeadUnitSent_data();
    void theReportSaysWhatTheHeadUnitSent();
    void theBoxAnswersRequestsAndCommands_data();
    void theBoxAnswersRequestsAndCommands();
    void theFaultyLineSpoilsWhatItIsAskedTo_data();
    void theFaultyLineSpoilsWhatItIsAskedTo();
};

namespace {
// A catalogue value as the tools print it.
QString reading(CanServiceBase &service, const QString &name)
{
    const auto &all = tool::SignalCatalogue::vehicleSignals();
    const QVector<tool::Reading> now = tool::SignalCatalogue::read(tool::VehicleSnapshot::read(service));
    for (int i = 0; i < all.size(); ++i)
        if (all.at(i).name == name)
            return now.at(i).text();
    return QStringLiteral("no such name");
}
} // namespace

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
    const auto event = [](const QByteArray &members) {
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
    QTest::newRow("mileage figures that disagree")
            << event("\"mileage\": {\"total\": 12345.6, \"second\": 12.3}")
            << "s.json:3: event 2, key \"mileage\": total 12345.6 and second 12.3 disagree on the byte "
               "they share (0x40 and 0x00)";
    QTest::newRow("fan 2.5") << event("\"climate\": {\"fan\": 2.5}")
                             << "s.json:3: event 2, key \"climate\": fan: 2.5 is not a whole number from 0 to 7.";
    QTest::newRow("speed as text") << event("\"speed\": \"fast\"")
                                   << "s.json:3: event 2, key \"speed\": \"fast\" is not a number";
    QTest::newRow("door as number") << event("\"doors\": {\"left-front\": 1}")
                                    << "s.json:3: event 2, key \"doors\": left-front: 1 is not true or false.";
    QTest::newRow("the last of every range is taken")
            << event("\"climate\": {\"fan\": 7}, \"speed\": 4095.9375, \"version\": \"" + QByteArray(255, 'v')
                     + "\", \"mileage\": {\"total\": 1677721.5, \"second\": 1677721.5}")
                       .replace("\"at\": 1", "\"at\": 604800")
            << QString();
}

void tst_Simulator::scenarioErrorsNameThePlace()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    Scenario scenario;
    QString message;
    QCOMPARE(scenario.parse(json, QStringLiteral("s.json"), &message), error.isEmpty());
    QVERIFY2(message.startsWith(error), qPrintable(message));
}

void tst_Simulator::eventsAreFoundOnTheirLines_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QList<int>>("lines");
    QTest::newRow("one a line") << QByteArray("{\"events\": [\n{\"at\": 1},\n{\"at\": 2}]}") << QList<int>{2, 3};
    QTest::newRow("nested objects are not events")
            << QByteArray("{\"events\": [{\"at\": 1, \"climate\": {\"ac\": true}},\n\n{\"at\": 2}]}")
            << QList<int>{1, 3};
    QTest::newRow("braces, quotes and newlines in strings")
            << QByteArray("{\"name\": \"{[\\\"\\n\", \"events\": [\n{\"text\": \"}]{\\\"\"},\n{\"at\": 2}]}")
            << QList<int>{2, 3};
    QTest::newRow("an escaped quote before a brace") << QByteArray("{\"events\": [{\"t\": \"\\\"{\"},\n{}]}")
                                                     << QList<int>{1, 2};
    QTest::newRow("an events key deeper down is not the list")
            << QByteArray("{\"meta\": {\"events\": [{}]},\n\"events\": [\n{}]}") << QList<int>{3};
}

void tst_Simulator::eventsAreFoundOnTheirLines()
{
    QFETCH(QByteArray, json);
    QFETCH(QList<int>, lines);
    QVERIFY(!QJsonDocument::fromJson(json).isNull());
    QCOMPARE(Scenario::eventLines(json), lines);
}

void tst_Simulator::builtInDriveIsSortedAndAbout20Seconds()
{
    const Scenario drive = Scenario::builtInDrive();
    QVERIFY(drive.steps.size() > 10);
    QCOMPARE(drive.duration(), 20.0);
    for (int i = 1; i < drive.steps.size(); ++i)
        QVERIFY(drive.steps.at(i - 1).at <= drive.steps.at(i).at);
}

// The box on a pseudo-terminal against the service, as in the demo: a climate block that changes
// unit carries its temperatures over, the two mileage figures agree on the byte they share, and a
// unit command from the head unit switches the box's unit.
void tst_Simulator::theBoxKeepsItsUnitsAndItsBytesAgree()
{
    Scenario scenario;
    QString error;
    QVERIFY2(scenario.parse(R"({"events": [
        {"at": 0.0, "climate": {"power": true, "manual": true, "left": 21.5, "right": "LO"},
         "units": {"distance": "km"}, "mileage": {"total": 12339.2, "second": 12.3}},
        {"at": 0.3, "units": {"temperature": "F"}}]})",
                            QStringLiteral("units.json"), &error),
             qPrintable(error));
    QString ptyError;
    std::unique_ptr<BoxLine> line(BoxLine::createPty(&ptyError));
    QVERIFY2(line, qPrintable(ptyError));
    BoxSimulator box(line.get(), scenario, FaultOptions());
    ConfigManager::instance()->setSerialDevice(line->deviceName());
    SimpleService service;
    box.begin();
    service.start();

    const QString driver = QStringLiteral("Vehicle.Cabin.HVAC.Station.Row1.Driver.Temperature");
    QTRY_COMPARE_WITH_TIMEOUT(reading(service, QStringLiteral("CanBox.Climate.DisplayUnit")),
                              QStringLiteral("\"°F\""), 5000);
    // 21.5 °C is 70.7 °F; the block carries half degrees: 70.5 °F.
    QCOMPARE(reading(service, driver), QStringLiteral("21.39 Celsius"));
    QCOMPARE(service.getAcTemperature(), 70.5f);
    QCOMPARE(reading(service, QStringLiteral("CanBox.Climate.PassengerLimit")), QStringLiteral("\"LO\""));
    QCOMPARE(reading(service, QStringLiteral("CanBox.Mileage.Total")), QStringLiteral("12339.2"));
    QCOMPARE(reading(service, QStringLiteral("CanBox.Mileage.Second")), QStringLiteral("12.3"));

    const QString distance = QStringLiteral("Vehicle.Cabin.Infotainment.HMI.DistanceUnit");
    QCOMPARE(reading(service, distance), QStringLiteral("\"KILOMETERS\""));
    service.setUnitCmd(1);
    QTRY_COMPARE_WITH_TIMEOUT(reading(service, distance), QStringLiteral("\"MILES\""), 5000);
    service.setUnitCmd(3); // the temperature unit, from °F back to °C
    QTRY_COMPARE_WITH_TIMEOUT(reading(service, QStringLiteral("CanBox.Climate.DisplayUnit")),
                              QStringLiteral("\"°C\""), 5000);
    QCOMPARE(service.getAcTemperature(), 21.5f);
}

void tst_Simulator::keysHeldTogetherArePlayedWithAWarning()
{
    Scenario scenario;
    QString error;
    QVERIFY(scenario.parse(R"({"events": [
        {"at": 1.0, "key": {"code": 5, "hold": 2.0}},
        {"at": 2.0, "carKey": {"code": 64, "hold": 0.2}},
        {"at": 4.0, "key": {"code": 6, "hold": 0.2}}]})",
                           QStringLiteral("keys.json"), &error));
    QCOMPARE(scenario.steps.size(), 3);
    QCOMPARE(scenario.warnings,
             QStringList{"keys.json:3: event 2: key 64 is pressed while key 5 is held; the plugin "
                         "reports one held key at a time."});
}

// The scenario the README shows is valid and does nothing the plugin cannot report.
void tst_Simulator::theReadmeScenarioIsClean()
{
    QFile readme(QStringLiteral(SOURCE_DIR "/README.md"));
    QVERIFY(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    const int start = text.indexOf(QLatin1String("```json\n")) + 8;
    const int end = text.indexOf(QLatin1String("```"), start);
    QVERIFY(start > 8 && end > start);
    Scenario scenario;
    QString error;
    QVERIFY2(scenario.parse(text.mid(start, end - start).toUtf8(), QStringLiteral("README.md"), &error),
             qPrintable(error));
    QVERIFY(scenario.steps.size() > 5);
    QVERIFY2(scenario.warnings.isEmpty(), qPrintable(scenario.warnings.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(tst_Simulator)
void tst_Simulator::theReportSaysWhatTheHeadUnitSent_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("line");
    const auto row = [](const char *name, int id, const char *data, const char *line) {
        QTest::newRow(name) << id << hex(data) << QString::fromUtf8(line);
    };
    row("start", 0x81, "01", "box <- start");
    row("stop", 0x81, "00", "box <- stop");
    row("request", 0x90, "23ff", "box <- request front radar");
    row("request unnamed", 0x90, "6aff", "box <- request message 0x6a");
    row("radar start", 0x6C, "a315", "box <- radar start");
    row("temperature up", 0xC6, "ac24", "box <- climate key temperature up");
    row("temperature down", 0xC6, "ac23", "box <- climate key temperature down");
    row("other climate key", 0xC6, "ac2e", "box <- climate key 0x2e");
    row("level", 0xC6, "ae1e", "box <- climate temperature level 30");
    row("miles", 0xC6, "a30f", "box <- unit distance miles");
    row("kilometres", 0xC6, "a30e", "box <- unit distance kilometres");
    row("fahrenheit", 0xC6, "a001", "box <- unit temperature °F");
    row("celsius", 0xC6, "a000", "box <- unit temperature °C");
    row("unit entry 0", 0xC6, "0501", "box <- unit entry 0 level 1");
    row("unit entry 5", 0xC6, "0700", "box <- unit entry 5 level 0");
    row("colour", 0xC6, "bd07", "box <- ambient colour code 7");
    row("light mode", 0xC6, "b103", "box <- light mode 3");
    row("other setting", 0xC6, "0401", "box <- setting 0x04 = 0x01");
    row("source status", 0xC0, "0812", "box <- source status 08 12");
    row("FM1", 0xC2, "012e2200", "box <- radio FM1 87.50 MHz");
    row("FM2", 0xC2, "02302a00", "box <- radio FM2 108.00 MHz");
    row("AM", 0xC2, "10f00300", "box <- radio AM 1008 kHz");
    row("song", 0xCB, "1103480069000000", "box <- song text \"Hi\"");
    row("album", 0xCB, "11054100", "box <- album text \"A\"");
    row("unknown", 0x99, "0102", "box <- frame 0x99: 01 02");
}

void tst_Simulator::theReportSaysWhatTheHeadUnitSent()
{
    QFETCH(int, id);
    QFETCH(QByteArray, data);
    QFETCH(QString, line);
    QCOMPARE(describeHostFrame(id, data), line);
}

void tst_Simulator::theBoxAnswersRequestsAndCommands_data()
{
    QTest::addColumn<QByteArray>("command"); // the head unit's frame: identifier and data
    QTest::addColumn<QString>("answer"); // the box's next reports, or "stopped"
    const auto request = [](int id) { return QByteArray(1, char(canbox::out::DataRequest)) + char(id) + char(0xFF); };
    QTest::newRow("climate") << request(0x29) << "box -> climate: 2e 29 08";
    QTest::newRow("front radar") << request(0x23) << "box -> front radar: 2e 23 06";
    QTest::newRow("rear radar") << request(0x22) << "box -> rear radar: 2e 22 04";
    QTest::newRow("doors") << request(0x24) << "box -> doors and units: 2e 24 05";
    QTest::newRow("ambient") << request(0x48) << "box -> vehicle settings: 2e 48 05";
    QTest::newRow("parking assist") << request(0x25) << "box -> parking assist: 2e 25";
    QTest::newRow("every trip item") << request(0x50)
                                     << "box -> driving data: 2e 50 06 20 00 0f 00 00 00 7a\n"
                                        "box -> driving data: 2e 50 06 30 01 01 00 00 00 77";
    QTest::newRow("speed") << request(0xF6) << "box -> speed: 2e f6 03";
    QTest::newRow("version") << request(0x30) << "box -> version: 2e 30";
    // Commands answered with the state they made: a level that cannot go below 0.
    QTest::newRow("temperature down at 0") << hex("c6ac23") << "box -> climate: 2e 29 08 00 00 00";
    QTest::newRow("temperature level") << hex("c6ae1e") << "box -> climate: 2e 29 08 00 00 1e";
    QTest::newRow("ambient colour") << hex("c6bd07") << "box -> vehicle settings: 2e 48 05 07 00 00 00 00 ab";
    QTest::newRow("stop") << hex("8100") << "stopped";
}

// The line after the command's report is the answer, sent at once (the heartbeat's speed may
// come before the command).
void tst_Simulator::theBoxAnswersRequestsAndCommands()
{
    QFETCH(QByteArray, command);
    QFETCH(QString, answer);
    Scenario scenario;
    QString error;
    QVERIFY(scenario.parse(R"({"events": [{"at": 0.0, "climate": {"level": 0},
        "trip": [{"item": 32, "unit": 0, "value": 1.5}, {"item": 48, "unit": 1, "value": 0.1}]}]})",
                           QStringLiteral("trip.json"), &error));
    QString ptyError;
    std::unique_ptr<BoxLine> line(BoxLine::createPty(&ptyError));
    QVERIFY2(line, qPrintable(ptyError));
    BoxSimulator box(line.get(), scenario, FaultOptions());
    box.setVerbose(true);
    QStringList reports;
    connect(&box, &BoxSimulator::report, [&reports](const QString &r) { reports << r; });
    ConfigManager::instance()->setSerialDevice(line->deviceName());
    SimpleService service;
    box.begin();
    service.start();
    QTRY_VERIFY_WITH_TIMEOUT(reports.contains(QStringLiteral("box <- radar start")), 5000);
    reports.clear();
    Access::serialPort(service).writeData(canbox::frame(quint8(command.at(0)), command.mid(1)), false);
    const QString said = describeHostFrame(quint8(command.at(0)), command.mid(1));
    const int lines = answer == QLatin1String("stopped") ? 0 : answer.count(QLatin1Char('\n')) + 1;
    QTRY_VERIFY_WITH_TIMEOUT(reports.indexOf(said) >= 0 && reports.indexOf(said) + lines < reports.size(), 5000);
    const QString answered = reports.mid(reports.indexOf(said) + 1, lines).join(QLatin1Char('\n'));
    QVERIFY2(lines > 0 ? answered.startsWith(answer) : !box.running(), qPrintable(answered));
}

void tst_Simulator::theFaultyLineSpoilsWhatItIsAskedTo_data()
{
    QTest::addColumn<double>("noise");
    QTest::addColumn<double>("corrupt");
    QTest::addColumn<bool>("split");
    QTest::newRow("a clean line, a chunk a frame") << 0.0 << 0.0 << false;
    QTest::newRow("noise before some frames") << 0.3 << 0.0 << false;
    QTest::newRow("wrong checksums on some") << 0.0 << 0.3 << false;
    QTest::newRow("cut into pieces") << 0.0 << 0.0 << true;
}

// Two hundred frames through the faults to a head unit in the process, read by its receive rules:
// each fault about as often as asked and no other, every frame still there and counted as sent.
void tst_Simulator::theFaultyLineSpoilsWhatItIsAskedTo()
{
    QFETCH(double, noise);
    QFETCH(double, corrupt);
    QFETCH(bool, split);
    ServiceOnLine headUnit;
    std::unique_ptr<BoxLine> line(BoxLine::attach(headUnit.line));
    QList<QByteArray> chunks;
    connect(&Access::serialPort(*headUnit.service), &SerialPort::received,
            [&chunks](const QByteArray &c) { chunks << c; });
    FaultOptions faults;
    faults.noiseRate = noise;
    faults.corruptRate = corrupt;
    faults.splitChunks = split;
    FaultyLine output(line.get(), faults);
    for (int i = 0; i < 200; ++i)
        output.send(canbox::frame(canbox::in::Speed, hex("200300")));
    QMap<int, int> items; // by kind
    qint64 noiseBytes = 0;
    const auto read = [&] {
        canbox::ReceiveModel model;
        items.clear();
        noiseBytes = 0;
        model.feed(QByteArrayList(chunks).join(), 0, [&](const canbox::ReceiveModel::Item &item) {
            ++items[item.kind];
            noiseBytes += item.kind == canbox::ReceiveModel::Noise ? item.size : 0;
        });
        return items.value(canbox::ReceiveModel::Accepted) + items.value(canbox::ReceiveModel::Refused);
    };
    QTRY_COMPARE_WITH_TIMEOUT(read(), 200, 5000);
    QCOMPARE(output.framesSent(), 200); // the corrupted ones among them
    QCOMPARE(items.value(canbox::ReceiveModel::Refused), output.framesCorrupted());
    const int noisy = items.value(canbox::ReceiveModel::Noise);
    for (const auto &[rate, count] : {qMakePair(noise, noisy), qMakePair(corrupt, output.framesCorrupted())})
        QVERIFY2(rate > 0 ? count > 30 && count < 90 : count == 0, qPrintable(QString::number(count)));
    QVERIFY(noiseBytes <= 3 * noisy);
    // Cut: pieces of at most 16 bytes, some beginning inside a frame; else a chunk a frame.
    const auto any = [&chunks](auto test) { return std::any_of(chunks.cbegin(), chunks.cend(), test); };
    if (split)
        QVERIFY(!any([](const QByteArray &c) { return c.size() > 16; })
                && any([](const QByteArray &c) { return c.at(0) != char(canbox::Header); }));
    else
        QCOMPARE(chunks.size(), 200);
}

#include "tst_simulator.moc"
