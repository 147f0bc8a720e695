#include "boxline.h"
#include "boxsimulator.h"
#include "canservicebase.h"
#include "capture.h"
#include "configmanager.h"
#include "eventprinter.h"
#include "exitcodes.h"
#include "interrupt.h"
#include "pluginhost.h"
#include "serialport.h"
#include "serialtap.h"
#include "tool.h"
#include "virtualserialline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>

namespace {
const int NoDataWarningMs = 5000;
LinkHealth *g_health = nullptr;
bool g_verbose = false;
QtMessageHandler g_previousHandler = nullptr;

void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // The host's own line messages are shown as events by the printer.
    if (qstrcmp(context.category, "canservice.serial") == 0 && !g_verbose)
        return;
    const bool fromPlugin = qstrcmp(context.file, "simpleservice") == 0;
    if (fromPlugin) {
        if (g_health && message.contains(QLatin1String(" -- parse out!!!")))
            ++g_health->receiveTimeouts;
        if (!g_verbose)
            return;
    }
    tool::err() << message << '\n';
    tool::err().flush();
    Q_UNUSED(type)
}

// The options every command that loads the plugin has.
void addPluginOptions(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("plugin"),
                      QStringLiteral("The CAN service plugin to load (default: the one built "
                                     "next to this tool, or $CANSERVICE_PLUGIN)."),
                      QStringLiteral("path")});
    parser.addOption({QStringLiteral("json"),
                      QStringLiteral("One JSON object per line: time, signal, and the state read "
                                     "back through the getters.")});
    parser.addOption({QStringLiteral("verbose"),
                      QStringLiteral("Also show the plugin's own log lines, on standard error.")});
}

// Parses or says why not; returns -1 when the command should go on.
int parseArguments(QCommandLineParser &parser, const QStringList &arguments, int positionals,
                   const QString &positionalName)
{
    parser.addHelpOption();
    if (!parser.parse(arguments)) {
        tool::err() << arguments.at(0) << ": " << parser.errorText() << '\n';
        return exitcode::Usage;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        // The usage line names the command, not the path the tool was started by.
        QString help = parser.helpText();
        help.replace(0, help.indexOf(QLatin1Char('[')), QStringLiteral("Usage: %1 ").arg(arguments.at(0)));
        tool::out() << help;
        return exitcode::Ok;
    }
    if (positionals >= 0 && parser.positionalArguments().size() != positionals) {
        tool::err() << arguments.at(0) << ": expects " << positionalName << "; see --help\n";
        return exitcode::Usage;
    }
    return -1;
}

CanServiceBase *loadService(PluginHost &host, const QCommandLineParser &parser, int *exit)
{
    const QString path = parser.isSet(QStringLiteral("plugin"))
            ? parser.value(QStringLiteral("plugin"))
            : PluginHost::defaultPluginPath();
    CanServiceBase *service = host.load(path);
    if (!service) {
        tool::err() << "canservice: " << host.error() << '\n';
        *exit = host.exitCode();
    }
    return service;
}

bool parseFaults(const QCommandLineParser &parser, FaultOptions *faults, QString *error)
{
    bool ok = true;
    if (parser.isSet(QStringLiteral("corrupt"))) {
        faults->corruptRate = parser.value(QStringLiteral("corrupt")).toDouble(&ok);
        if (!ok || faults->corruptRate < 0 || faults->corruptRate > 1) {
            *error = QStringLiteral("--corrupt takes a share between 0 and 1.");
            return false;
        }
    }
    if (parser.isSet(QStringLiteral("noise"))) {
        faults->noiseRate = parser.value(QStringLiteral("noise")).toDouble(&ok);
        if (!ok || faults->noiseRate < 0 || faults->noiseRate > 1) {
            *error = QStringLiteral("--noise takes a share between 0 and 1.");
            return false;
        }
    }
    faults->splitChunks = parser.isSet(QStringLiteral("split"));
    if (parser.isSet(QStringLiteral("seed"))) {
        faults->seed = parser.value(QStringLiteral("seed")).toUInt(&ok);
        if (!ok) {
            *error = QStringLiteral("--seed takes a whole number.");
            return false;
        }
    }
    for (const QString &silence : parser.values(QStringLiteral("silence"))) {
        const QStringList parts = silence.split(QLatin1Char(':'));
        bool okAt = false, okFor = false;
        const double at = parts.value(0).toDouble(&okAt);
        const double seconds = parts.value(1).toDouble(&okFor);
        if (parts.size() != 2 || !okAt || !okFor || at < 0 || seconds <= 0) {
            *error = QStringLiteral("--silence takes AT:SECONDS, for example 5:35.");
            return false;
        }
        faults->silences.append({at, seconds});
    }
    return true;
}

void addFaultOptions(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("scenario"),
                      QStringLiteral("A JSON timeline of vehicle changes (default: the built-in "
                                     "drive). See the README for the format."),
                      QStringLiteral("file")});
    parser.addOption({QStringLiteral("silence"),
                      QStringLiteral("Fall silent AT seconds after the start, for SECONDS "
                                     "(a link loss needs more than 31). May be repeated."),
                      QStringLiteral("at:seconds")});
    parser.addOption({QStringLiteral("corrupt"),
                      QStringLiteral("Send this share (0 to 1) of frames with a wrong checksum."),
                      QStringLiteral("share")});
    parser.addOption({QStringLiteral("noise"),
                      QStringLiteral("Put noise bytes before this share (0 to 1) of frames."),
                      QStringLiteral("share")});
    parser.addOption({QStringLiteral("split"),
                      QStringLiteral("Cut what the box sends into random pieces.")});
    parser.addOption({QStringLiteral("seed"),
                      QStringLiteral("Seed of the fault generator, for a run that repeats."),
                      QStringLiteral("n")});
}

bool loadScenario(const QCommandLineParser &parser, Scenario *scenario, int *exit)
{
    if (!parser.isSet(QStringLiteral("scenario"))) {
        *scenario = Scenario::builtInDrive();
        return true;
    }
    const QString path = parser.value(QStringLiteral("scenario"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        tool::err() << "canservice: cannot read the scenario " << path << ": "
                    << file.errorString() << '\n';
        *exit = exitcode::BadScenario;
        return false;
    }
    QString error;
    if (!scenario->parse(file.readAll(), path, &error)) {
        tool::err() << "canservice: " << error << '\n';
        *exit = exitcode::BadScenario;
        return false;
    }
    return true;
}

void printHealth(LinkHealth &health, const EventPrinter &printer, bool json)
{
    health.linkLosses = printer.linkLosses();
    if (json) {
        const QJsonObject h{{"framesAccepted", health.framesAccepted},
                            {"checksumErrors", health.checksumErrors},
                            {"receiveTimeouts", health.receiveTimeouts},
                            {"linkLosses", health.linkLosses},
                            {"lineLosses", health.lineLosses},
                            {"droppedWrites", health.droppedWrites}};
        tool::out() << QJsonDocument(QJsonObject{{"health", h}}).toJson(QJsonDocument::Compact)
                    << '\n';
    } else {
        tool::out() << "\nLink health: " << health.text() << '\n';
    }
    tool::out().flush();
}

// What every command that runs the plugin shares: its log lines kept aside (and counted), the
// acknowledgements counted, the line chosen, the plugin loaded, and the printer of its events.
class Session
{
public:
    explicit Session(const QCommandLineParser &parser)
        : json(parser.isSet(QStringLiteral("json"))), m_parser(parser)
    {
        tool::installLogHandler(parser.isSet(QStringLiteral("verbose")), &health);
        tool::countAcknowledgements(&health);
        watchLine();
    }
    ~Session()
    {
        printer.reset();
        delete service;
    }

    // Loads the plugin on the device; -1 when it is ready, else the exit code, already explained.
    int load(const QString &device)
    {
        m_device = device;
        canservice::ConfigManager::instance()->setSerialDevice(device);
        int exit = exitcode::Ok;
        service = loadService(host, m_parser, &exit);
        if (!service)
            return exit;
        // The plugin opened its line while it was made: a device it could not open ends here.
        if (m_lineError != canservice::SerialPort::NoError) {
            tool::err() << "canservice: " << describeDeviceError(device, m_lineError, m_lineReason, &exit)
                        << '\n';
            return exit;
        }
        printer = std::make_unique<EventPrinter>(service, tool::out(), json);
        return -1;
    }

    void start()
    {
        service->start();
        m_started = true;
    }

    // Stops the service if it was started, prints what is asked and leaves the event loop.
    void finish(bool withSummary)
    {
        if (m_started)
            service->stop();
        if (withSummary)
            printer->printSummary();
        printHealth(health, *printer, json);
        QCoreApplication::quit();
    }

    const bool json;
    LinkHealth health;
    PluginHost host;
    CanServiceBase *service = nullptr;
    std::unique_ptr<EventPrinter> printer;

private:
    // What the host's serial line says of the plugin's device: its errors, its going down and
    // coming back, the writes it dropped meanwhile, and every byte it brought.
    void watchLine()
    {
        using canservice::SerialPort;
        using canservice::SerialTap;
        SerialTap *tap = SerialTap::instance();
        QObject::connect(tap, &SerialTap::errorOccurred, &m_context,
                         [this](const QString &device, SerialPort::Error error, const QString &reason) {
                             if (device != m_device)
                                 return;
                             m_lineError = error;
                             m_lineReason = reason;
                         });
        QObject::connect(tap, &SerialTap::lineStateChanged, &m_context,
                         [this](const QString &device, bool up) {
                             if (device != m_device)
                                 return;
                             if (!up)
                                 ++health.lineLosses;
                             if (printer)
                                 printer->lineChanged(up, m_lineReason);
                         });
        QObject::connect(tap, &SerialTap::dropped, &m_context,
                         [this](const QString &device, const QByteArray &) {
                             if (device == m_device)
                                 ++health.droppedWrites;
                         });
        QObject::connect(tap, &SerialTap::received, &m_context,
                         [this](const QString &device, const QByteArray &chunk) {
                             if (device == m_device)
                                 health.bytesReceived += chunk.size();
                         });
    }

    const QCommandLineParser &m_parser;
    QObject m_context;
    QString m_device;
    canservice::SerialPort::Error m_lineError = canservice::SerialPort::NoError;
    QString m_lineReason;
    bool m_started = false;
};
} // namespace

QString LinkHealth::text() const
{
    return QStringLiteral("frames accepted %1, checksum errors %2, receive time-outs %3, "
                          "link losses %4, line losses %5, dropped writes %6")
            .arg(framesAccepted)
            .arg(checksumErrors)
            .arg(receiveTimeouts)
            .arg(linkLosses)
            .arg(lineLosses)
            .arg(droppedWrites);
}

namespace tool {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

void installLogHandler(bool verbose, LinkHealth *health)
{
    g_verbose = verbose;
    g_health = health;
    g_previousHandler = qInstallMessageHandler(messageHandler);
}

void countAcknowledgements(LinkHealth *health)
{
    QObject::connect(canservice::SerialTap::instance(), &canservice::SerialTap::written,
                     [health](const QString &, const QByteArray &bytes, bool) {
                         if (bytes.size() != 1)
                             return;
                         if (bytes.at(0) == '\xff')
                             ++health->framesAccepted;
                         else if (bytes.at(0) == '\xf0')
                             ++health->checksumErrors;
                     });
}

int demo(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Runs a simulated CAN box on a pseudo-terminal and the plugin against it through a "
            "real serial line, plays a 20-second drive with the head unit's commands, and prints "
            "every event and the final vehicle state."));
    addPluginOptions(parser);
    if (const int exit = parseArguments(parser, arguments, 0, QString()); exit >= 0)
        return exit;

    Session session(parser);
    QString error;
    std::unique_ptr<BoxLine> line(BoxLine::createPty(&error));
    if (!line) {
        err() << "canservice: " << error << '\n';
        return exitcode::NoPseudoTerminal;
    }
    BoxSimulator box(line.get(), Scenario::builtInDrive(), FaultOptions());
    if (const int exit = session.load(line->deviceName()); exit >= 0)
        return exit;
    CanServiceBase *service = session.service;
    EventPrinter &printer = *session.printer;
    QObject::connect(&box, &BoxSimulator::report, &printer, &EventPrinter::note);
    printer.note(QStringLiteral("simulated box on %1, plugin %2")
                         .arg(line->deviceName(), session.host.fileName()));

    // What the head unit does during the drive, at seconds from the start.
    const auto at = [&](double seconds, const QString &what, std::function<void()> action) {
        QTimer::singleShot(int(seconds * 1000), Qt::PreciseTimer, &printer, [&printer, what, action] {
            printer.note(QStringLiteral("head unit -> %1").arg(what));
            action();
        });
    };
    at(10.3, QStringLiteral("climate key temperature up"), [service] { service->sendAcKey(19, 0); });
    at(12.2, QStringLiteral("climate key temperature up"), [service] { service->sendAcKey(19, 0); });
    at(17.5, QStringLiteral("unit command: distance"), [service] { service->setUnitCmd(1); });
    at(18.6, QStringLiteral("radio source FM1 87.5 MHz with track texts"), [service] {
        service->onRadioSourceInformation(QStringLiteral("FM1"),
                                          {QStringLiteral("87.5 MHz"), QStringLiteral("Night Drive")}, 0);
    });
    at(19.2, QStringLiteral("GPS time"), [service, &printer] {
        const QDateTime now = QDateTime::currentDateTime();
        GPSTime time;
        time.year = quint16(now.date().year());
        time.month = quint8(now.date().month());
        time.day = quint8(now.date().day());
        time.hour = quint8(now.time().hour());
        time.minute = quint8(now.time().minute());
        const GPSTimePacket packet = service->GPSTimeSend(time);
        printer.note(QStringLiteral("GPS time for the box: year %1, %2:%3 (12-hour), packet header 0x%4")
                             .arg(time.year)
                             .arg(time.hour)
                             .arg(time.minute, 2, 10, QLatin1Char('0'))
                             .arg(packet.header, 2, 16, QLatin1Char('0')));
    });

    QTimer::singleShot(21000, Qt::PreciseTimer, &printer, [&session] { session.finish(true); });

    session.start();
    box.begin();
    return QCoreApplication::exec();
}

int monitor(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Watches a real CAN box on DEVICE (/dev/ttyUSB0, /dev/ttyS1 or a pseudo-terminal): "
            "starts the plugin and prints what it decodes and the link's changes until Ctrl-C, "
            "then the link's health."));
    addPluginOptions(parser);
    parser.addOption({QStringLiteral("record"),
                      QStringLiteral("Also write every received chunk with its time to FILE, in the "
                                     "capture format that replay reads."),
                      QStringLiteral("file")});
    parser.addPositionalArgument(QStringLiteral("DEVICE"), QStringLiteral("The serial device."));
    if (const int exit = parseArguments(parser, arguments, 1, QStringLiteral("one DEVICE"));
        exit >= 0)
        return exit;
    const QString device = parser.positionalArguments().at(0);

    QFile record;
    QElapsedTimer clock;
    if (parser.isSet(QStringLiteral("record"))) {
        record.setFileName(parser.value(QStringLiteral("record")));
        if (!record.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            err() << "canservice: cannot write the capture " << record.fileName() << ": "
                  << record.errorString() << '\n';
            return exitcode::CannotWrite;
        }
        record.write(Capture::header());
        QObject::connect(canservice::SerialTap::instance(), &canservice::SerialTap::received,
                         [&record, &clock](const QString &, const QByteArray &chunk) {
                             record.write(Capture::formatLine(clock.elapsed() / 1000.0, chunk).toLatin1());
                             record.flush();
                         });
    }

    Session session(parser);
    if (const int exit = session.load(device); exit >= 0)
        return exit;
    if (!session.json)
        session.printer->note(QStringLiteral("watching %1; Ctrl-C ends").arg(device));

    // A box that sends nothing is the first thing an installer meets: say what to check, once.
    QTimer::singleShot(NoDataWarningMs, session.printer.get(), [&session, device] {
        if (session.health.bytesReceived == 0)
            session.printer->note(QStringLiteral(
                    "nothing received from %1 in %2 seconds: check that it is the CAN box's line, "
                    "the wiring (the box's TX to the adapter's RX, and ground) and that the line "
                    "runs at 38400 8N1")
                                          .arg(device)
                                          .arg(NoDataWarningMs / 1000));
    });

    Interrupt interrupt;
    QObject::connect(&interrupt, &Interrupt::requested, [&session] { session.finish(false); });
    clock.start();
    session.start();
    QCoreApplication::exec();
    if (session.health.bytesReceived == 0) {
        err() << "canservice: the CAN box sent nothing on " << device << ".\n";
        return exitcode::NoDataFromBox;
    }
    return exitcode::Ok;
}

int replay(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Decodes a capture of what a CAN box sent, through the plugin on an in-process line: "
            "raw binary, or hex text with optional times (seconds, with a decimal point) at the "
            "start of each line, which then set the chunks and the gaps between them."));
    addPluginOptions(parser);
    parser.addOption({QStringLiteral("no-wait"),
                      QStringLiteral("Deliver the chunks at once instead of at their times.")});
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("The capture, or - for standard input."));
    if (const int exit = parseArguments(parser, arguments, 1, QStringLiteral("one FILE"));
        exit >= 0)
        return exit;

    const QString name = parser.positionalArguments().at(0);
    QFile file;
    const bool opened = name == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                   : (file.setFileName(name), file.open(QIODevice::ReadOnly));
    if (!opened) {
        err() << "canservice: cannot read the capture " << name << ": " << file.errorString() << '\n';
        return exitcode::BadCapture;
    }
    Capture capture;
    QString error;
    if (!capture.parse(file.readAll(), name == QLatin1String("-") ? QStringLiteral("stdin") : name,
                       &error)) {
        err() << "canservice: " << error << '\n';
        return exitcode::BadCapture;
    }

    // The plugin is not started: nothing answers on a replay, it only listens.
    Session session(parser);
    if (const int exit = session.load(QStringLiteral("virtual:replay")); exit >= 0)
        return exit;
    canservice::VirtualSerialLine *line = canservice::VirtualSerialLine::find(QStringLiteral("replay"));

    const bool wait = capture.timed && !parser.isSet(QStringLiteral("no-wait"));
    const double start = capture.chunks.isEmpty() ? 0.0 : capture.chunks.first().time;
    int last = 0;
    for (const CaptureChunk &chunk : qAsConst(capture.chunks)) {
        const int delay = wait ? int((chunk.time - start) * 1000) : 0;
        QTimer::singleShot(delay, Qt::PreciseTimer, line, [line, bytes = chunk.bytes] { line->deliver(bytes); });
        last = qMax(last, delay);
    }
    // Long enough after the last chunk for a cut frame's receive time-out to run out.
    QTimer::singleShot(last + 600, Qt::PreciseTimer, line, [&session] { session.finish(false); });
    return QCoreApplication::exec();
}

int sim(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Runs only the simulated CAN box, on a new pseudo-terminal (printed first) or on a "
            "serial DEVICE, so that a head unit or 'canservice monitor' can talk to it. It "
            "acknowledges every frame, prints what the head unit sends, answers data requests "
            "and plays the scenario once the head unit has started it."));
    addFaultOptions(parser);
    parser.addOption({QStringLiteral("pty"), QStringLiteral("Use a new pseudo-terminal (the default).")});
    parser.addOption({QStringLiteral("duration"),
                      QStringLiteral("Stop after this many seconds instead of at Ctrl-C."),
                      QStringLiteral("seconds")});
    parser.addPositionalArgument(QStringLiteral("DEVICE"),
                                 QStringLiteral("A serial device instead of a pseudo-terminal."),
                                 QStringLiteral("[DEVICE]"));
    if (const int exit = parseArguments(parser, arguments, -1, QString()); exit >= 0)
        return exit;
    if (parser.positionalArguments().size() > 1
        || (parser.isSet(QStringLiteral("pty")) && !parser.positionalArguments().isEmpty())) {
        err() << "canservice sim: takes --pty or one DEVICE; see --help\n";
        return exitcode::Usage;
    }

    FaultOptions faults;
    QString error;
    if (!parseFaults(parser, &faults, &error)) {
        err() << "canservice sim: " << error << '\n';
        return exitcode::Usage;
    }
    double duration = -1;
    if (parser.isSet(QStringLiteral("duration"))) {
        bool ok = false;
        duration = parser.value(QStringLiteral("duration")).toDouble(&ok);
        if (!ok || duration <= 0) {
            err() << "canservice sim: --duration takes a number of seconds above 0.\n";
            return exitcode::Usage;
        }
    }
    Scenario scenario;
    int exit = exitcode::Ok;
    if (!loadScenario(parser, &scenario, &exit))
        return exit;

    BoxLine *line = nullptr;
    if (parser.positionalArguments().isEmpty()) {
        line = BoxLine::createPty(&error);
        if (!line) {
            err() << "canservice: " << error << '\n';
            return exitcode::NoPseudoTerminal;
        }
    } else {
        line = BoxLine::openDevice(parser.positionalArguments().at(0), &error, &exit);
        if (!line) {
            err() << "canservice: " << error << '\n';
            return exit;
        }
    }

    BoxSimulator box(line, scenario, faults);
    QElapsedTimer clock;
    clock.start();
    out() << "pty: " << line->deviceName() << '\n';
    out().flush();
    QObject::connect(&box, &BoxSimulator::report, [&clock](const QString &text) {
        out() << QString::asprintf("%7.3f  ", clock.elapsed() / 1000.0) << text << '\n';
        out().flush();
    });
    const auto finish = [&box] {
        out() << "\nBox sent " << box.framesSent() << " frames (" << box.framesCorrupted()
              << " corrupted on purpose); the head unit sent " << box.hostFrames()
              << " frames and acknowledged " << box.hostAcks() << ", refused " << box.hostNaks()
              << ".\n";
        out().flush();
        QCoreApplication::quit();
    };
    Interrupt interrupt;
    QObject::connect(&interrupt, &Interrupt::requested, finish);
    if (duration > 0)
        QTimer::singleShot(int(duration * 1000), Qt::PreciseTimer, &box, finish);
    box.begin();
    QCoreApplication::exec();
    delete line;
    return exitcode::Ok;
}

} // namespace tool
