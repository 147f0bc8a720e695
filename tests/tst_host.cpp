// The head unit's side: colours, configuration and the in-process line.
#include "canbusmanager.h"
#include "canservicerecords.h"
#include "configmanager.h"
#include "serialport.h"
#include "translator.h"
#include "linerecorder.h"
#include "virtualserialline_p.h"

#include <QSignalSpy>
#include <QtTest>

using namespace canservice;

class tst_Host : public QObject
{
    Q_OBJECT

private slots:
    void colourListCanBeReplaced();
    void configurationPrefersTheHostOverTheEnvironment();
    void virtualLineKeepsWritesAndDeliversChunksAsGiven();
    void closedPortDropsWritesAndReceivesNothing();
    void theWatcherIsHandedPortsOnTheConfiguredDevice();
};



void tst_Host::colourListCanBeReplaced()
{
    CanBusManager *manager = CanBusManager::instance();
    QCOMPARE(CanBusManager::instance(), manager);
    const QList<HwdColorDiff> defaults = manager->getHwdColorDiffList();
    QVERIFY(defaults.size() >= 8);
    QSet<int> codes;
    for (const HwdColorDiff &c : defaults) {
        QVERIFY(!c.name.isEmpty());
        codes.insert(c.colorCode);
    }
    QCOMPARE(codes.size(), defaults.size());

    manager->setHwdColorDiffList({{42, QStringLiteral("Teal"), 0x008080}});
    QCOMPARE(manager->getHwdColorDiffList().size(), 1);
    QCOMPARE(manager->getHwdColorDiffList().at(0).colorCode, 42);
    manager->setHwdColorDiffList(defaults);
}

void tst_Host::configurationPrefersTheHostOverTheEnvironment()
{
    // A fresh process, since the configuration is one per process.
    qputenv("CANSERVICE_SERIAL_DEVICE", "/dev/ttyUSB7");
    ConfigManager *config = ConfigManager::instance();
    QCOMPARE(config->serialDevice(), QStringLiteral("/dev/ttyUSB7"));
    config->setSerialDevice(QStringLiteral("virtual:here"));
    QCOMPARE(config->serialDevice(), QStringLiteral("virtual:here"));
    qunsetenv("CANSERVICE_SERIAL_DEVICE");

    QVERIFY(config->getPluginFullPath().isEmpty());
    config->setPluginFullPath(QStringLiteral("/opt/plugins/libsimpleservice.so"));
    QCOMPARE(ConfigManager::instance()->getPluginFullPath(),
             QStringLiteral("/opt/plugins/libsimpleservice.so"));
}


void tst_Host::virtualLineKeepsWritesAndDeliversChunksAsGiven()
{
    SerialPort port;
    QVERIFY(port.open(QStringLiteral("virtual:unit"), 38400));
    VirtualSerialLine *line = port.virtualLine();
    QVERIFY(line);
    QCOMPARE(line->name(), QStringLiteral("unit"));
    QCOMPARE(line->baudRate(), 38400);
    testsupport::LineRecorder recorder(line);

    QCOMPARE(port.writeData(QByteArray::fromHex("2e81"), false), qint64(2));
    port.writeData(QByteArray::fromHex("ff"), true);
    const auto writes = recorder.writes();
    QCOMPARE(writes.size(), 2);
    QCOMPARE(writes.at(0).bytes, QByteArray::fromHex("2e81"));
    QCOMPARE(writes.at(0).flag, false);
    QCOMPARE(writes.at(1).flag, true);
    QCOMPARE(recorder.writtenBytes(), QByteArray::fromHex("2e81ff"));
    QCOMPARE(VirtualSerialLinePrivate::get(line)->bytesWritten, qint64(3));

    QSignalSpy read(&port, &SerialPort::read);
    line->deliver(QByteArray::fromHex("2e"));
    line->deliver(QByteArray::fromHex("4102"));
    QCOMPARE(read.count(), 2);
    QCOMPARE(read.at(1).at(0).toByteArray(), QByteArray::fromHex("4102"));
}

void tst_Host::closedPortDropsWritesAndReceivesNothing()
{
    SerialPort port;
    QVERIFY(port.open(QStringLiteral("virtual:closing"), 38400));
    VirtualSerialLine *line = port.virtualLine();
    QSignalSpy read(&port, &SerialPort::read);
    QSignalSpy written(line, &VirtualSerialLine::written);
    port.close();
    QVERIFY(!port.isOpen());
    QVERIFY(!line->isOpen());
    QCOMPARE(port.writeData(QByteArray::fromHex("2e"), false), qint64(-1));
    line->deliver(QByteArray::fromHex("ff"));
    QCOMPARE(written.count(), 0);
    QCOMPARE(read.count(), 0);
}

// The head unit hears the port its service opens on the configured device, open or waiting for
// its device; a port opened by name is its opener's own.
void tst_Host::theWatcherIsHandedPortsOnTheConfiguredDevice()
{
    QList<SerialPort *> handed;
    ConfigManager::instance()->setPortWatcher([&handed](SerialPort *port) { handed << port; });
    ConfigManager::instance()->setSerialDevice(QStringLiteral("virtual:configured"));
    SerialPort named, configured, missing;
    QVERIFY(named.open(QStringLiteral("virtual:named"), 38400));
    QVERIFY(configured.open(QString(), 38400));
    ConfigManager::instance()->setSerialDevice(QStringLiteral("/dev/ttyUSB-canservice-none"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot open serial device")));
    QVERIFY(!missing.open(QString(), 38400));
    ConfigManager::instance()->setPortWatcher(nullptr);
    QCOMPARE(handed, (QList<SerialPort *>{&configured, &missing}));
    QCOMPARE(missing.error(), SerialPort::DeviceNotFoundError);
    QCOMPARE(configured.virtualLine()->name(), QStringLiteral("configured"));
    QCOMPARE(missing.virtualLine(), nullptr);
}

QTEST_GUILESS_MAIN(tst_Host)
#include "tst_host.moc"
