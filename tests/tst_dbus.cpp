// The vehicle on D-Bus, on a private dbus-daemon, asked by real clients (gdbus) and followed by a
// client connection of the test's own: what each method puts on the line, what it refuses, and
// how changes reach the subscribers. tests/dbus/ runs the whole tool: the bus policy with real
// users, a box unplugged, a bus restarted.
#include "servicefixture.h"
#include "simpleservice_access.h"
#include "vehicleservice.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

using namespace testsupport;

namespace {
const char Iface[] = "org.canservice.Vehicle1";
const char Path[] = "/org/canservice/Vehicle1";

QByteArray speedFrame(int kmh)
{
    const char speed[] = {char(kmh * 16 & 0xFF), char(kmh * 16 >> 8), 0};
    return frame(0xF6, QByteArray(speed, 3));
}
} // namespace

// What the bus delivered to a subscriber.
class Subscriber : public QObject
{
    Q_OBJECT
public:
    QList<QPair<QVariantMap, QStringList>> batches;
    QList<QVariantMap> properties;
public slots:
    void valuesChanged(const QVariantMap &changed, const QStringList &gone)
    {
        batches.append({changed, gone});
        emit gotValues();
    }
    void propertiesChanged(const QString &, const QVariantMap &changed, const QStringList &)
    {
        properties.append(changed);
    }
signals:
    void gotValues();
};

class tst_DBus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void aMethodPutsItsCommandOnTheLine_data();
    void aMethodPutsItsCommandOnTheLine();
    void changesComeBatchedByName();
    void valuesGoOutTyped_data();
    void valuesGoOutTyped();
    void introspectionGivesThePropertysUnits();
    void aCommandThatCannotGoOutFails();

private:
    // Runs gdbus with the arguments, the event loop going meanwhile; its output, or its errors
    // after "!".
    QString gdbus(const QStringList &arguments);

    QTemporaryDir m_dir;
    QString m_address;
    QProcess m_daemon;
    std::unique_ptr<ServiceOnLine> m_box;
    std::unique_ptr<tool::VehicleService> m_vehicle;
    std::unique_ptr<Subscriber> m_subscriber;
};

void tst_DBus::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("gdbus")).isEmpty())
        QSKIP("needs dbus-daemon and gdbus (Debian packages dbus-daemon, libglib2.0-bin)");
    QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, false);
    qRegisterMetaType<QProcess::ExitStatus>();
    m_address = QStringLiteral("unix:path=") + m_dir.filePath(QStringLiteral("bus"));
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    // The bus goes when its standard input closes: at the end, or when the test dies.
    m_daemon.start(QStringLiteral("sh"), {QStringLiteral("-c"),
                                          QStringLiteral("dbus-daemon --session --nofork --address=\"$0\" & read -r _; kill $!"),
                                          m_address});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_dir.filePath(QStringLiteral("bus"))), 5000);
}

void tst_DBus::cleanupTestCase()
{
    m_daemon.closeWriteChannel();
    m_daemon.waitForFinished();
}

void tst_DBus::init()
{
    m_box = std::make_unique<ServiceOnLine>();
    m_vehicle = std::make_unique<tool::VehicleService>(m_box->service.get());
    QString error;
    QVERIFY2(m_vehicle->publish(QDBusConnection::SessionBus, &error), qPrintable(error));
    m_subscriber = std::make_unique<Subscriber>();
    QDBusConnection client = QDBusConnection::connectToBus(m_address, QStringLiteral("client"));
    QVERIFY(client.connect(Iface, Path, Iface, QStringLiteral("ValuesChanged"), m_subscriber.get(),
                           SLOT(valuesChanged(QVariantMap, QStringList))));
    QVERIFY(client.connect(Iface, Path, QStringLiteral("org.freedesktop.DBus.Properties"),
                           QStringLiteral("PropertiesChanged"), m_subscriber.get(),
                           SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
}

void tst_DBus::cleanup()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    m_subscriber.reset();
    m_vehicle.reset();
    m_box.reset();
}

QString tst_DBus::gdbus(const QStringList &arguments)
{
    QProcess process;
    QSignalSpy done(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
    process.start(QStringLiteral("gdbus"), QStringList{"call", "--address", m_address, "--dest", Iface,
                                                        "--object-path", Path, "--method"} + arguments);
    if (!done.wait(10000))
        return QStringLiteral("! gdbus did not finish");
    return process.exitCode() == 0 ? QString::fromUtf8(process.readAllStandardOutput()).trimmed()
                                   : QLatin1Char('!') + QString::fromUtf8(process.readAllStandardError()).trimmed();
}

// Each argument is checked against the codec's own tables: the last value of a range is taken, the
// next refused, and a key without a code of its own still sends when it has a rule.
void tst_DBus::aMethodPutsItsCommandOnTheLine_data()
{
    QTest::addColumn<QStringList>("call");
    QTest::addColumn<QStringList>("writes"); // hex/flag, or the error's words
    const auto row = [](const char *name, const char *call, QStringList writes) {
        QTest::newRow(name) << (QLatin1String(Iface) + QLatin1Char('.') + QLatin1String(call)).split(QLatin1Char(' '))
                            << writes;
    };
    row("climate key", "SendClimateKey 0 5", {"2ec602ac018a/true"});
    row("the last climate key", "SendClimateKey 34 0", {"2ec602ac117a/true"});
    row("climate key above the range", "SendClimateKey 35 0",
        {"InvalidArgs: climate key 35 is out of range: the keys are 0 to 34"});
    row("climate key below the range", "SendClimateKey -- -1 0", {"InvalidArgs: climate key -1 is out of range"});
    row("climate key without a command", "SendClimateKey 28 0", {"InvalidArgs: climate key 28 has no command"});
    row("the wind mode key, stepped", "SendClimateKey 31 0", {"2ec602ac2269/true"});
    row("unit entry 0", "SwitchUnit 0", {"2ec602050131/true"});
    row("distance unit", "SwitchUnit 1", {"2ec602a30e86/true"});
    row("unit entry without a command", "SwitchUnit 2",
        {"InvalidArgs: unit entry 2 has no command: the entries are 0, 1 (distance), 3 (temperature) and 5"});
    row("temperature unit", "SwitchUnit 3", {"2ec602a00097/true"});
    row("unit entry 5", "SwitchUnit 5", {"2ec602070030/true"});
    row("radio source", "SetMediaSource FM1 ['87.5MHz'] 0",
        {"2ec00201013b/false", "2ec204012e2200e8/false",
         "2ecb221103380037002e0035004d0048007a000000000000000000000000000000000000001d/false",
         "2ecb2211050000000000000000000000000000000000000000000000000000000000000000fc/false"});
    row("the last source type, with both texts", "SetMediaSource USB ['a','b'] 10",
        {"2ec0020b40f2/false", "2ecb2211030000000000000000000000000000000000000000000000000000000000000000fe/false",
         "2ecb2211050000000000000000000000000000000000000000000000000000000000000000fc/false"});
    row("source type beyond the table", "SetMediaSource FM1 [] 11",
        {"InvalidArgs: source type 11 is out of range: the types are 0 to 10"});
    row("three source texts", "SetMediaSource USB ['a','b','c'] 1", {"InvalidArgs: 3 information texts"});
    // The frequency travels in two bytes, up to 655.35 MHz on FM (taken as the plugin takes it, in
    // whole 10 kHz steps below the text) and 65535 kHz otherwise.
    row("the last FM frequency", "SetMediaSource FM2 ['655.35MHz'] 0",
        {"2ec00201013b/false", "2ec20402feff003a/false",
         "2ecb2211033600350035002e00330035004d0048007a000000000000000000000000000000b9/false",
         "2ecb2211050000000000000000000000000000000000000000000000000000000000000000fc/false"});
    row("an FM frequency beyond two bytes", "SetMediaSource FM1 ['700MHz'] 0",
        {"InvalidArgs: the frequency 700MHz is out of range: the box takes 0 to 655.35 MHz on FM"});
    row("a frequency without its unit", "SetMediaSource FM1 ['87.5'] 0",
        {"InvalidArgs: the frequency 87.5 is not a number and its three-letter unit"});
    row("a frequency below zero", "SetMediaSource AM ['-7kHz'] 0", {"InvalidArgs: the frequency -7kHz is not a number"});
    row("an AM frequency beyond two bytes", "SetMediaSource AM ['65536kHz'] 0",
        {"InvalidArgs: the frequency 65536kHz is out of range: the box takes 0 to 65535 kHz"});
    row("climate request", "RequestClimate", {"2e900229ff45/false"});
    row("parking request", "RequestParkAssist", {"2e900223ff4b/false", "2e900222ff4c/false"});
    row("vehicle request", "RequestVehicleInfo", {"2e900224ff4a/false"});
    row("setting request", "RequestCarSetting", {"2e900248ff26/false"});
    row("unit request", "RequestUnitSettings", {"2e900224ff4a/false"});
    row("other request", "RequestOtherInfo", {"2e900225ff49/false"});
    row("speed request", "RequestSpeed", {"2e9002f6ff78/false"});
    row("driving request", "RequestDrivingData", {"2e900250ff1e/false"});
}

void tst_DBus::aMethodPutsItsCommandOnTheLine()
{
    QFETCH(QStringList, call);
    QFETCH(QStringList, writes);
    m_box->takeWrites();
    const QString answer = gdbus(call);
    if (writes.first().startsWith(QLatin1String("InvalidArgs"))) {
        QVERIFY2(answer.contains(QLatin1String("org.freedesktop.DBus.Error.") + writes.first()), qPrintable(answer));
        QCOMPARE(m_box->takeWrites(), QStringList());
        return;
    }
    QCOMPARE(answer, QStringLiteral("()"));
    QCOMPARE(m_box->takeWrites(), writes);
}

// Values come in batches by catalogue name, and the link as a property that says when it changes.
void tst_DBus::changesComeBatchedByName()
{
    const auto link = [this] {
        return gdbus({QStringLiteral("org.freedesktop.DBus.Properties.Get"), Iface, QStringLiteral("Link")});
    };
    QCOMPARE(link(), QStringLiteral("(<'waiting'>,)"));
    QSignalSpy got(m_subscriber.get(), &Subscriber::gotValues);
    // Thirty frames, each in a chunk of its own with the events between them handled, as on a
    // line: the first signal has the last of them, and the link is up, said once.
    m_box->receiveFrame(0x23, QByteArray::fromHex("0102080e0000"));
    for (int kmh = 1; kmh <= 30; ++kmh) {
        m_box->receive(speedFrame(kmh));
        QCoreApplication::processEvents();
    }
    QVERIFY(got.wait(2000));
    QCOMPARE(m_subscriber->batches.first().first.value(QStringLiteral("Vehicle.Speed")), QVariant(30.0));
    QCOMPARE(m_subscriber->properties, QList<QVariantMap>({{{QStringLiteral("Link"), QStringLiteral("up")}}}));
    QCOMPARE(link(), QStringLiteral("(<'up'>,)"));

    // Readings that went say so by name; a repeated frame says nothing.
    m_box->receive(speedFrame(30));
    m_box->receiveFrame(0x23, QByteArray::fromHex("0020ff1a0000"));
    QVERIFY(got.wait(2000));
    QCOMPARE(m_subscriber->batches.last().first,
             QVariantMap({{QStringLiteral("CanBox.Parking.Front.Right.Step"), 7}}));
    QCOMPARE(m_subscriber->batches.last().second,
             QStringList({QStringLiteral("CanBox.Parking.Front.Left.Step"),
                          QStringLiteral("CanBox.Parking.Front.MiddleLeft.Step"),
                          QStringLiteral("CanBox.Parking.Front.MiddleRight.Step")}));

    // The units by name: a trip value's once its reading says it, signalled with the values.
    const auto property = [this](const char *name) {
        return gdbus({QStringLiteral("org.freedesktop.DBus.Properties.Get"), Iface, QLatin1String(name)});
    };
    QVERIFY2(property("Units").contains(QLatin1String("'Vehicle.Speed': <'km/h'>"))
                     && !property("Units").contains(QLatin1String("CanBox.Trip.Distance1")),
             qPrintable(property("Units")));
    m_box->receiveFrame(0x50, QByteArray::fromHex("2000e1100000"));
    QVERIFY(got.wait(2000));
    QVERIFY2(property("Units").contains(QLatin1String("'CanBox.Trip.Distance1': <'km'>")), qPrintable(property("Units")));
    QTRY_COMPARE(qdbus_cast<QVariantMap>(m_subscriber->properties.last().value(QStringLiteral("Units")))
                         .value(QStringLiteral("CanBox.Trip.Distance1")),
                 QVariant(QStringLiteral("km")));
    // Within one batch the speed goes and comes back, and the trip distance's unit changes while
    // its figure stays: the batch has the trip distance alone, and the units say so.
    m_box->receive(speedFrame(31));
    m_box->receive(speedFrame(30));
    m_box->receiveFrame(0x50, QByteArray::fromHex("2001e1100000"));
    QVERIFY(got.wait(2000));
    QCOMPARE(m_subscriber->batches.last().first.keys(), QStringList{QStringLiteral("CanBox.Trip.Distance1")});
    QTRY_COMPARE(qdbus_cast<QVariantMap>(m_subscriber->properties.last().value(QStringLiteral("Units")))
                         .value(QStringLiteral("CanBox.Trip.Distance1")),
                 QVariant(QStringLiteral("mi")));
    QCOMPARE(property("Version"), QStringLiteral("(<'" CANSERVICE_TEST_VERSION "'>,)"));

    // The box gave no answer to three tries: the link is lost.
    canservice::Access::sendTimeoutCount(*m_box->service) = 3;
    canservice::Access::sendTimeout(*m_box->service);
    QCOMPARE(link(), QStringLiteral("(<'lost'>,)"));
}

// Each value in the type the interface gives its name, however round the number: whole numbers
// (engine speed among them) as int32, the others as double, flags as booleans, words as strings.
void tst_DBus::valuesGoOutTyped_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("shown"); // as gdbus shows it in GetValues
    QTest::addColumn<int>("type"); // as ValuesChanged brings it
    const QByteArray climate = QByteArray::fromHex("48232a0008002b05"); // fan 3, 21.0 and 21.5 °C
    QTest::newRow("engine speed") << 0x41 << QByteArray::fromHex("030bb8")
                                  << "'Vehicle.Powertrain.CombustionEngine.Speed': <3000>" << int(QMetaType::Int);
    QTest::newRow("speed") << 0xF6 << QByteArray::fromHex("040300") << "'Vehicle.Speed': <48.25>" << int(QMetaType::Double);
    QTest::newRow("fan level") << 0x29 << climate << "'CanBox.Climate.FanLevel': <3>" << int(QMetaType::Int);
    QTest::newRow("a whole temperature") << 0x29 << climate << "'Vehicle.Cabin.HVAC.Station.Row1.Driver.Temperature': <21.0>"
                                         << int(QMetaType::Double);
    QTest::newRow("a half degree") << 0x29 << climate << "'Vehicle.Cabin.HVAC.Station.Row1.Passenger.Temperature': <21.5>"
                                   << int(QMetaType::Double);
    QTest::newRow("a parking step") << 0x23 << QByteArray::fromHex("0020ff1a0000")
                                    << "'CanBox.Parking.Front.Right.Step': <7>" << int(QMetaType::Int);
    QTest::newRow("a door") << 0x24 << QByteArray::fromHex("4000000000")
                            << "'Vehicle.Cabin.Door.Row1.DriverSide.IsOpen': <true>" << int(QMetaType::Bool);
    QTest::newRow("a unit word") << 0x29 << climate << "'CanBox.Climate.DisplayUnit': <'°C'>" << int(QMetaType::QString);
}

void tst_DBus::valuesGoOutTyped()
{
    QFETCH(int, id);
    QFETCH(QByteArray, payload);
    QFETCH(QString, shown);
    QFETCH(int, type);
    QSignalSpy got(m_subscriber.get(), &Subscriber::gotValues);
    m_box->receiveFrame(id, payload);
    QVERIFY(got.wait(2000));
    const QVariant value = m_subscriber->batches.last().first.value(shown.section(QLatin1Char('\''), 1, 1));
    QVERIFY2(value.userType() == type, value.typeName());
    const QString values = gdbus({QStringLiteral("org.canservice.Vehicle1.GetValues")});
    QVERIFY2(values.contains(shown), qPrintable(values));
}

// The units introspection gives on GetValues and ValuesChanged are the Units property's: the same
// names (a trip value's once it has a reading), each unit one of those listed.
void tst_DBus::introspectionGivesThePropertysUnits()
{
    QSignalSpy got(m_subscriber.get(), &Subscriber::gotValues);
    m_box->receiveFrame(0x50, QByteArray::fromHex("2000e1100000")); // trip distance in km
    QVERIFY(got.wait(2000));
    // Asked without blocking: the service answers from this thread's event loop.
    const auto ask = [](const char *interface, const QString &method, const QVariantList &arguments = {}) {
        QDBusMessage message = QDBusMessage::createMethodCall(Iface, Path, QLatin1String(interface), method);
        message.setArguments(arguments);
        QDBusPendingCall call = QDBusConnection(QStringLiteral("client")).asyncCall(message);
        return QTest::qWaitFor([&] { return call.isFinished(); }, 5000) ? call.reply().arguments().value(0) : QVariant();
    };
    QStringList annotations;
    for (QXmlStreamReader reader(ask("org.freedesktop.DBus.Introspectable", QStringLiteral("Introspect")).toString());
         !reader.atEnd();)
        if (reader.readNext() == QXmlStreamReader::StartElement
            && reader.attributes().value(QLatin1String("name")) == QLatin1String("org.canservice.Vehicle1.Units"))
            annotations << reader.attributes().value(QLatin1String("value")).toString();
    QCOMPARE(annotations.size(), 2);
    QCOMPARE(annotations.first(), annotations.last());
    QMap<QString, QStringList> listed;
    for (const QString &unit : annotations.first().split(QLatin1Char(' ')))
        listed.insert(unit.section(QLatin1Char('='), 0, 0), unit.section(QLatin1Char('='), 1).split(QLatin1Char('|')));
    const QVariantMap units = qdbus_cast<QVariantMap>(
            ask("org.freedesktop.DBus.Properties", QStringLiteral("Get"), {QString::fromLatin1(Iface), QStringLiteral("Units")})
                    .value<QDBusVariant>()
                    .variant());
    QCOMPARE(units.value(QStringLiteral("CanBox.Trip.Distance1")), QVariant(QStringLiteral("km")));
    for (auto it = units.begin(); it != units.end(); ++it)
        QVERIFY2(listed.value(it.key()).contains(it.value().toString()), qPrintable(it.key()));
    for (const QString &name : listed.keys())
        QVERIFY2(units.contains(name) || name.startsWith(QLatin1String("CanBox.Trip.")), qPrintable(name));
}

// A command the car cannot get now fails and sends nothing: while the line is down, and beyond a
// second of the line's time queued, however fast the calls come.
void tst_DBus::aCommandThatCannotGoOutFails()
{
    m_vehicle->paceBy(&canservice::SimpleServiceTestAccess::serialPort(*m_box->service));
    m_box->takeWrites();
    m_vehicle->setLine(false, QStringLiteral("No such device"));
    const QString answer = gdbus({QStringLiteral("org.canservice.Vehicle1.SwitchUnit"), QStringLiteral("1")});
    QVERIFY2(answer.contains(QLatin1String(
                     "org.canservice.Vehicle1.Error.LineDown: the line to the box is down (No such device)")),
             qPrintable(answer));
    QCOMPARE(m_box->takeWrites(), QStringList());
    m_vehicle->setLine(true, QString());

    // Every call of a burst is sent before the first is answered. The second burst comes after
    // the line had time to send the first: idle time is not saved up for later.
    QDBusConnection client = QDBusConnection::connectToBus(m_address, QStringLiteral("client"));
    for (int round = 0; round < 2; ++round) {
        QTest::qWait(1200 * round);
        QList<QDBusPendingCall> calls;
        QElapsedTimer elapsed;
        elapsed.start();
        qint64 firstWrite = -1, lastWrite = -1;
        const QMetaObject::Connection writes = connect(
                &canservice::SimpleServiceTestAccess::serialPort(*m_box->service), &canservice::SerialPort::written, this,
                [&] { (firstWrite < 0 ? firstWrite : lastWrite) = elapsed.elapsed(); });
        const int burst = 2000;
        for (int i = 0; i < burst; ++i)
            calls << client.asyncCall(QDBusMessage::createMethodCall(Iface, Path, Iface, QStringLiteral("SwitchUnit")) << 1);
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(calls.begin(), calls.end(), [](const QDBusPendingCall &c) { return c.isFinished(); }),
                                 30000);
        disconnect(writes);
        const qint64 ms = qMax<qint64>(0, lastWrite - firstWrite);
        int taken = 0;
        int refused = 0;
        QString refusal;
        for (const QDBusPendingCall &call : calls) {
            taken += !call.isError();
            if (call.isError() && call.error().type() == QDBusError::LimitsExceeded)
                refused++, refusal = call.error().message();
        }
        QCOMPARE(taken + refused, burst);
        QVERIFY2(refusal.contains(QRegularExpression(QStringLiteral(
                         "^the line has 10[0-9][0-9] ms of writes queued, more than 1000 ms: nothing was sent; try again in [0-9]+ ms$"))),
                 qPrintable(refusal));
        // Six bytes a command, each 1.5625 ms of the line: what one second carries and what the line
        // sent between the first write and the last.
        QCOMPARE(m_box->takeWrites().size(), taken);
        QVERIFY2(refused > 0 && taken * 6 <= (1003 + ms) * 3840 / 1000 + 6 && taken * 6 >= 3840,
                 qPrintable(QStringLiteral("%1 taken, %2 refused in %3 ms").arg(taken).arg(refused).arg(ms)));
        QVERIFY2(m_vehicle->queuedMs() <= 1002, qPrintable(QString::number(m_vehicle->queuedMs())));
    }
}

QTEST_GUILESS_MAIN(tst_DBus)
#include "tst_dbus.moc"
