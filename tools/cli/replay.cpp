#include "commands.h"

#include "capture.h"
#include "replayer.h"
#include "exitcodes.h"
#include "options.h"
#include "virtualserialline.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <memory>

namespace tool {

int replayCapture(const QString &name, SessionOptions options, bool noWait);


int replay(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Decodes a capture of what a CAN box sent, through the plugin on an in-process line: "
            "raw binary, or hex text with optional times (seconds, with a decimal point) at the "
            "start of each line, which then set the chunks and the gaps between them. The "
            "capture is read as it comes: standard input may be endless."));
    addPluginOptions(parser);
    addFrameOptions(parser);
    parser.addOption({QStringLiteral("no-wait"),
                      QStringLiteral("Deliver the chunks at once instead of at their times.")});
    addPcapngOption(parser);
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("The capture, or - for standard input."));
    if (const int exit = parseArguments(parser, arguments, 1, QStringLiteral("one FILE"));
        exit >= 0)
        return exit;

    SessionOptions options = sessionOptions(parser);
    options.pcapng = parser.value(QStringLiteral("pcapng"));
    return replayCapture(parser.positionalArguments().at(0), options, parser.isSet(QStringLiteral("no-wait")));
}

int exportCapture(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Writes a capture as a pcapng file for Wireshark: every frame the box sent, every "
            "acknowledgement the plugin wrote, noise and cut frames as they came, with the "
            "capture's times and directions. The plugin decodes it on the way, at once."));
    parser.addOption({QStringLiteral("plugin"), QStringLiteral("The CAN service plugin to load."),
                      QStringLiteral("path")});
    parser.addOption({QStringLiteral("pcapng"), QStringLiteral("The pcapng file to write."),
                      QStringLiteral("file")});
    parser.addPositionalArgument(QStringLiteral("CAPTURE"), QStringLiteral("The capture, or - for standard input."));
    if (const int exit = parseArguments(parser, arguments, 1, QStringLiteral("one CAPTURE")); exit >= 0)
        return exit;
    if (!parser.isSet(QStringLiteral("pcapng"))) {
        tool::err() << arguments.at(0) << ": needs --pcapng FILE; see --help\n";
        return exitcode::Usage;
    }
    SessionOptions options = sessionOptions(parser);
    options.printer.quiet = true;
    options.pcapng = parser.value(QStringLiteral("pcapng"));
    return replayCapture(parser.positionalArguments().at(0), options, true);
}

int replayCapture(const QString &name, SessionOptions options, bool noWait)
{
    QFile file;
    std::unique_ptr<CaptureReader> capture;
    QString error;
    if (!openCapture(name, file, capture, &error)) {
        tool::err() << "canservice: " << error << '\n';
        return exitcode::BadCapture;
    }
    CaptureReader &reader = *capture;

    // The plugin is not started: nothing answers on a replay, it only listens.
    options.printer.source = name;
    options.printer.live = false;
    Session session(options);
    if (const int exit = session.load(QStringLiteral("virtual:replay")); exit >= 0)
        return exit;
    canservice::VirtualSerialLine *line = canservice::VirtualSerialLine::find(QStringLiteral("replay"));

    const bool wait = reader.timed() && !noWait;
    if (reader.timed() && !wait && !options.printer.quiet)
        tool::err() << "canservice: --no-wait delivers the capture at once: long presses, receive "
                       "time-outs and link losses will not happen as they did on the line.\n";
    Replayer replayer(file, reader, line, wait);
    session.printer()->setClock([&replayer] { return replayer.now(); });
    replayer.finished = [&session] { session.finish(false); };

    session.finishOnInterrupt(false);
    replayer.start();
    QCoreApplication::exec();
    if (!replayer.error().isEmpty()) {
        tool::err() << "canservice: " << replayer.error() << '\n';
        return exitcode::BadCapture;
    }
    return session.interrupted() ? exitcode::Interrupted : exitcode::Ok;
}

} // namespace tool
