// canservice: a command-line head unit for the CAN service plugin, and a simulated CAN box.
#include "captureclock.h"
#include "interrupt.h"
#include "standardoutput.h"
#include "exitcodes.h"
#include "mqttoptions.h"
#include "commands.h"
#include "session.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QDir>
#include <QGuiApplication>

#include <QTextCodec>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const char Usage[] = R"(Usage: canservice COMMAND [OPTIONS]

Runs the CAN service plugin as a head unit would, against a simulated or a real CAN box.

Commands:
  demo             a simulated box on a pseudo-terminal and a scripted 20-second drive, with
                   the head unit's commands; prints every event and the final vehicle state
  monitor DEVICE   a real box on DEVICE: prints what the plugin decodes until Ctrl-C
  replay FILE      decodes a capture of what a box sent (FILE or - for standard input)
  sim              only the simulated box, on a new pseudo-terminal or a serial DEVICE;
                   with --play CAPTURE a recorded box, at the capture's times
  tap BOXSIDE HEADSIDE
                   both sides of a head unit and a box talking, from a Y-cable's two lines
  signals          the names, types and units of every value the tools show
  stats CAPTURE    per message: frames, rate, gaps, checksum errors, cut frames; noise,
                   receive time-outs, link losses, the capture's span
  plot CAPTURE --signals NAMES --png FILE
                   signals over the capture's time as a picture, one pane each
  export CAPTURE --pcapng FILE
                   a capture as pcapng for Wireshark (with tools/wireshark/canbox.lua)
  dashboard        the vehicle on a screen, as a head unit shows it (simulated box, DEVICE
                   or --replay FILE)
  serve [DEVICE]   the vehicle on D-Bus as org.canservice.Vehicle1, for the head unit's
                   other programs (DEVICE or --sim; --bus system or session)
  fleet URL        the cars publishing on an MQTT broker (replay or monitor --mqtt), one row
                   a car, live

  canservice --version   the tool's version

Run 'canservice COMMAND --help' for the options of a command.

Exit codes: 0 ok, 1 failure, 2 bad usage, 3 no such device, 4 no permission for the device,
5 device busy, 6 plugin not found or not loadable, 7 plugin is not a CAN service,
8 malformed capture, 9 malformed scenario, 10 cannot write a file, 11 no pseudo-terminal,
12 the box sent nothing (monitor), 13 cannot read a file, 14 a stale device lock this user
may not remove, 15 the dashboard's layout check found a fault, 16 the MQTT broker refused the
login, 17 the TLS handshake with it failed (a certificate), 18 it denied a topic, 19 it stayed
out of reach and the changes were lost, 130 ended by Ctrl-C, SIGTERM or SIGHUP (after the
summary), 141 the reader of standard output went away (the summary on standard error).
)";
}

namespace {
bool validUtf8(const char *text)
{
    QTextCodec::ConverterState state;
    const QString decoded = QTextCodec::codecForName("UTF-8")->toUnicode(text, int(qstrlen(text)), &state);
    return state.invalidChars == 0;
}

// Linux takes any bytes in a file name, and Qt turns names into text by the locale (UTF-8). A
// name that is not UTF-8 (a capture, an output file, a device link, the folder the tool was
// installed in) would come back as other bytes; then names are taken byte for byte instead. What
// the tool prints is UTF-8 either way.
void keepFileNamesAsBytes(int argc, char *argv[])
{
    bool plain = true;
    for (int i = 0; i < argc; ++i)
        plain = plain && validUtf8(argv[i]);
    for (const char *variable : {"CANSERVICE_PLUGIN", "CANSERVICE_SERIAL_DEVICE"})
        plain = plain && validUtf8(qgetenv(variable).constData());
    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) > 0)
        plain = plain && validUtf8(self);
    if (!plain)
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
}
} // namespace

namespace {
int run(const QString &command, const QStringList &arguments, bool gui)
{
    if (command == QLatin1String("demo"))
        return tool::demo(arguments);
    if (command == QLatin1String("monitor"))
        return tool::monitor(arguments);
    if (command == QLatin1String("replay"))
        return tool::replay(arguments);
    if (command == QLatin1String("sim"))
        return tool::sim(arguments);
    if (command == QLatin1String("signals"))
        return tool::signalList(arguments);
    if (command == QLatin1String("export"))
        return tool::exportCapture(arguments);
    if (command == QLatin1String("serve"))
        return tool::serve(arguments);
    if (command == QLatin1String("stats"))
        return tool::stats(arguments);
    if (command == QLatin1String("plot"))
        return tool::plot(arguments);
    if (command == QLatin1String("tap"))
        return tool::tap(arguments);
    if (command == QLatin1String("fleet"))
        return tool::fleet(arguments);
    if (gui) {
#ifdef CANSERVICE_DASHBOARD
        return tool::dashboard(arguments);
#else
        tool::err() << "canservice: this build has no dashboard; build it with Qt Quick (Debian "
                       "package qtdeclarative5-dev).\n";
        return exitcode::Failure;
#endif
    }

    tool::err() << "canservice: unknown command \"" << command << "\"; see canservice --help\n";
    return exitcode::Usage;
}
} // namespace

namespace {
// Standard input, output and error closed by whoever started the tool are opened on /dev/null, as
// daemons do, before anything else is opened: otherwise the first descriptor the tool makes (the
// signal socket, a device) would take the number 1 or 2, and a warning would be written into it.
void keepStandardDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        // All on /dev/null for writing: standard input too, so that reading it fails as reading a
        // closed one does (`replay -` says so) instead of giving an empty capture.
        const int opened = ::open("/dev/null", O_WRONLY);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}
} // namespace

int main(int argc, char *argv[])
{
    keepStandardDescriptors();
    // From the first instruction: Ctrl-C, SIGTERM and SIGHUP wait for the run to end them
    // properly, a reader that goes away makes a write fail (EPIPE) rather than kill the tool
    // unheard, and a file that reaches the size limit fails its write instead of killing the tool.
    tool::Interrupt::catchSignals();
    ::signal(SIGXFSZ, SIG_IGN);
    keepFileNamesAsBytes(argc, argv);

    // Only the dashboard shows anything on a screen; the other commands run where there is no display.
    const bool gui = argc > 1 && qstrcmp(argv[1], "dashboard") == 0;
    // Replays run on the capture's clock: it has to be there before the application.
    if (argc > 1 && (qstrcmp(argv[1], "replay") == 0 || qstrcmp(argv[1], "export") == 0
                     || qstrcmp(argv[1], "stats") == 0 || qstrcmp(argv[1], "plot") == 0))
        QCoreApplication::setEventDispatcher(new tool::CaptureClock);
    // The other commands wait on a line, a socket or a timer: Qt's own Unix dispatcher does that
    // with less work per wake-up than the GLib loop, which shows on a busy line.
    else if (!gui && !qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
#ifdef CANSERVICE_DASHBOARD
    // Without a display a GUI application aborts as it is made: the dashboard then reads its
    // options (--help works anywhere) and says what to do instead.
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
            || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
#else
    const bool display = false;
#endif
    // A plot draws text into a picture, which takes a GUI application but no display.
    const bool draws = argc > 1 && qstrcmp(argv[1], "plot") == 0;
    if (draws && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a login session there is no runtime folder: the one Qt would fall back to, made as
    // Qt wants it, so that drawing a picture or the dashboard under xvfb-run says nothing about it.
    if ((draws || gui) && qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QByteArray runtime = QDir::tempPath().toLocal8Bit() + "/runtime-" + QByteArray::number(::getuid());
        if (::mkdir(runtime.constData(), 0700) == 0 || errno == EEXIST)
            qputenv("XDG_RUNTIME_DIR", runtime);
    }
    // A GUI application takes the options it knows out of its arguments (-platform and the like,
    // and -plugin, which is also the tool's): the tool's --plugin is kept from it and read with
    // what the application leaves.
    QStringList plugin;
    static std::vector<char *> forQt;
    for (int i = 0; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (i > 0 && (arg == "--plugin" || arg == "-plugin") && i + 1 < argc) {
            plugin << QStringLiteral("--plugin") << QString::fromLocal8Bit(argv[++i]);
            continue;
        }
        if (i > 0 && (arg.startsWith("--plugin=") || arg.startsWith("-plugin="))) {
            plugin << QStringLiteral("--plugin") << QString::fromLocal8Bit(arg.mid(arg.indexOf('=') + 1));
            continue;
        }
        forQt.push_back(argv[i]);
    }
    forQt.push_back(nullptr);
    static int qtArgc = int(forQt.size()) - 1;
    const bool graphical = (gui && display) || draws;
    std::unique_ptr<QCoreApplication> app(graphical ? new QGuiApplication(qtArgc, forQt.data())
                                                    : new QCoreApplication(argc, argv));
    // Messages as they are written: each says where it comes from in its own words.
    if (qEnvironmentVariableIsEmpty("QT_MESSAGE_PATTERN"))
        qSetMessagePattern(QStringLiteral("%{message}"));
    // Qt's messages, the plugin's debug lines among them, go where the tool's own errors go, so
    // that a slow reader of standard error holds up the line no more than one of the output.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &message) {
        const QString line = qFormatLogMessage(type, context, message) + QLatin1Char('\n');
        if (QThread::currentThread() == QCoreApplication::instance()->thread()) {
            tool::err() << line;
            tool::err().flush();
        } else {
            const QByteArray bytes = line.toUtf8();
            [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, bytes.constData(), size_t(bytes.size()));
        }
        if (type == QtFatalMsg)
            ::abort();
    });
    QCoreApplication::setApplicationName(QStringLiteral("canservice"));
    QCoreApplication::setApplicationVersion(QStringLiteral("0.1.0"));

    QStringList arguments = QCoreApplication::arguments();
    if (graphical)
        arguments << plugin;
    const QString command = arguments.value(1);
    if (command == QLatin1String("--version") || command == QLatin1String("-v")) {
        tool::out() << "canservice " << QCoreApplication::applicationVersion() << '\n';
        tool::out().flush();
        return exitcode::Ok;
    }
    if (command.isEmpty() || command == QLatin1String("--help") || command == QLatin1String("-h")
        || command == QLatin1String("help")) {
        tool::out() << Usage;
        tool::out().flush();
        return command.isEmpty() ? exitcode::Usage : exitcode::Ok;
    }
    arguments.removeAt(1);
    arguments[0] = QStringLiteral("canservice ") + command;

    int code = run(command, arguments, gui);
    // A broker that refused this run let its other views go on; the run ends with why.
    if (code == exitcode::Ok)
        code = tool::mqttExitCode();
    // What was printed must have reached its file: a full disk is a failure, not a success. A
    // reader that went away (`| head`) is the end shells know, said by its own code.
    tool::out().flush();
    tool::StandardOutput &output = tool::StandardOutput::instance();
    const auto drainErrors = qScopeGuard([] {
        tool::err().flush();
        tool::StandardOutput::error().drain();
    });
    // A signal that ended the wait for the output's reader ended the run.
    if (!output.drain() && tool::Interrupt::requests() > 0 && code == exitcode::Ok)
        code = exitcode::Interrupted;
    if (output.droppedLines() > 0)
        tool::err() << "canservice: " << output.droppedLines() << " lines of output were dropped while their "
                    << "reader did not keep up; the line was served all the same.\n";
    if (output.unwrittenLines() > 0)
        tool::err() << "canservice: " << output.unwrittenLines() << " lines of output were not written: the run "
                    << "was ended before their reader took them.\n";
    if (code == exitcode::BrokenPipe || (tool::Interrupt::pipeBroke() && tool::Interrupt::outputGone()))
        return exitcode::BrokenPipe;
    if (tool::out().status() == QTextStream::WriteFailed || output.failed()) {
        tool::err() << "canservice: the output could not be written (" << output.errorString()
                    << "); it is incomplete.\n";
        return code == exitcode::Ok || code == exitcode::Interrupted ? int(exitcode::CannotWrite) : code;
    }
    return code;
}
