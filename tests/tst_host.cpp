// The head unit's side: texts, colours, configuration, records and the in-process line.
#include "canbusmanager.h"
#include "canservicerecords.h"
#include "configmanager.h"
#include "serialport.h"
#include "translator.h"
#include "virtualserialline.h"

#include <QSignalSpy>
#include <QtTest>

using namespace canservice;

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

QTEST_GUILESS_MAIN(tst_Host)
#include "tst_host.moc"
