// The head unit's side: texts, colours, configuration, records and the serial line.
#include "canbusmanager.h"
#include "canservicerecords.h"
#include "configmanager.h"
#include "serialport.h"
#include "translator.h"
#include "virtualserialline.h"

#include <QSignalSpy>
#include <QSocketNotifier>
#include <QtTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace canservice;

namespace {
struct Warnings
{
    Warnings() { previous = qInstallMessageHandler(&Warnings::handler); }
    ~Warnings() { qInstallMessageHandler(previous); }
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (type == QtWarningMsg)
            lines << message;
    }
    static QStringList lines;
    QtMessageHandler previous;
};
QStringList Warnings::lines;

// A pseudo-terminal pair: the test plays the box on the master side.
struct Pty
{
    Pty()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
            slave = QString::fromLocal8Bit(ptsname(master));
    }
    ~Pty() { closeMaster(); }
    void closeMaster()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    QByteArray readMaster(int expected)
    {
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        fcntl(master, F_SETFL, O_NONBLOCK);
        while (got.size() < expected && clock.elapsed() < 5000) {
            char buf[256];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0)
                got.append(buf, int(n));
            else
                QTest::qWait(10);
        }
        return got;
    }
    int master = -1;
    QString slave;
};
} // namespace

class tst_Host : public QObject
{
    Q_OBJECT

private slots:
    void translatorTexts_data();
    void translatorTexts();
    void colourListCanBeReplaced();
    void configurationPrefersTheHostOverTheEnvironment();
    void recordDefaults();
    void virtualLineKeepsWritesAndDeliversChunksAsGiven();
    void closedPortDropsWritesAndReceivesNothing();
    void missingDeviceGivesOneWarningWithTheReason();
    void noDeviceConfiguredSaysHowToConfigureOne();
    void realLineOverAPseudoTerminal();
    void vanishedDeviceGivesOneWarningAndDropsWrites();
};

void tst_Host::translatorTexts_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("text");
    QTest::newRow("parking assist off") << 655 << QStringLiteral("Parking assist off");
    QTest::newRow("mpg") << 1141 << QStringLiteral("mpg");
    QTest::newRow("km") << 1145 << QStringLiteral("km");
    QTest::newRow("km/h") << 1148 << QStringLiteral("km/h");
    QTest::newRow("celsius") << 1150 << QStringLiteral("°C");
    QTest::newRow("fahrenheit") << 1163 << QStringLiteral("°F");
    QTest::newRow("l/100km") << 1167 << QStringLiteral("L/100km");
    QTest::newRow("km/l") << 1168 << QStringLiteral("km/L");
    QTest::newRow("mi") << 1169 << QStringLiteral("mi");
    QTest::newRow("min") << 1172 << QStringLiteral("min");
    QTest::newRow("parking assist on") << 1177 << QStringLiteral("Parking assist on");
    QTest::newRow("vehicle information") << 1184 << QStringLiteral("Vehicle information");
    QTest::newRow("mph") << 1205 << QStringLiteral("mph");
    QTest::newRow("unknown") << 1 << QString();
    QTest::newRow("negative") << -1150 << QString();
}

void tst_Host::translatorTexts()
{
    QFETCH(int, id);
    QFETCH(QString, text);
    QCOMPARE(Translator::translate(id), text);
}

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

void tst_Host::recordDefaults()
{
    const CarSettingData car;
    QCOMPARE(car.state0, quint8(1));
    QCOMPARE(car.colorPosition, quint8(0xFF));
    QCOMPARE(car.colorIndex, quint8(0xFF));
    QCOMPARE(car.valueText, QByteArray("16777215"));
    QCOMPARE(car.state12, quint8(0xFF));
    QCOMPARE(car.state16, 1);

    const UnitData units;
    QCOMPARE(units.maxLevel, QList<int>({0, 0, 0, 0, 0, 0}));
    QCOMPARE(units.level, QList<int>({0, 0, 0, 0, 0, 0}));
    QCOMPARE(units.text, QList<QString>({{}, {}, {}, {}, {}, {}}));

    const OtherInfoData other;
    QVERIFY(other.infoFlag);
    QVERIFY(other.parkingAssistText.isEmpty());
}

void tst_Host::virtualLineKeepsWritesAndDeliversChunksAsGiven()
{
    SerialPort port;
    QVERIFY(port.open(QStringLiteral("virtual:unit"), 38400));
    VirtualSerialLine *line = VirtualSerialLine::find(QStringLiteral("unit"));
    QVERIFY(line);
    QCOMPARE(VirtualSerialLine::lastOpened(), line);
    QCOMPARE(line->baudRate(), 38400);

    QCOMPARE(port.writeData(QByteArray::fromHex("2e81"), false), qint64(2));
    port.writeData(QByteArray::fromHex("ff"), true);
    const auto writes = line->writes();
    QCOMPARE(writes.size(), 2);
    QCOMPARE(writes.at(0).bytes, QByteArray::fromHex("2e81"));
    QCOMPARE(writes.at(0).flag, false);
    QCOMPARE(writes.at(1).flag, true);
    QCOMPARE(line->writtenBytes(), QByteArray::fromHex("2e81ff"));

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
    VirtualSerialLine *line = VirtualSerialLine::lastOpened();
    QSignalSpy read(&port, &SerialPort::read);
    port.close();
    QVERIFY(!port.isOpen());
    QVERIFY(!line->isOpen());
    QCOMPARE(port.writeData(QByteArray::fromHex("2e"), false), qint64(-1));
    line->deliver(QByteArray::fromHex("ff"));
    QVERIFY(line->writes().isEmpty());
    QCOMPARE(read.count(), 0);
    QCOMPARE(VirtualSerialLine::find(QStringLiteral("closing")), nullptr);
}

void tst_Host::missingDeviceGivesOneWarningWithTheReason()
{
    Warnings warnings;
    Warnings::lines.clear();
    SerialPort port;
    QVERIFY(!port.open(QStringLiteral("/dev/canservice-no-such-device"), 38400));
    QCOMPARE(Warnings::lines.size(), 1);
    const QString &line = Warnings::lines.at(0);
    QVERIFY2(line.contains(QLatin1String("/dev/canservice-no-such-device")), qPrintable(line));
    QVERIFY2(line.contains(QLatin1String("No such file or directory")), qPrintable(line));
    QCOMPARE(port.writeData(QByteArray::fromHex("2e"), false), qint64(-1));
}

void tst_Host::noDeviceConfiguredSaysHowToConfigureOne()
{
    Warnings warnings;
    Warnings::lines.clear();
    ConfigManager::instance()->setSerialDevice(QString());
    SerialPort port;
    QVERIFY(!port.open(QString(), 38400));
    QCOMPARE(Warnings::lines.size(), 1);
    QVERIFY(Warnings::lines.at(0).contains(QLatin1String("CANSERVICE_SERIAL_DEVICE")));
}

void tst_Host::realLineOverAPseudoTerminal()
{
    Pty pty;
    if (pty.slave.isEmpty())
        QSKIP("this system gives no pseudo-terminal");

    ConfigManager::instance()->setSerialDevice(pty.slave);
    SerialPort port;
    QVERIFY(port.open(QString(), 38400));
    QCOMPARE(port.deviceName(), pty.slave);

    port.writeData(QByteArray::fromHex("2e8101017c"), false);
    QCOMPARE(pty.readMaster(5), QByteArray::fromHex("2e8101017c"));

    QSignalSpy read(&port, &SerialPort::read);
    const QByteArray frame = QByteArray::fromHex("2e41020300b9");
    QCOMPARE(::write(pty.master, frame.constData(), size_t(frame.size())), ssize_t(frame.size()));
    const auto received = [&read] {
        QByteArray all;
        for (const QList<QVariant> &args : qAsConst(read))
            all += args.at(0).toByteArray();
        return all;
    };
    QTRY_COMPARE_WITH_TIMEOUT(received(), frame, 5000);
}

void tst_Host::vanishedDeviceGivesOneWarningAndDropsWrites()
{
    Pty pty;
    if (pty.slave.isEmpty())
        QSKIP("this system gives no pseudo-terminal");
    SerialPort port;
    QVERIFY(port.open(pty.slave, 38400));

    Warnings warnings;
    Warnings::lines.clear();
    // The far end going away is what a pulled USB adapter looks like to the line.
    pty.closeMaster();
    QTRY_VERIFY_WITH_TIMEOUT(!port.isOpen(), 5000);
    QCOMPARE(Warnings::lines.size(), 1);
    QVERIFY2(Warnings::lines.at(0).contains(pty.slave), qPrintable(Warnings::lines.at(0)));
    QCOMPARE(port.writeData(QByteArray::fromHex("2e"), false), qint64(-1));
    QTest::qWait(50);
    QCOMPARE(Warnings::lines.size(), 1);
}

QTEST_GUILESS_MAIN(tst_Host)
#include "tst_host.moc"
