#include "commands.h"

#include "mqttoptions.h"

#include "boxline.h"
#include "boxsimulator.h"
#include "canservicebase.h"
#include "exitcodes.h"
#include "options.h"
#include "simoptions.h"
#include "sessionmodel.h"
#include "vehicleservice.h"

#include <QCoreApplication>
#include <QTimer>

#include <memory>

namespace tool {

namespace {
const int HealthMs = 1000;

void say(const QString &text)
{
    tool::out() << text << '\n';
    tool::out().flush();
}
} // namespace

int serve(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Publishes the vehicle on D-Bus as org.canservice.Vehicle1 (object "
            "/org/canservice/Vehicle1): every catalogue value, the link, the line and its health, "
            "and methods for the plugin's commands. Runs until Ctrl-C or SIGTERM; systemd starts it "
            "as canservice.service. The interface is share/dbus-1/interfaces/org.canservice.Vehicle1.xml."));
    parser.addOption({QStringLiteral("bus"), QStringLiteral("The bus: system (the default) or session."),
                      QStringLiteral("bus"), QStringLiteral("system")});
    parser.addOption({QStringLiteral("sim"),
                      QStringLiteral("The simulated box on a new pseudo-terminal instead of DEVICE; "
                                     "what the head unit sends it is printed (box <- ...).")});
    parser.addOption({QStringLiteral("scenario"),
                      QStringLiteral("With --sim: a JSON timeline instead of the built-in drive."),
                      QStringLiteral("file")});
    parser.addOption(pluginOption());
    parser.addOption({QStringLiteral("verbose"),
                      QStringLiteral("Also show the plugin's own log lines, on standard error.")});
    addMqttOptions(parser);
    parser.addPositionalArgument(QStringLiteral("DEVICE"),
                                 QStringLiteral("The box's serial device (default /dev/canbox, the udev link)."),
                                 QStringLiteral("[DEVICE]"));
    if (const int exit = parseArguments(parser, arguments, -1, QString()); exit >= 0)
        return exit;
    const QString busName = parser.value(QStringLiteral("bus"));
    const bool sim = parser.isSet(QStringLiteral("sim"));
    if ((busName != QLatin1String("system") && busName != QLatin1String("session"))
        || parser.positionalArguments().size() > 1 || (sim && !parser.positionalArguments().isEmpty())
        || (!sim && parser.isSet(QStringLiteral("scenario")))) {
        tool::err() << "canservice serve: takes DEVICE or --sim [--scenario FILE], and --bus system "
                       "or session; see --help\n";
        return exitcode::Usage;
    }

    MqttPublisher::Options mqtt;
    bool publish = false;
    if (const int exit = chooseMqtt(parser, arguments.at(0), &mqtt, &publish); exit >= 0)
        return exit;
    std::unique_ptr<BoxLine> boxLine;
    std::unique_ptr<BoxSimulator> box;
    QString device = parser.positionalArguments().value(0, QStringLiteral("/dev/canbox"));
    if (sim) {
        if (const int exit = startSimulatedBox(parser, &boxLine, &box); exit >= 0)
            return exit;
        QObject::connect(box.get(), &BoxSimulator::report, &say);
        device = boxLine->deviceName();
    }

    SessionOptions options = sessionOptions(parser);
    options.printer.source = device;
    options.printer.quiet = options.printer.healthWhenQuiet = true;
    Session session(options);
    if (const Failure failure = session.load(device); failure != Failure::None)
        return exitcode::of(failure);

    if (publish)
        if (const int exit = attachMqtt(mqtt, session, true, -1); exit >= 0)
            return exit;
    VehicleService vehicle(session.service(), session.model()->vehicle());
    vehicle.paceBy(session.port());
    QString error;
    if (!vehicle.publish(busName == QLatin1String("system") ? QDBusConnection::SystemBus
                                                            : QDBusConnection::SessionBus,
                         &error)) {
        tool::err() << "canservice: " << error << '\n';
        return exitcode::Failure;
    }
    say(QStringLiteral("serving %1 on the %2 bus; the box on %3")
                .arg(QLatin1String(VehicleService::ServiceName), busName, device));
    QObject::connect(&vehicle, &VehicleService::busLost, [] { say(QStringLiteral("the bus went away")); });
    QObject::connect(&vehicle, &VehicleService::busBack, [] { say(QStringLiteral("back on the bus")); });
    // A bus that does not come back ends the run: systemd starts the service again, and a
    // session's service ends with its session.
    bool busGone = false;
    QObject::connect(&vehicle, &VehicleService::busGone, &session, [&session, &busGone] {
        tool::err() << "canservice: the bus did not come back; stopping\n";
        busGone = true;
        session.finish(false);
    });
    QObject::connect(session.model(), &SessionModel::lineStateChanged, &vehicle, [&vehicle](bool up, const QString &reason) {
        vehicle.setLine(up, reason);
        say(up ? QStringLiteral("line up") : QStringLiteral("line down: ") + reason);
    });
    // The plugin says "up" with every frame; the journal hears of changes.
    QObject::connect(session.model(), &SessionModel::linkChanged, &vehicle,
                     [&session] { say(QStringLiteral("link ") + session.model()->linkText()); });
    QTimer health;
    QObject::connect(&health, &QTimer::timeout, &vehicle, [&session, &vehicle] {
        vehicle.setHealth(session.model()->health().toJson());
    });
    health.start(HealthMs);

    session.finishOnInterrupt(false);
    session.start();
    if (box)
        box->begin();
    QCoreApplication::exec();
    return busGone ? exitcode::Failure : exitcode::ofEnd(session);
}

} // namespace tool
