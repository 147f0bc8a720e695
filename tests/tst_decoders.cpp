// Every message the box sends, decoded: what the head unit reads back through the getters, which
// signals it gets, and that nothing else moves.
#include "canbusmanager.h"
#include "logcapture.h"
#include "servicefixture.h"
#include "signalrecorder.h"
#include "simpleservice_access.h"
#include "vehiclesnapshot.h"

#include <QtTest>

using namespace canservice;
using namespace testsupport;

namespace {
// The vehicle as the getters show it, with the few private values no getter shows.
QMap<QString, QString> readState(SimpleService &s)
{
    QMap<QString, QString> state;
    const tool::VehicleSnapshot snapshot = tool::VehicleSnapshot::read(s);
    using F = tool::VehicleSnapshot;
    for (int f = 0; f < F::FieldCount; ++f)
        state.insert(F::name(F::Field(f)), F::format(snapshot.value(F::Field(f)), false));
    state.insert(QStringLiteral("~steeringAngle"), QString::number(Access::steeringAngle(s)));
    state.insert(QStringLiteral("~tireAlertState"), QString::number(Access::tireAlertState(s)));
    state.insert(QStringLiteral("~acTemperatureLevel"), QString::number(Access::acTemperatureLevel(s)));
    state.insert(QStringLiteral("~radarBytes"), QString::number(Access::radarData(s).size()));
    return state;
}

// A row: the frames as "id:payload" in hex, the signals other than the link status in order,
// "name=value" for every value that differs from a new service (and any that must not), and
// log items that must appear ("ERR " first for an error line).
void row(const char *name, const char *frames, const char *signalList, const char *state,
         const char *log = "")
{
    QTest::newRow(name) << QString::fromUtf8(frames) << QString::fromUtf8(signalList)
                        << QString::fromUtf8(state) << QString::fromUtf8(log);
}

// The same frame repeated, for messages whose every repetition counts.
QByteArray twice(const char *frame)
{
    return QByteArray(frame) + ' ' + frame;
}
} // namespace

class tst_Decoders : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void messages_data();
    void messages();
    void tripTenthsOfEveryValue();
};

void tst_Decoders::initTestCase()
{
    CanBusManager::instance()->setHwdColorDiffList({{0x11, QStringLiteral("White"), 0},
                                                    {0x22, QStringLiteral("Red"), 0},
                                                    {0x33, QStringLiteral("Blue"), 0},
                                                    {0x22, QStringLiteral("Red again"), 0}});
}

void tst_Decoders::messages_data()
{
    QTest::addColumn<QString>("frames");
    QTest::addColumn<QString>("signalList");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("log");

    row("a new service: no reading yet", "", "",
        "speed=0; rotate=0; doorStatus=0; version=; temperature=1000; temperatureText=; temperatureUnit=°C; "
        "tyre.alertType=-1; tyre.pressureFL=-1; tyre.pressureFR=-1; tyre.pressureRL=-1; tyre.pressureRR=-1; "
        "radar.frontLeft=255; radar.rearRight=255; ~radarBytes=19; carSetting.colorPosition=0; "
        "carSetting.colorIndex=255; units.level0=0; units.level1=0; units.level3=0");

    // Speed: little-endian sixteenths, unit in byte 2 bit 0, a signal only when the value moves.
    row("speed 256 mph", "f6:001001", "speedChanged", "speed=256; speedUnit=mph");
    row("speed 0.5 km/h", "f6:080000", "speedChanged", "speed=0.5; speedUnit=km/h");
    row("speed little-endian", "f6:3412fe", "speedChanged", "speed=291.25; speedUnit=km/h");
    row("speed fastest", "f6:ffff03", "speedChanged", "speed=4095.9375; speedUnit=mph");
    row("speed zero is no change", "f6:000001", "", "speed=0; speedUnit=mph");
    row("speed, unit without value change", "f6:2a0300 f6:2a0300 f6:2a0301", "speedChanged",
        "speed=50.625; speedUnit=mph", "-- 50.625 km/h");
    row("speed 2 bytes", "f6:0010", "", "");
    row("speed 4 bytes", "f6:00100100", "", "");

    // Rotation: sub-type 3 only, big-endian, any length, a signal for every message.
    row("rotation 3000 rpm", "41:030bb8", "rotateChanged", "rotate=3000");
    row("rotation every message signals", twice("41:030bb8"), "rotateChanged rotateChanged", "rotate=3000");
    row("rotation missing low byte", "41:030b", "rotateChanged", "rotate=2816");
    row("rotation long message", "41:03ffff0102", "rotateChanged", "rotate=65535");
    row("rotation other sub-types kept out", "41:030bb8 41:020fa0 41:00", "rotateChanged", "rotate=3000");
    row("rotation sub-type 0 kept out", "41:030001 41:00", "rotateChanged", "rotate=1");

    // Outside temperature unit: two bytes exactly, else an error line.
    row("temperature unit", "68:0102", "temperatureChanged messageChanged(104)", "temperatureUnit=°F");
    row("temperature unit 1 byte", "68:01", "", "temperatureUnit=°C", "ERR --");
    row("temperature unit 3 bytes", "68:010203", "", "temperatureUnit=°C", "ERR --");

    // Doors (bits 2-7 of byte 0) share their message with the distance unit.
    row("doors front lid and left front", "24:4400000000", "doorChanged unitDataChanged",
        "doorStatus=68; door.frontLid=true; door.leftFront=true; units.level1=1; units.text1=km");
    row("doors same again", "24:4400000000 24:44ffffffff",
        "doorChanged unitDataChanged unitDataChanged",
        "doorStatus=68; door.frontLid=true; door.leftFront=true; units.text1=mi");
    row("doors all", "24:fc00000000", "doorChanged unitDataChanged",
        "doorStatus=252; door.frontLid=true; door.rearLid=true; door.leftRear=true; "
        "door.rightRear=true; door.leftFront=true; door.rightFront=true; units.level1=1; units.text1=km");
    row("doors rear lid, right rear, right front", "24:a800000000", "doorChanged unitDataChanged",
        "doorStatus=168; door.rearLid=true; door.rightRear=true; door.rightFront=true; "
        "units.level1=1; units.text1=km");
    row("doors bits 0 and 1 mean nothing", "24:0300000000", "unitDataChanged",
        "doorStatus=0; units.level1=1; units.text1=km");
    row("doors closed again", "24:4400000000 24:0000000000",
        "doorChanged unitDataChanged doorChanged unitDataChanged",
        "doorStatus=0; units.level1=1; units.text1=km");
    row("doors 4 bytes", "24:44000000", "unitDataChanged", "doorStatus=0");
    row("doors 6 bytes", "24:440000000000", "unitDataChanged", "doorStatus=0");
    row("distance miles whatever byte 1", "24:00ff800000", "unitDataChanged", "units.text1=mi");
    row("distance neither", "24:0008000000", "unitDataChanged", "units.level1=0; units.text1=");
    row("unit levels", "", "", "units.maxLevel0=4; units.maxLevel1=2; units.maxLevel2=0; units.maxLevel3=2");

    // Steering angle: signed little-endian, clamped to +-19948, silently.
    row("steering angle", "2f:1027", "", "~steeringAngle=10000");
    row("steering angle -1", "2f:ffff", "", "~steeringAngle=-1");
    row("steering angle lowest clamps", "2f:0080", "", "~steeringAngle=-19948");
    row("steering angle highest clamps", "2f:ff7f", "", "~steeringAngle=19948");
    row("steering angle just inside", "2f:ec4d", "", "~steeringAngle=19948");
    row("steering angle just outside", "2f:ed4d", "", "~steeringAngle=19948");
    row("steering angle 3 bytes", "2f:102700", "", "~steeringAngle=0");

    // Tyre alert: state in byte 0, type in byte 1, a signal when either changes.
    row("tyre alert", "65:0000 65:0000 65:0100 65:0107 65:02 65:020202",
        "tireAlert tireAlert tireAlert", "tyre.alertType=7; ~tireAlertState=1");
    row("tyre alert state alone signals", "65:0000 65:0100", "tireAlert tireAlert",
        "tyre.alertType=0; ~tireAlertState=1");
    row("emergency call", "95:01ff", "", "emergencyCall=1");
    row("emergency call 1 byte", "95:01", "", "emergencyCall=0");
    row("emergency call 3 bytes", "95:010000", "", "emergencyCall=0");

    // Version text: UTF-8 up to a zero byte, any length, a signal for every message.
    row("version up to the zero byte", twice("30:56312e30004142"), "sigVersionData sigVersionData", "version=V1.0");
    row("version without zero byte", "30:43422d322e31342e37", "sigVersionData", "version=CB-2.14.7");
    row("version utf-8", "30:56657273c3a36f", "sigVersionData", "version=Versão");
    row("version zero first", twice("30:003132"), "sigVersionData sigVersionData", "version=");
    row("version invalid utf-8", "30:56ff", "sigVersionData", "version=V\xef\xbf\xbd");

    // Parking sensors: raw distances 1-31 in steps, anything else no reading (255).
    row("front radar lower edges", "23:0102080e0000", "sigRadarChanged",
        "radar.frontLeft=1; radar.frontMiddleLeft=2; radar.frontMiddleRight=3; radar.frontRight=4; ~radarBytes=19");
    row("front radar more edges", "23:141a070d0000", "sigRadarChanged",
        "radar.frontLeft=5; radar.frontMiddleLeft=7; radar.frontMiddleRight=2; radar.frontRight=3");
    row("front radar upper edges", "23:13191f000000", "sigRadarChanged",
        "radar.frontLeft=4; radar.frontMiddleLeft=5; radar.frontMiddleRight=7; radar.frontRight=255");
    row("front radar beyond 31", "23:0020ff1a0000", "sigRadarChanged",
        "radar.frontLeft=255; radar.frontMiddleLeft=255; radar.frontMiddleRight=255; radar.frontRight=7");
    row("front radar twice", "23:0107081f0000 23:0107081fffff", "sigRadarChanged",
        "radar.frontLeft=1; radar.frontMiddleLeft=2; radar.frontMiddleRight=3; radar.frontRight=7");
    row("rear radar keeps the front", "23:0107081f0000 22:0e14191a", "sigRadarChanged sigRadarChanged",
        "radar.frontLeft=1; radar.frontMiddleLeft=2; radar.frontMiddleRight=3; radar.frontRight=7; "
        "radar.rearLeft=4; radar.rearMiddleLeft=5; radar.rearMiddleRight=5; radar.rearRight=7");
    row("front radar keeps the rear", "22:0e14191a 23:000000000000", "sigRadarChanged",
        "radar.rearLeft=4; radar.rearMiddleLeft=5; radar.rearMiddleRight=5; radar.rearRight=7");
    row("radar wrong lengths", "23:0101010101 23:01010101010101 22:010101 22:0101010101", "",
        "~radarBytes=19");
    row("parking assist on", "25:8000 25:81ff", "otherInfoDataChanged",
        "other.parkingAssistText=Parking assist on");
    row("parking assist off, wrong lengths kept out", "25:8000 25:00 25:000000 25:7fff",
        "otherInfoDataChanged otherInfoDataChanged", "other.parkingAssistText=Parking assist off");
    row("other information's fixed text", "", "", "other.info7=Vehicle information; other.infoFlag=true");

    // Driving data: an item code, a unit selector, then the value; each item has its field.
    row("trip 0x10 W16, miles", "50:1001d2040000", "drivingDataChanged", "driving.item4=1234mi");
    row("trip 0x10 W16, kilometres", "50:1000ffffffff", "drivingDataChanged", "driving.item4=65535km");
    row("trip 0x20 W32/10", "50:2001d2040000", "drivingDataChanged", "driving.item4=123mi");
    row("trip 0x21 negative truncates", "50:2100f6ffffff", "drivingDataChanged", "driving.item11=-1km");
    row("trip 0x21 -0.5 is 0", "50:2100fbffffff", "drivingDataChanged", "driving.item11=0km");
    row("trip 0x22 most negative", "50:220100000080", "drivingDataChanged", "driving.item17=-214748364mi");
    row("trip 0x30 L/100km", "50:30007b000000", "drivingDataChanged", "driving.item7=12.3L/100km");
    row("trip 0x31 km/L", "50:310105000000", "drivingDataChanged", "driving.item15=0.5km/L");
    row("trip 0x32 mpg", "50:320200000000", "drivingDataChanged", "driving.item9=0.0mpg");
    row("trip 0x30 only bits 0-1 select", "50:30077b000000", "drivingDataChanged", "driving.item7=12.3mpg");
    row("trip 0x30 no marker for missing", "50:3004ffff0000", "drivingDataChanged", "driving.item7=6553.5L/100km");
    row("trip 0x40 km/h", "50:4000e8030000", "drivingDataChanged", "driving.item0=100.0km/h");
    row("trip 0x41 mph", "50:4101e8030000", "drivingDataChanged", "driving.item6=100.0mph");
    row("trip 0x42", "50:4203e8030000", "drivingDataChanged", "driving.item12=100.0mph");
    row("trip 0x50 W24 from bytes 1-3", "50:50100e00ffff", "drivingDataChanged", "driving.item2=3600min");
    row("trip 0x51", "50:51ffffff0000", "drivingDataChanged", "driving.item8=16777215min");
    row("trip 0x52", "50:520100000000", "drivingDataChanged", "driving.item14=1min");
    row("trip 0x61", "50:61010a000000", "drivingDataChanged", "driving.item3=1.0km/L");
    row("trip wrong lengths and unknown items",
        "50:2001d2040000 50:1001d20400 50:1001d204000000 50:1101d2040000 50:0001d2040000",
        "drivingDataChanged drivingDataChanged drivingDataChanged", "driving.item4=123mi");

    // Fuel: current consumption (0x16), history (0x17), 17 bytes each, big-endian tenths.
    row("fuel current", "16:05007b" "0000000000000000000000000000", "fuelDataChanged",
        "fuel.fuel0=5; fuel.fuel1=12.3");
    row("fuel current, whole tenths", "16:ff000a0000000000000000000000000000", "fuelDataChanged",
        "fuel.fuel0=255; fuel.fuel1=1");
    row("fuel current, zero", "16:0000000000000000000000000000000000", "fuelDataChanged",
        "fuel.fuel0=0; fuel.fuel1=0");
    row("fuel current, 16 bytes", "16:05000000000000000000000000000000", "", "");
    row("fuel history", "17:00000001000000000100000000ffff0000", "fuelDataChanged",
        "fuel.fuel2=25.6; fuel.fuel3=25.6; fuel.fuel4=25.6; fuel.fuel5=6553.5");
    row("fuel history, bytes between not read", "17:0900000000090000000009000000000909",
        "fuelDataChanged", "fuel.fuel2=0; fuel.fuel3=0; fuel.fuel4=0; fuel.fuel5=0");
    row("fuel history, 18 bytes", "17:000000010000000000000000000000000000", "", "");

    // Mileage: two 24-bit tenths sharing byte 6.
    row("mileage", "09:00000000000100000a", "timeMileageInformation",
        "oilAllMileage=25.6; timeAllMileage=1");
    row("mileage shared byte 6", "09:000000000000010000", "timeMileageInformation",
        "oilAllMileage=0.1; timeAllMileage=6553.6");
    row("mileage largest", "09:ffffffffffffffffff", "timeMileageInformation",
        "oilAllMileage=1677721.5; timeAllMileage=1677721.5");
    row("mileage 8 bytes", "09:0000000000010000", "", "");
    row("mileage 10 bytes", "09:00000000000100000000", "", "");
    row("light setting mileage unit", "67:0004", "lightSetInformation", "mileageUnits=4");
    row("light setting mileage unit off", "67:0004 67:00fb", "lightSetInformation lightSetInformation",
        "mileageUnits=0");
    row("light setting wrong lengths", "67:ffff 67:00 67:000000", "lightSetInformation", "mileageUnits=4");

    // Climate: the block is stored whole and read on demand; the same message sets the
    // temperature unit entry.
    const char *climate = "acStatusChanged acManualClimateModeChanged unitDataChanged";
#define CELSIUS "; units.level3=1; units.text3=°C"
#define FAHRENHEIT "; climate.unit=°F; climate.rightUnit=°F; units.text3=°F"
    row("climate zero block, automatic", "29:0000000000000000", climate,
        "climate.left=-1; climate.right=-1; climate.rear=15.5; climate.manual=0; climate.unit=°C; "
        "climate.windMode=0" CELSIUS);
    row("climate byte 0 flags", "29:ed00000000000000", climate,
        "climate.powerOff=true; climate.ac=true; climate.inside=true; climate.auto=true; "
        "climate.dual=true; climate.rearDefrost=true" CELSIUS);
    row("climate byte 0 flags off", "29:1200000000000000", climate,
        "climate.powerOff=false; climate.ac=false; climate.inside=false; climate.auto=false; "
        "climate.dual=false; climate.rearDefrost=false" CELSIUS);
    row("climate manual 16.0 and 16.5", "29:0000200008002100", climate,
        "climate.left=16; climate.right=16.5; climate.manual=1; climate.profile=1" CELSIUS);
    row("climate LO and HI", "29:00001e0008003c00", climate,
        "climate.left=-100; climate.right=-101; climate.manual=1; climate.glassHeat=true" CELSIUS);
    row("climate Fahrenheit LO and HI", "29:000077004800ab00", climate,
        "climate.left=-100; climate.right=-101; climate.manual=1; climate.profile=3; climate.rear=59" FAHRENHEIT);
    row("climate Fahrenheit", "29:000078004800aa00", climate,
        "climate.left=60; climate.right=85; climate.manual=1; climate.profile=2; climate.rear=59; "
        "climate.glassHeat=true" FAHRENHEIT);
    row("climate Celsius up to 79, Fahrenheit from 80", "29:00004f0008005000", climate,
        "climate.left=39.5; climate.right=40; climate.manual=1; climate.glassHeat=true" CELSIUS);
    row("climate out of range indices", "29:000000000800ff00", climate,
        "climate.left=0; climate.right=127.5; climate.manual=1; climate.profile=3" CELSIUS);
    row("climate rear Fahrenheit by bit 4 alone", "29:0000000010000005", climate,
        "climate.rear=64; climate.unit=°C; climate.frontLeftHeat=1; climate.frontRightHeat=1" CELSIUS);
    row("climate rear Fahrenheit by bit 6", "29:0000000040000005", climate,
        "climate.rear=64; climate.frontLeftHeat=1; climate.frontRightHeat=1" FAHRENHEIT);
    row("climate rear Celsius", "29:0000000000000001", climate, "climate.rear=16; climate.frontLeftHeat=1" CELSIUS);
    row("climate byte 7 fields", "29:000000000000009c", climate,
        "climate.rightVentilation=2; climate.leftVentilation=1; climate.frontRightHeat=3; "
        "climate.frontLeftHeat=0; climate.rear=93.5" CELSIUS);
    row("climate wind mode raw 4", "29:0080000000000000", climate, "climate.windMode=7" CELSIUS);
    row("climate wind mode raw 6", "29:00c0000000000000", climate, "climate.windMode=4" CELSIUS);
    row("climate wind mode raw 7", "29:00e0000000000000", climate, "climate.windMode=6" CELSIUS);
    row("climate wind mode raw 1", "29:0020000000000000", climate, "climate.windMode=2" CELSIUS);
    row("climate byte 1 low fields", "29:001f000000000000", climate,
        "climate.windScale=7; climate.showRequest=1; climate.windMode=0" CELSIUS);
    row("climate glass heat inside the index", "29:0000280008000000", climate,
        "climate.glassHeat=true; climate.left=20; climate.right=0; climate.manual=1" CELSIUS);
    row("climate profile inside the right index", "29:0000000000002300", climate,
        "climate.profile=3; climate.right=-1" CELSIUS);
    row("climate byte 4 flags", "29:0000000086000000", climate,
        "climate.steeringWheelHeat=true; climate.acMax=true; climate.airCare=true; "
        "climate.frontDefrost=true; climate.manual=0" CELSIUS);
    row("climate rear climate", "29:0000008000000000", climate,
        "climate.rearClimate=true; climate.powerOffRear=true" CELSIUS);
    row("climate all ones; rear fields beyond the block read 0", "29:ffffffffffffffff", climate,
        "climate.rearLeftHeat=0; climate.rearRightHeat=0; climate.windModeRear=0; climate.windScaleRear=0; "
        "climate.powerOff=true; climate.powerOffRear=true; climate.rearClimate=true; climate.acMax=true; "
        "climate.ac=true; climate.inside=true; climate.auto=true; climate.dual=true; climate.rearDefrost=true; "
        "climate.frontDefrost=true; climate.frontLeftHeat=3; climate.frontRightHeat=3; "
        "climate.steeringWheelHeat=true; climate.glassHeat=true; climate.airCare=true; climate.profile=3; "
        "climate.leftVentilation=3; climate.rightVentilation=3; climate.windMode=6; climate.windScale=7; "
        "climate.showRequest=1; climate.left=127.5; climate.right=127.5; climate.rear=314; climate.manual=1"
        FAHRENHEIT);
    row("climate every block signals", twice("29:4000000000000000"),
        "acStatusChanged acManualClimateModeChanged unitDataChanged "
        "acStatusChanged acManualClimateModeChanged unitDataChanged", "climate.ac=true" CELSIUS);
#define MANUAL_20 "climate.ac=true; climate.left=20; climate.right=0; climate.manual=1; climate.glassHeat=true"
    row("climate 7 bytes change nothing", "29:4000280008000000 29:ffffffffffffff",
        "acStatusChanged acManualClimateModeChanged unitDataChanged unitDataChanged",
        MANUAL_20 "; ~acTemperatureLevel=0" CELSIUS);
    row("climate 9 bytes change nothing", "29:4000280008000000 29:ffffffffffffffffff",
        "acStatusChanged acManualClimateModeChanged unitDataChanged unitDataChanged", MANUAL_20 CELSIUS);
    row("climate level follows the block in automatic mode", "29:0000280000000000", climate,
        "~acTemperatureLevel=40; climate.glassHeat=true" CELSIUS);
    row("climate level kept in manual mode", "29:0000280000000000 29:0000320008000000",
        "acStatusChanged acManualClimateModeChanged unitDataChanged "
        "acStatusChanged acManualClimateModeChanged unitDataChanged",
        "~acTemperatureLevel=40; climate.left=25; climate.right=0; climate.manual=1" CELSIUS);
    row("climate level unclamped", "29:0000c80000000000", climate,
        "~acTemperatureLevel=200; climate.glassHeat=true" CELSIUS);
    row("air cleaning", "ff:81ff ff:02 ff:020000", "acStatusChanged", "climate.airCleaning=129");

    // Ambient colour: the first host colour with the box's code; none gives 255.
    row("ambient third record", "48:3300000000", "sigAmbientChanged",
        "carSetting.colorIndex=2; carSetting.state0=1; carSetting.colorPosition=0");
    row("ambient same again", "48:3300000000 48:33ffffffff", "sigAmbientChanged", "carSetting.colorIndex=2");
    row("ambient earlier of two equal codes", "48:2200000000", "sigAmbientChanged", "carSetting.colorIndex=1");
    row("ambient first record", "48:1100000000", "sigAmbientChanged", "carSetting.colorIndex=0");
    row("ambient no record", "48:3300000000 48:4400000000", "sigAmbientChanged sigAmbientChanged",
        "carSetting.colorIndex=255");
    row("ambient no record, no change", "48:4400000000", "", "carSetting.colorIndex=255");
    row("ambient 4 bytes", "48:33000000", "", "");
    row("ambient 6 bytes", "48:330000000000", "", "");

    // Accepted and acknowledged, nothing else.
    row("report of 4 bytes", "40:00000000", "messageChanged(64)", "");
    row("report of 3 bytes", "40:000000", "", "");
    row("run mode, car enable, car lamp, unknown", "85:01 f2:01 f3:01 c8:01", "", "");
}

void tst_Decoders::messages()
{
    QFETCH(QString, frames);
    QFETCH(QString, signalList);
    QFETCH(QString, state);
    QFETCH(QString, log);

    ServiceOnLine box;
    SimpleService &s = *box.service;
    const QMap<QString, QString> before = readState(s);
    SignalRecorder recorder(&s);
    LogCapture capture;
    for (const QString &f : frames.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        box.receiveFrame(f.section(QLatin1Char(':'), 0, 0).toInt(nullptr, 16),
                         QByteArray::fromHex(f.section(QLatin1Char(':'), 1).toLatin1()));

    QStringList events = recorder.events;
    events.removeAll(QStringLiteral("notifyCanbusStatus(3)"));
    QCOMPARE(events.join(QLatin1Char(' ')), signalList);

    const QMap<QString, QString> after = readState(s);
    QStringList named;
    for (const QString &expected : state.split(QStringLiteral("; "), Qt::SkipEmptyParts)) {
        const QString name = expected.section(QLatin1Char('='), 0, 0);
        QVERIFY2(after.contains(name), qPrintable(QStringLiteral("no value %1").arg(name)));
        QCOMPARE(name + QLatin1Char('=') + after.value(name), expected);
        named << name;
    }
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        QVERIFY2(named.contains(it.key()) || before.value(it.key()) == it.value(),
                 qPrintable(QStringLiteral("%1 changed: %2 -> %3")
                                    .arg(it.key(), before.value(it.key()), it.value())));

    QStringList logged;
    for (const LogEntry &e : capture.entries())
        logged << (e.type == QtCriticalMsg ? QStringLiteral("ERR ") : QString())
                        + e.message.section(QStringLiteral(" -- "), 1);
    for (const QString &item : log.split(QLatin1Char('|'), Qt::SkipEmptyParts))
        QVERIFY2(logged.contains(item), qPrintable(logged.join(QLatin1Char('\n'))));
}

// A trip value in tenths reads as "%.1f" prints the float quotient, for every value the box can send.
void tst_Decoders::tripTenthsOfEveryValue()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    DrivingData data;
    for (int n = 0; n < 65536; ++n) {
        box.receiveFrame(0x50, QByteArray::fromHex("3000") + char(n & 0xFF) + char(n >> 8) + QByteArray(2, '\0'));
        s.getDrivingData(data);
        const QString expected = QString::asprintf("%.1f", double(float(n) / 10.0f));
        if (!data.item7.startsWith(expected) || !data.item7.at(expected.size()).isLetter())
            QFAIL(qPrintable(QStringLiteral("%1 tenths read as %2").arg(n).arg(data.item7)));
    }
}

QTEST_GUILESS_MAIN(tst_Decoders)
#include "tst_decoders.moc"
