// Speed, rotation, the temperature unit, doors, steering angle, tyres, emergency call, version.
#include "logcapture.h"
#include "servicefixture.h"
#include "signalrecorder.h"
#include "simpleservice_access.h"
#include "translator.h"

#include <QtTest>

using namespace canservice;
using namespace testsupport;

class tst_VehicleStatus : public QObject
{
    Q_OBJECT

private slots:
    void speed_data();
    void speed();
    void speedSignalsOnlyOnAChangeOfValue();
    void rotation_data();
    void rotation();
    void temperatureUnit_data();
    void temperatureUnit();
    void doors_data();
    void doors();
    void steeringAngle_data();
    void steeringAngle();
    void tyreAlertSignalsChanges();
    void emergencyCallIsStoredSilently_data();
    void emergencyCallIsStoredSilently();
    void version_data();
    void version();
    void noMessageFillsTemperatureOrTyrePressure();
};

void tst_VehicleStatus::speed_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<float>("speed");
    QTest::addColumn<int>("unit");
    QTest::addColumn<bool>("signalled");
    QTest::newRow("256 mph") << hex("001001") << 256.0f << 1205 << true;
    QTest::newRow("0.5 km/h") << hex("080000") << 0.5f << 1148 << true;
    QTest::newRow("little-endian") << hex("3412fe") << float(0x1234) / 16 << 1148 << true;
    QTest::newRow("fastest") << hex("ffff03") << 4095.9375f << 1205 << true;
    QTest::newRow("zero, unchanged") << hex("000001") << 0.0f << 1205 << false;
    QTest::newRow("2 bytes") << hex("0010") << 0.0f << -1 << false;
    QTest::newRow("4 bytes") << hex("00100100") << 0.0f << -1 << false;
}

void tst_VehicleStatus::speed()
{
    QFETCH(QByteArray, payload);
    QFETCH(float, speed);
    QFETCH(int, unit);
    QFETCH(bool, signalled);
    ServiceOnLine box;
    QSignalSpy changed(box.service.get(), &CanServiceBase::speedChanged);
    box.receiveFrame(0xF6, payload);
    QCOMPARE(box.service->getSpeed(), speed);
    QCOMPARE(box.service->getSpeedUnit(), Translator::translate(unit));
    QCOMPARE(changed.count(), signalled ? 1 : 0);
}

void tst_VehicleStatus::speedSignalsOnlyOnAChangeOfValue()
{
    ServiceOnLine box;
    LogCapture log;
    QSignalSpy changed(box.service.get(), &CanServiceBase::speedChanged);
    box.receiveFrame(0xF6, hex("2a0300"));
    box.receiveFrame(0xF6, hex("2a0300"));
    QCOMPARE(changed.count(), 1);
    // Same value in the other unit: the text follows, the signal does not.
    box.receiveFrame(0xF6, hex("2a0301"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(box.service->getSpeedUnit(), Translator::translate(1205));
    QCOMPARE(box.service->getSpeed(), 50.625f);
    QCOMPARE(log.items().filter(QStringLiteral("-- 50.625")), QStringList{"-- 50.625 km/h"});
}

void tst_VehicleStatus::rotation_data()
{
    QTest::addColumn<QList<QByteArray>>("payloads");
    QTest::addColumn<int>("rotate");
    QTest::addColumn<int>("signals_");
    QTest::newRow("3000 rpm") << QList<QByteArray>{hex("030bb8")} << 3000 << 1;
    QTest::newRow("every message signals") << QList<QByteArray>{hex("030bb8"), hex("030bb8")} << 3000 << 2;
    QTest::newRow("missing low byte") << QList<QByteArray>{hex("030b")} << 2816 << 1;
    QTest::newRow("long message") << QList<QByteArray>{hex("03ffff0102")} << 65535 << 1;
    QTest::newRow("other sub-type kept out")
            << QList<QByteArray>{hex("030bb8"), hex("020fa0"), hex("00")} << 3000 << 1;
    QTest::newRow("sub-type 0 kept out") << QList<QByteArray>{hex("030001"), hex("00")} << 1 << 1;
}

void tst_VehicleStatus::rotation()
{
    QFETCH(QList<QByteArray>, payloads);
    QFETCH(int, rotate);
    QFETCH(int, signals_);
    ServiceOnLine box;
    QSignalSpy changed(box.service.get(), &CanServiceBase::rotateChanged);
    for (const QByteArray &p : payloads)
        box.receiveFrame(0x41, p.isEmpty() ? hex("00") : p);
    QCOMPARE(box.service->getRotate(), rotate);
    QCOMPARE(changed.count(), signals_);
}

void tst_VehicleStatus::temperatureUnit_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("errors");
    QTest::newRow("two bytes") << hex("0102")
                               << QStringList({"temperatureChanged", "messageChanged(104)"})
                               << 1163 << 0;
    QTest::newRow("one byte") << hex("01") << QStringList() << 1150 << 1;
    QTest::newRow("three bytes") << hex("010203") << QStringList() << 1150 << 1;
}

void tst_VehicleStatus::temperatureUnit()
{
    QFETCH(QByteArray, payload);
    QFETCH(QStringList, events);
    QFETCH(int, unit);
    QFETCH(int, errors);
    ServiceOnLine box;
    SignalRecorder signals_(box.service.get());
    LogCapture log;
    box.receiveFrame(0x68, payload);
    QCOMPARE(signals_.events, QStringList{"notifyCanbusStatus(3)"} + events);
    QCOMPARE(box.service->getTemperatureUnit(), Translator::translate(unit));
    int errorLines = 0;
    for (const LogEntry &e : log.entries())
        errorLines += e.type == QtCriticalMsg && e.message.endsWith(QLatin1String(" -- --"));
    QCOMPARE(errorLines, errors);
}

void tst_VehicleStatus::doors_data()
{
    QTest::addColumn<QList<QByteArray>>("payloads");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("open");
    QTest::addColumn<int>("signals_");
    QTest::newRow("front lid and left front")
            << QList<QByteArray>{hex("4400000000")} << 0x44 << "F...L." << 1;
    QTest::newRow("same again") << QList<QByteArray>{hex("4400000000"), hex("44ffffffff")} << 0x44
                                << "F...L." << 1;
    QTest::newRow("every door") << QList<QByteArray>{hex("fc00000000")} << 0xFC << "FRLRLR" << 1;
    QTest::newRow("rear lid, right rear, right front")
            << QList<QByteArray>{hex("a800000000")} << 0xA8 << ".R.R.R" << 1;
    QTest::newRow("bits 0 and 1 mean nothing") << QList<QByteArray>{hex("0300000000")} << 0 << "......" << 0;
    QTest::newRow("closed again") << QList<QByteArray>{hex("4400000000"), hex("0000000000")} << 0
                                  << "......" << 2;
    QTest::newRow("4 bytes") << QList<QByteArray>{hex("44000000")} << 0 << "......" << 0;
    QTest::newRow("6 bytes") << QList<QByteArray>{hex("440000000000")} << 0 << "......" << 0;
}

void tst_VehicleStatus::doors()
{
    QFETCH(QList<QByteArray>, payloads);
    QFETCH(int, status);
    QFETCH(QString, open);
    QFETCH(int, signals_);
    ServiceOnLine box;
    SimpleService &s = *box.service;
    QSignalSpy changed(&s, &CanServiceBase::doorChanged);
    for (const QByteArray &p : payloads)
        box.receiveFrame(0x24, p);
    QCOMPARE(s.getDoorStatus(), status);
    // Front lid, rear lid, left rear, right rear, left front, right front.
    const QString seen = QString(s.isFrontDoorOpen() ? 'F' : '.') + (s.isRearDoorOpen() ? 'R' : '.')
            + (s.isLeftRearDoorOpen() ? 'L' : '.') + (s.isRightRearDoorOpen() ? 'R' : '.')
            + (s.isLeftFrontDoorOpen() ? 'L' : '.') + (s.isRightFrontDoorOpen() ? 'R' : '.');
    QCOMPARE(seen, open);
    QCOMPARE(changed.count(), signals_);
}

void tst_VehicleStatus::steeringAngle_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("angle");
    QTest::newRow("10000") << hex("1027") << 10000;
    QTest::newRow("-1") << hex("ffff") << -1;
    QTest::newRow("lowest clamps") << hex("0080") << -19948;
    QTest::newRow("highest clamps") << hex("ff7f") << 19948;
    QTest::newRow("just inside") << hex("ec4d") << 19948;
    QTest::newRow("just outside") << hex("ed4d") << 19948;
    QTest::newRow("3 bytes changes nothing") << hex("102700") << 0;
}

void tst_VehicleStatus::steeringAngle()
{
    QFETCH(QByteArray, payload);
    QFETCH(int, angle);
    ServiceOnLine box;
    SignalRecorder signals_(box.service.get());
    box.receiveFrame(0x2F, payload);
    QCOMPARE(Access::steeringAngle(*box.service), angle);
    QCOMPARE(signals_.events, QStringList{"notifyCanbusStatus(3)"});
}

void tst_VehicleStatus::tyreAlertSignalsChanges()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    QSignalSpy alert(&s, &CanServiceBase::tireAlert);
    box.receiveFrame(0x65, hex("0000"));
    QCOMPARE(alert.count(), 1);
    QCOMPARE(s.getTireAlertType(), 0);
    box.receiveFrame(0x65, hex("0000"));
    QCOMPARE(alert.count(), 1);
    // Only the state changed.
    box.receiveFrame(0x65, hex("0100"));
    QCOMPARE(alert.count(), 2);
    QCOMPARE(s.getTireAlertType(), 0);
    QCOMPARE(Access::tireAlertState(s), 1);
    box.receiveFrame(0x65, hex("0107"));
    QCOMPARE(alert.count(), 3);
    QCOMPARE(s.getTireAlertType(), 7);
    // Wrong lengths are ignored.
    box.receiveFrame(0x65, hex("02"));
    box.receiveFrame(0x65, hex("020202"));
    QCOMPARE(alert.count(), 3);
    QCOMPARE(s.getTireAlertType(), 7);
    QCOMPARE(Access::tireAlertState(s), 1);
}

void tst_VehicleStatus::emergencyCallIsStoredSilently_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("state");
    QTest::newRow("two bytes") << hex("01ff") << 1;
    QTest::newRow("one byte") << hex("01") << 0;
    QTest::newRow("three bytes") << hex("010000") << 0;
}

void tst_VehicleStatus::emergencyCallIsStoredSilently()
{
    QFETCH(QByteArray, payload);
    QFETCH(int, state);
    ServiceOnLine box;
    SignalRecorder signals_(box.service.get());
    box.receiveFrame(0x95, payload);
    QCOMPARE(box.service->getEarGlonass(), state);
    QCOMPARE(signals_.events, QStringList{"notifyCanbusStatus(3)"});
}

void tst_VehicleStatus::version_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("text");
    QTest::newRow("up to the zero byte") << hex("56312e30004142") << QStringLiteral("V1.0");
    QTest::newRow("no zero byte") << QByteArray("CB-2.14.7") << QStringLiteral("CB-2.14.7");
    QTest::newRow("utf-8") << QByteArray("Vers\xc3\xa3o") << QStringLiteral("Versão");
    QTest::newRow("zero first") << hex("003132") << QString();
    QTest::newRow("invalid utf-8") << hex("56ff") << QStringLiteral("V\uFFFD");
}

void tst_VehicleStatus::version()
{
    QFETCH(QByteArray, payload);
    QFETCH(QString, text);
    ServiceOnLine box;
    QSignalSpy changed(box.service.get(), &CanServiceBase::sigVersionData);
    box.receiveFrame(0x30, payload);
    QCOMPARE(box.service->version(), text);
    box.receiveFrame(0x30, payload);
    QCOMPARE(changed.count(), 2);
}

void tst_VehicleStatus::noMessageFillsTemperatureOrTyrePressure()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    for (int id : {0xF6, 0x41, 0x68, 0x24, 0x2F, 0x65, 0x95, 0x30, 0x29})
        for (int length : {1, 2, 3, 4, 5, 8})
            box.receiveFrame(id, QByteArray(length, '\x41'));
    QCOMPARE(s.getTemperature(), 1000.0f);
    QVERIFY(s.getTemperatureStr().isEmpty());
    QCOMPARE(s.getTirePressureValueFL(), -1.0f);
    QCOMPARE(s.getTirePressureValueFR(), -1.0f);
    QCOMPARE(s.getTirePressureValueRL(), -1.0f);
    QCOMPARE(s.getTirePressureValueRR(), -1.0f);
    QVERIFY(s.getTireUnit().isEmpty());
}

QTEST_GUILESS_MAIN(tst_VehicleStatus)
#include "tst_vehiclestatus.moc"
