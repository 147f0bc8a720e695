#include "commands.h"

#include "capture.h"
#include "captureclock.h"
#include "replayer.h"
#include "exitcodes.h"
#include "interrupt.h"
#include "options.h"
#include "views.h"
#include "mqttoptions.h"
#include "sessionmodel.h"
#include "virtualserialline.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <memory>

namespace tool {


int replay(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Decodes a capture of what a CAN box sent, through the plugin on an in-process line: "
            "raw binary, or hex text with optional times (seconds, with a decimal point) at the "
            "start of each line, which then set the chunks and the gaps between them. The "
            "replay runs on the capture's own clock, as fast as it can: the plugin's timers (the "
            "receive time-out, long presses, the link's supervision) run out exactly when they "
            "would have on the line, and the output is the same in every run. The capture is "
            "read as it comes: standard input may be endless."));
    addPluginOptions(parser);
    addFrameOptions(parser);
    parser.addOption({QStringLiteral("speed"),
                      QStringLiteral("Keep pace with the wall clock, X seconds of the capture a "
                                     "second (1: real time); the output is the same."),
                      QStringLiteral("X")});
    addPcapngOption(parser);
    addViewOptions(parser);
    addMqttOptions(parser);
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("The capture, or - for standard input."));
    if (const int exit = parseArguments(parser, arguments, 1, QStringLiteral("one FILE"));
        exit >= 0)
        return exit;

    double speed = 0.0;
    if (parser.isSet(QStringLiteral("speed"))) {
        bool ok = false;
        speed = parser.value(QStringLiteral("speed")).toDouble(&ok);
        if (!ok || !(speed > 0) || speed > 1e6) {
            tool::err() << arguments.at(0) << ": --speed needs a number above 0 (1 is real time)\n";
            return exitcode::Usage;
        }
    }
    SessionOptions options = sessionOptions(parser);
    options.pcapng = parser.value(QStringLiteral("pcapng"));
    ViewChoice view;
    if (const int exit = chooseView(parser, arguments.at(0), &options, &view); exit >= 0)
        return exit;
    MqttPublisher::Options mqtt;
    bool publish = false;
    if (const int exit = chooseMqtt(parser, arguments.at(0), &mqtt, &publish); exit >= 0)
        return exit;
    const QString name = parser.positionalArguments().at(0);
    int failed = -1;
    const int exit = replayCapture(name, options, speed, [&](Session &session) {
        attachView(view, session, name);
        if (publish)
            failed = attachMqtt(mqtt, session, false, session.captureEpochMs());
    });
    return failed >= 0 ? failed : exit;
}

int replayCapture(const QString &name, SessionOptions options, double speed,
                  const std::function<void(Session &)> &watch)
{
    if (CaptureClock *clock = CaptureClock::current())
        clock->setSpeed(speed);
    QFile file;
    std::unique_ptr<CaptureReader> capture;
    QString error;
    if (!openCapture(name, file, capture, &error)) {
        tool::err() << "canservice: " << error << '\n';
        return exitcode::CannotRead;
    }
    CaptureReader &reader = *capture;
    // A capture that says when it began is exported with its real dates.
    if (options.pcapngEpochUs == 0)
        options.pcapngEpochUs = reader.startEpochUs();

    // The plugin is not started: nothing answers on a replay, it only listens.
    options.printer.source = name;
    options.printer.live = false;
    options.printer.paced = speed > 0;
    Session session(options);
    if (const Failure failure = session.load(QStringLiteral("virtual:replay")); failure != Failure::None)
        return exitcode::of(failure);
    canservice::VirtualSerialLine *line = session.port()->virtualLine();

    Replayer replayer(file, reader, line);
    session.model()->setClock([&replayer] { return replayer.now(); });
    replayer.stopWaiting = [] { return Interrupt::requests() > 0; };
    replayer.repeated = [&session](const RepeatedWrites &repeat) { session.model()->headUnitRepeated(repeat); };
    replayer.finished = [&session, &replayer] { session.finish(false, replayer.error().isEmpty()); };

    session.finishOnInterrupt(false);
    if (watch)
        watch(session);
    replayer.start();
    QCoreApplication::exec();
    if (session.writeFailed())
        return exitcode::CannotWrite;
    if (!replayer.error().isEmpty()) {
        tool::err() << "canservice: " << replayer.error() << '\n';
        return exitcode::BadCapture;
    }
    return exitcode::ofEnd(session);
}

} // namespace tool
