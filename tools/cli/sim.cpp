#include "commands.h"

#include "boxline.h"
#include "boxsimulator.h"
#include "exitcodes.h"
#include "interrupt.h"
#include "options.h"
#include "simoptions.h"
#include "replayer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <memory>

namespace tool {

int sim(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Runs only the simulated CAN box, on a new pseudo-terminal (printed first) or on a "
            "serial DEVICE, so that a head unit or 'canservice monitor' can talk to it. It "
            "acknowledges every frame, prints what the head unit sends, answers data requests "
            "and plays the scenario once the head unit has started it. With --play it is a "
            "recorded box instead: the capture, byte for byte at its times.\n\n"
            "Example: canservice sim --play drive.cap /dev/ttyUSB0"));
    addFaultOptions(parser);
    parser.addOption({QStringLiteral("pty"), QStringLiteral("Use a new pseudo-terminal (the default).")});
    parser.addOption({QStringLiteral("play"),
                      QStringLiteral("Play this capture onto the line, chunk by chunk at its times "
                                     "in real time, from the head unit's first bytes; then end."),
                      QStringLiteral("capture")});
    parser.addOption({QStringLiteral("now"), QStringLiteral("With --play: start at once.")});
    parser.addOption({QStringLiteral("verbose"), QStringLiteral("Also print every frame the box sends, in hex.")});
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
        tool::err() << "canservice sim: takes --pty or one DEVICE; see --help\n";
        return exitcode::Usage;
    }

    const bool play = parser.isSet(QStringLiteral("play"));
    for (const char *option : {"scenario", "silence", "corrupt", "noise", "split", "seed", "duration", "now"}) {
        if (play != (qstrcmp(option, "now") == 0) && parser.isSet(QLatin1String(option))) {
            tool::err() << "canservice sim: --" << option
                        << (play ? " is for the simulated box; --play plays the capture as it is.\n"
                                 : " goes with --play.\n");
            return exitcode::Usage;
        }
    }
    QFile captureFile;
    std::unique_ptr<CaptureReader> capture;
    QString error;
    // A capture that cannot be read, or is malformed in its first block, ends the run before a
    // byte is played.
    if (play && !openCapture(parser.value(QStringLiteral("play")), captureFile, capture, &error)) {
        tool::err() << "canservice: " << error << '\n';
        return exitcode::CannotRead;
    }
    if (play && !(error = capture->error()).isEmpty()) {
        tool::err() << "canservice: " << error << '\n';
        return exitcode::BadCapture;
    }

    FaultOptions faults;
    if (!parseFaults(parser, &faults, &error)) {
        tool::err() << "canservice sim: " << error << '\n';
        return exitcode::Usage;
    }
    double duration = -1;
    if (parser.isSet(QStringLiteral("duration"))) {
        if (!parseNumber(parser.value(QStringLiteral("duration")), 0.001, LongestRunSeconds, &duration)) {
            tool::err() << "canservice sim: --duration takes a number of seconds above 0, at most a week.\n";
            return exitcode::Usage;
        }
    }
    Scenario scenario;
    int exit = exitcode::Ok;
    if (!loadScenario(parser, &scenario, &exit))
        return exit;

    std::unique_ptr<BoxLine> line;
    if (parser.positionalArguments().isEmpty()) {
        line.reset(BoxLine::createPty(&error));
        if (!line) {
            tool::err() << "canservice: " << error << '\n';
            return exitcode::NoPseudoTerminal;
        }
    } else {
        const QString device = parser.positionalArguments().at(0);
        canservice::SerialPort::Error lineError = canservice::SerialPort::NoError;
        QString reason;
        line.reset(BoxLine::openDevice(device, &lineError, &reason));
        if (!line) {
            Failure failure = Failure::Other;
            tool::err() << "canservice: " << describeDeviceError(device, lineError, reason, &failure) << '\n';
            return exitcode::of(failure);
        }
    }

    if (play)
        return playCapture(parser.value(QStringLiteral("play")), captureFile, *capture, line.get(),
                           parser.isSet(QStringLiteral("now")), parser.isSet(QStringLiteral("verbose")));

    BoxSimulator box(line.get(), scenario, faults);
    box.setVerbose(parser.isSet(QStringLiteral("verbose")));
    QElapsedTimer clock;
    clock.start();
    tool::out() << "pty: " << line->deviceName() << '\n';
    tool::out().flush();
    QObject::connect(&box, &BoxSimulator::report, [&clock](const QString &text) {
        tool::out() << QString::asprintf("%7.3f  ", clock.elapsed() / 1000.0) << text << '\n';
        tool::out().flush();
    });
    const auto finish = [&box] {
        tool::out() << "\nBox sent " << box.framesSent() << " frames, " << box.framesCorrupted()
              << " of them corrupted on purpose; the head unit sent " << box.hostFrames()
              << " frames and acknowledged " << box.hostAcks() << ", refused " << box.hostNaks()
              << ".\n";
        tool::out().flush();
        QCoreApplication::quit();
    };
    bool interrupted = false;
    Interrupt interrupt;
    QObject::connect(&interrupt, &Interrupt::requested, [&] {
        interrupted = true;
        finish();
    });
    // The reader of the output went away: the box stops as on Ctrl-C, its summary on stderr.
    bool outputLost = false;
    QObject::connect(&interrupt, &Interrupt::outputLost, [&] {
        outputLost = true;
        sendOutputToError();
        finish();
    });
    if (duration > 0)
        QTimer::singleShot(int(duration * 1000), Qt::PreciseTimer, &box, finish);
    box.begin();
    QCoreApplication::exec();
    return outputLost ? exitcode::BrokenPipe : interrupted ? exitcode::Interrupted : exitcode::Ok;
}

} // namespace tool
