#include "commands.h"

#include "boxline.h"
#include "boxsimulator.h"
#include "dashboardmodel.h"
#include "exitcodes.h"
#include "mqttoptions.h"
#include "options.h"
#include "simoptions.h"
#include "sessionmodel.h"
#include "replayer.h"
#include "screenshot.h"
#include "sourcethread.h"
#include "virtualserialline.h"

#include "interrupt.h"

#include <QGuiApplication>
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QTimer>

#include <cmath>
#include <memory>

// The QML is compiled into a static library, whose resources need a nudge.
static void initResources()
{
    Q_INIT_RESOURCE(dashboard);
}

namespace tool {

namespace {
// A car on an MQTT broker on the screen, as its messages under PREFIX/ID/ tell it: its values,
// its health and link, whether it is online. Nothing reaches the car from here.
int fromBroker(const QCommandLineParser &parser, const QString &command, int width, int height, const QString &page,
               double at, const AtInstant &take, bool atInstant)
{
    MqttLink::Settings settings;
    if (const int exit = chooseMqttLink(parser, command, parser.value(QStringLiteral("from-mqtt")),
                                        QStringLiteral("--from-mqtt"), &settings);
        exit >= 0)
        return exit;
    const QString id = parser.value(QStringLiteral("vehicle-id")), prefix = parser.value(QStringLiteral("mqtt-prefix"));
    if (!isTopicLevel(id) || !isTopicLevel(prefix)) {
        tool::err() << command << ": --from-mqtt needs --vehicle-id ID, and ID and --mqtt-prefix are one topic "
                                  "level each; see --help\n";
        return exitcode::Usage;
    }
    const QByteArray base = (prefix + QLatin1Char('/') + id + QLatin1Char('/')).toUtf8();
    settings.clientId = QStringLiteral("canservice-dashboard-%1-%2").arg(id).arg(QCoreApplication::applicationPid());
    settings.subscriptions = {base + '#'};
    DashboardModel model(nullptr, parser.value(QStringLiteral("from-mqtt")) + QLatin1Char(' ') + id);
    MqttLink link(settings);
    // What the broker says is taken as data: a message that does not read, or a name the catalogue
    // does not have, is left out.
    QObject::connect(&link, &MqttLink::message, &model, [&model, base](const QByteArray &topic, const QByteArray &payload) {
        if (!topic.startsWith(base))
            return;
        const QString rest = QString::fromUtf8(topic.mid(base.size()));
        if (rest == QLatin1String("online")) {
            if (payload == "false")
                model.setRemoteLink(QStringLiteral("car offline"));
            return;
        }
        const QJsonObject message = QJsonDocument::fromJson(payload).object();
        if (rest == QLatin1String("health")) {
            model.setHealth(message.toVariantMap());
            if (message.value(QLatin1String("link")).isString())
                model.setRemoteLink(message.value(QLatin1String("link")).toString());
            return;
        }
        if (!message.contains(QLatin1String("value")))
            return;
        const QJsonValue value = message.value(QLatin1String("value"));
        model.setRemoteValue(QString(rest).replace(QLatin1Char('/'), QLatin1Char('.')),
                             value.isNull() ? QVariant() : value.toVariant(),
                             message.value(QLatin1String("unit")).toString());
    });
    int result = exitcode::Ok;
    QObject::connect(&link, &MqttLink::refused, [&result](MqttLink::Refusal refusal, const QString &why) {
        tool::err() << "canservice: the MQTT broker refused " << (refusal == MqttLink::Refusal::Login ? "the login" : "the TLS handshake")
                    << " (" << why << ")\n";
        result = refusal == MqttLink::Refusal::Login ? exitcode::MqttRefused : exitcode::MqttCertificate;
        QCoreApplication::quit();
    });
    QQmlApplicationEngine engine;
    QQuickWindow *window = loadWindow(engine, model, width, height, page);
    if (!window)
        return exitcode::Failure;
    QString error;
    if (!link.start(&error)) {
        tool::err() << "canservice: " << error << '\n';
        return exitcode::Failure;
    }
    if (atInstant)
        QTimer::singleShot(int(at * 1000), window, [&] {
            result = take(window);
            QCoreApplication::quit();
        });
    Interrupt interrupt;
    bool interrupted = false;
    QObject::connect(&interrupt, &Interrupt::requested, [&interrupted] {
        interrupted = true;
        QCoreApplication::quit();
    });
    QObject::connect(window, &QWindow::visibleChanged, [](bool visible) {
        if (!visible)
            QCoreApplication::quit();
    });
    QCoreApplication::exec();
    link.stop();
    return interrupted ? exitcode::Interrupted : result;
}
} // namespace

int dashboard(const QStringList &arguments)
{
    initResources();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Shows the vehicle as a head unit would, in a Qt Quick window: a real box on DEVICE, "
            "the simulated box (the default, with the built-in drive) or a capture."));
    addPluginOptions(parser);
    parser.addOption({QStringLiteral("sim"), QStringLiteral("The simulated box on a new pseudo-terminal (the default).")});
    parser.addOption({QStringLiteral("scenario"), QStringLiteral("With --sim: a JSON timeline instead of the built-in drive."),
                      QStringLiteral("file")});
    parser.addOption({QStringLiteral("replay"), QStringLiteral("Replay a capture at its own times."),
                      QStringLiteral("file")});
    parser.addOption({QStringLiteral("screenshot"),
                      QStringLiteral("Run the source for --at seconds, write the window as a PNG to FILE and exit."),
                      QStringLiteral("file")});
    parser.addOption({QStringLiteral("at"),
                      QStringLiteral("Seconds before the screenshot (default 5): on a replay the capture's "
                                     "time, on the simulated box its drive's, exactly; on a DEVICE, from the "
                                     "window's first frame."),
                      QStringLiteral("seconds"), QStringLiteral("5")});
    parser.addOption({QStringLiteral("size"), QStringLiteral("The window's size (default 1280x720)."),
                      QStringLiteral("WxH"), QStringLiteral("1280x720")});
    parser.addOption({QStringLiteral("page"), QStringLiteral("The page shown first: drive (the default) or diagnostics."),
                      QStringLiteral("page"), QStringLiteral("drive")});
    parser.addOption({QStringLiteral("check-layout"),
                      QStringLiteral("Run the source for --at seconds, check both pages at --size (text size, "
                                     "text cut off or overlapping, panels overlapping or too empty), print each "
                                     "fault and exit: 15 when there is one.")});
    addMqttOptions(parser);
    parser.addOption({QStringLiteral("from-mqtt"),
                      QStringLiteral("Show the car --vehicle-id from an MQTT broker (mqtt://[USER@]HOST[:PORT] or "
                                     "mqtts://), as its --mqtt publishes it; the TLS and password options as for --mqtt."),
                      QStringLiteral("URL")});
    parser.addPositionalArgument(QStringLiteral("DEVICE"), QStringLiteral("A real box's serial device."),
                                 QStringLiteral("[DEVICE]"));
    if (const int exit = parseArguments(parser, arguments, -1, QString()); exit >= 0)
        return exit;
    const QStringList devices = parser.positionalArguments();
    const int sources = int(!devices.isEmpty()) + int(parser.isSet(QStringLiteral("sim")))
            + int(parser.isSet(QStringLiteral("replay"))) + int(parser.isSet(QStringLiteral("from-mqtt")));
    double at = 0;
    const QStringList size = parser.value(QStringLiteral("size")).split(QLatin1Char('x'));
    const int width = size.value(0).toInt(), height = size.value(1).toInt();
    const QString page = parser.value(QStringLiteral("page"));
    if (devices.size() > 1 || sources > 1 || !parseNumber(parser.value(QStringLiteral("at")), 0, 3600, &at)
        || size.size() != 2 || width < 320 || height < 240 || width > 7680 || height > 4320
        || (page != QLatin1String("drive") && page != QLatin1String("diagnostics"))) {
        tool::err() << "canservice dashboard: takes one source (DEVICE, --sim, --replay FILE or --from-mqtt URL), --at "
                       "from 0 to 3600 seconds, --size WxH from 320x240 and --page drive or diagnostics; "
                       "see --help\n";
        return exitcode::Usage;
    }
    MqttPublisher::Options mqtt;
    bool publish = false;
    if (const int exit = chooseMqtt(parser, arguments.at(0), &mqtt, &publish); exit >= 0)
        return exit;
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        tool::err() << "canservice: the dashboard needs a display; without one (a server, CI) run it "
                       "under xvfb-run -a (Debian packages xvfb, xauth, libgl1-mesa-dri).\n";
        return exitcode::NoDisplay;
    }

    SessionOptions options = sessionOptions(parser);
    options.printer.quiet = true;
    std::unique_ptr<BoxLine> boxLine;
    std::unique_ptr<BoxSimulator> box;
    std::unique_ptr<QFile> capture;
    std::unique_ptr<CaptureReader> reader;
    std::unique_ptr<Replayer> replayer;
    QString device;
    const QString file = parser.value(QStringLiteral("screenshot"));
    const bool check = parser.isSet(QStringLiteral("check-layout"));
    // At the instant: the layout checked, then the picture taken.
    const AtInstant take = [file, check](QQuickWindow *window) {
        const int checked = check ? checkLayout(window) : exitcode::Ok;
        const int written = file.isEmpty() ? exitcode::Ok : writeScreenshot(window, file);
        return written != exitcode::Ok ? written : checked;
    };
    const bool atInstant = check || !file.isEmpty();
    if (atInstant && publish) {
        tool::err() << "canservice dashboard: --mqtt publishes a running dashboard's vehicle, not a "
                       "screenshot's or a layout check's\n";
        return exitcode::Usage;
    }
    // Qt Quick's distance-field glyphs differ by a few pixels from run to run; native glyphs make
    // a screenshot the same picture, byte for byte, in every run.
    if (atInstant)
        qputenv("QML_DISABLE_DISTANCEFIELD", "1");
    if (parser.isSet(QStringLiteral("from-mqtt"))) {
        if (publish) {
            tool::err() << "canservice dashboard: shows a car from the broker (--from-mqtt) or publishes its own "
                           "(--mqtt), not both\n";
            return exitcode::Usage;
        }
        return fromBroker(parser, arguments.at(0), width, height, page, at, take, atInstant);
    }
    if (!devices.isEmpty()) {
        device = devices.first();
        options.printer.source = device;
    } else if (parser.isSet(QStringLiteral("replay"))) {
        const QString name = parser.value(QStringLiteral("replay"));
        capture = std::make_unique<QFile>();
        QString error;
        if (!openCapture(name, *capture, reader, &error)) {
            tool::err() << "canservice: " << error << '\n';
            return exitcode::CannotRead;
        }
        device = QStringLiteral("virtual:dashboard");
        options.printer.source = name;
    } else if (atInstant) {
        // The simulated box's screenshot: its drive on the capture clock too, on a line inside
        // the process.
        Scenario scenario;
        int exit = exitcode::Ok;
        if (!loadScenario(parser, &scenario, &exit))
            return exit;
        options.printer.source = scenario.name;
        SourceThread drive(options, scenario, std::llround(at * 1000));
        return heldScreenshot(drive, options, true, take, width, height, page);
    } else {
        if (const int exit = startSimulatedBox(parser, &boxLine, &box, &options.printer.source); exit >= 0)
            return exit;
        device = boxLine->deviceName();
    }
    if (reader && atInstant) {
        SourceThread replay(options, *capture, *reader, std::llround(at * 1000));
        return heldScreenshot(replay, options, false, take, width, height, page);
    }

    Session session(options);
    if (const Failure failure = session.load(device); failure != Failure::None)
        return exitcode::of(failure);
    // On the screen and on the broker.
    if (publish)
        if (const int exit = attachMqtt(mqtt, session, !reader,
                                        reader && reader->startEpochUs() > 0 ? reader->startEpochUs() / 1000 : -1); exit >= 0)
            return exit;
    DashboardModel model(session.service(), options.printer.source);
    QObject::connect(session.model(), &SessionModel::lineStateChanged, &model, &DashboardModel::setLine);
    QObject::connect(session.model(), &SessionModel::frameAccepted, &model, &DashboardModel::frameAccepted);
    if (reader)
        model.setNoAnswer(QStringLiteral("a replay: no box on the line to answer"));
    QTimer health;
    const auto showHealth = [&] {
        model.setHealth(session.model()->health().toJson().toVariantMap());
    };
    QObject::connect(&health, &QTimer::timeout, &model, showHealth);

    QQmlApplicationEngine engine;
    QQuickWindow *window = loadWindow(engine, model, width, height, page);
    if (!window)
        return exitcode::Failure;

    int result = exitcode::Ok;
    const auto takeScreenshot = [&] {
        // The health of this instant, not of the last half-second tick.
        showHealth();
        result = take(window);
        session.finish(false);
    };
    // Nothing runs before the window shows its first frame: --at then counts from the box's start
    // whatever the display's start took, and no screenshot is asked of a window that has not drawn.
    auto begin = [&] {
        showHealth();
        health.start(500);
        if (reader) {
            replayer = std::make_unique<Replayer>(
                    *capture, *reader, session.port()->virtualLine());
            // The capture's end leaves the last state on the screen.
            replayer->finished = [] {};
            replayer->start();
        } else {
            session.start();
            if (box)
                box->begin();
        }
        if (atInstant)
            QTimer::singleShot(int(at * 1000), Qt::PreciseTimer, window, takeScreenshot);
    };
    onFirstFrame(window, begin);
    session.finishOnInterrupt(false);
    // Closing the window ends the run like Ctrl-C, with the summary.
    QObject::connect(window, &QWindow::visibleChanged, [&](bool visible) {
        if (!visible)
            session.finish(false);
    });
    QCoreApplication::exec();
    return session.interrupted() || session.outputLost() ? exitcode::ofEnd(session) : result;
}

} // namespace tool
