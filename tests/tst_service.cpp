// The service object as constructed, and the shape of its log lines.
#include "logcapture.h"
#include "servicefixture.h"
#include "simpleservice_access.h"
#include "simpleservice_log.h"
#include "translator.h"

#include <QtTest>

#include <sys/syscall.h>
#include <unistd.h>

using namespace canservice;
using namespace testsupport;

class tst_Service : public QObject
{
    Q_OBJECT

private slots:
    void constructedIdleOnAnOpenLine();
    void vehicleStateStartsAtNoReading();
    void operationsItDoesNotOverrideKeepTheHostDefaults();
    void frameBeforeStartIsAnsweredAndTakesTheLinkUp();
    void logLineShape_data();
    void logLineShape();
    void disabledDebugCostsNoFormatting();
};

void tst_Service::constructedIdleOnAnOpenLine()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    QVERIFY(box.line);
    QVERIFY(box.line->isOpen());
    QCOMPARE(box.line->baudRate(), 38400);
    QVERIFY(box.line->writes().isEmpty());

    QCOMPARE(Access::parseState(s), 0);
    for (QTimer *timer : {&Access::parseOutTimer(s), &Access::checkConnectTimer(s),
                          &Access::requestConnectTimer(s), &Access::sendTimer(s),
                          &Access::longPressTimer(s)})
        QVERIFY(!timer->isActive());
    QCOMPARE(Access::checkConnectTimer(s).interval(), 30000);
    QVERIFY(!Access::checkConnectTimer(s).isSingleShot());
    QCOMPARE(Access::requestConnectTimer(s).interval(), 2000);
    QVERIFY(!Access::requestConnectTimer(s).isSingleShot());
    QCOMPARE(Access::sendTimer(s).interval(), 300);
    QVERIFY(!Access::sendTimer(s).isSingleShot());
    QCOMPARE(Access::parseOutTimer(s).interval(), 500);
    QVERIFY(Access::parseOutTimer(s).isSingleShot());
    QVERIFY(Access::longPressTimer(s).isSingleShot());
    QVERIFY(s.parent() == nullptr);
}

void tst_Service::vehicleStateStartsAtNoReading()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    QCOMPARE(Access::radarData(s), QByteArray(19, '\xff'));
    QCOMPARE(Access::acData(s).size(), 8);
    QCOMPARE(s.getTemperature(), 1000.0f);
    QVERIFY(s.getTemperatureStr().isEmpty());
    QCOMPARE(s.getTemperatureUnit(), Translator::translate(1150));
    QCOMPARE(s.getTireAlertType(), -1);
    QCOMPARE(s.getTirePressureValueFL(), -1.0f);
    QCOMPARE(s.getTirePressureValueFR(), -1.0f);
    QCOMPARE(s.getTirePressureValueRL(), -1.0f);
    QCOMPARE(s.getTirePressureValueRR(), -1.0f);
    QCOMPARE(s.getCarSettingData().colorPosition, quint8(0));
    QCOMPARE(s.getCarSettingData().colorIndex, quint8(0xFF));
    QCOMPARE(s.getSpeed(), 0.0f);
    QCOMPARE(s.getRotate(), 0);
    QCOMPARE(s.getDoorStatus(), 0);
    QVERIFY(s.version().isEmpty());
    QCOMPARE(Access::colorCodeTable(s), QByteArray(21, '\0'));

    UnitData units;
    QCOMPARE(s.getUnitData(units), 0);
    QCOMPARE(units.maxLevel, QList<int>({4, 2, 0, 2, 0, 0}));
    QCOMPARE(units.level, QList<int>({0, 0, 0, 0, 0, 0}));
}

void tst_Service::operationsItDoesNotOverrideKeepTheHostDefaults()
{
    ServiceOnLine box;
    CanServiceBase &s = *box.service;
    QCOMPARE(s.requestMaintenanceData(), -1);
    QCOMPARE(s.getCoolantTemp(), -1);
    QVERIFY(s.getCoolantTempUnit().isEmpty());
    QVERIFY(s.isRadarStatus());
    QCOMPARE(s.getTireStatusFR(), -1);
    QCOMPARE(s.getTireStatusRR(), -1);
    QCOMPARE(s.getBatteryVoltageValue(), -1.0f);
    QCOMPARE(s.getBatteryVoltageAlertType(), 0);
    QCOMPARE(s.sendCameraKey(1, CameraData()), -1);
    QCOMPARE(s.getDualControllableState(), 1);
    QCOMPARE(s.getCameraMode(), -1);
    QCOMPARE(s.getAmbientStatus(), 1);
    QVERIFY(s.getDrivingDataTitle2().isEmpty());
    VehicleMaintenanceData maintenance;
    QCOMPARE(s.getMaintenanceData(maintenance), -1);
    QCOMPARE(s.getCanDrivingPosition(), -1);
    QCOMPARE(s.flushDebugFile(), -1);
    QVERIFY(box.line->writes().isEmpty());
}

void tst_Service::frameBeforeStartIsAnsweredAndTakesTheLinkUp()
{
    ServiceOnLine box;
    QSignalSpy status(box.service.get(), &CanServiceBase::notifyCanbusStatus);
    box.receive(hex("2e41020300b9"));
    QCOMPARE(box.takeWrites(), QStringList{"ff/true"});
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toInt(), 3);
    QVERIFY(Access::checkConnectTimer(*box.service).isActive());
}

void tst_Service::logLineShape_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("items");

    QTest::newRow("accepted frame") << hex("2e41020300b9") << int(QtDebugMsg)
                                    << "void canservice::SimpleService::onDataReady(QByteArray)"
                                    << "id: 65";
    QTest::newRow("checksum error") << hex("2e41020300b8") << int(QtCriticalMsg)
                                    << "void canservice::SimpleService::onDataReady(QByteArray)"
                                    << "checksum err!";
    QTest::newRow("decoder") << hex("2ef603081000ee") << int(QtDebugMsg)
                             << "void canservice::SimpleService::doSpeed(int, QByteArray&)"
                             << "-- 3 08 10 00";
}

void tst_Service::logLineShape()
{
    QFETCH(QByteArray, chunk);
    QFETCH(int, type);
    QFETCH(QString, function);
    QFETCH(QString, items);

    ServiceOnLine box;
    LogCapture log;
    box.receive(chunk);

    const long tid = static_cast<long>(::syscall(SYS_gettid));
    bool found = false;
    for (const LogEntry &e : log.entries()) {
        if (!e.message.endsWith(QLatin1String(" -- ") + items))
            continue;
        found = true;
        QCOMPARE(int(e.type), type);
        QCOMPARE(e.category, QStringLiteral("default"));
        QCOMPARE(e.file, QStringLiteral("simpleservice"));
        QCOMPARE(e.function, function);
        QVERIFY(e.line > 0);
        const QString level = type == QtDebugMsg ? QStringLiteral("[DBG]") : QStringLiteral("[ERR]");
        QCOMPARE(e.message,
                 QStringLiteral("%1 %2 %3 %4 -- %5").arg(level).arg(tid).arg(function).arg(e.line).arg(items));
    }
    QVERIFY2(found, qPrintable(log.items().join(QLatin1Char('\n'))));
}

void tst_Service::disabledDebugCostsNoFormatting()
{
    ServiceOnLine box;
    LogCapture log;
    QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, false);

    int evaluated = 0;
    SS_DBG(++evaluated);
    QCOMPARE(evaluated, 0);

    // The receive path and a decoder log nothing, but errors still come through.
    box.receive(hex("2ef603081000ee2e41020300b8"));
    QCOMPARE(box.service->getSpeed(), 256.5f);
    QCOMPARE(log.entries().size(), 1);
    QCOMPARE(log.entries().at(0).type, QtCriticalMsg);

    QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, true);
    SS_DBG(++evaluated);
    QCOMPARE(evaluated, 1);
}

QTEST_GUILESS_MAIN(tst_Service)
#include "tst_service.moc"
