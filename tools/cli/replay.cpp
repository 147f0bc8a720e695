#include "commands.h"

#include "capture.h"
#include "exitcodes.h"
#include "options.h"
#include "virtualserialline.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

namespace tool {

int replay(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Decodes a capture of what a CAN box sent, through the plugin on an in-process line: "
            "raw binary, or hex text with optional times (seconds, with a decimal point) at the "
            "start of each line, which then set the chunks and the gaps between them."));
    addPluginOptions(parser);
    addFrameOptions(parser);
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
        tool::err() << "canservice: cannot read the capture " << name << ": " << file.errorString() << '\n';
        return exitcode::BadCapture;
    }
    Capture capture;
    QString error;
    if (!capture.parse(file.readAll(), name == QLatin1String("-") ? QStringLiteral("stdin") : name,
                       &error)) {
        tool::err() << "canservice: " << error << '\n';
        return exitcode::BadCapture;
    }

    // The plugin is not started: nothing answers on a replay, it only listens.
    SessionOptions options = sessionOptions(parser);
    options.printer.source = name;
    options.printer.live = false;
    Session session(options);
    if (const int exit = session.load(QStringLiteral("virtual:replay")); exit >= 0)
        return exit;
    canservice::VirtualSerialLine *line = canservice::VirtualSerialLine::find(QStringLiteral("replay"));

    const bool wait = capture.timed && !parser.isSet(QStringLiteral("no-wait"));
    if (capture.timed && !wait)
        tool::err() << "canservice: --no-wait delivers the capture at once: long presses, receive "
                       "time-outs and link losses will not happen as they did on the line.\n";
    // Records carry the capture's own times: that of the chunk being delivered, and after it the
    // time that has passed since, as the capture's clock would have run on.
    double chunkTime = 0.0;
    QElapsedTimer sinceChunk;
    sinceChunk.start();
    session.printer()->setClock([&] { return chunkTime + (wait ? sinceChunk.elapsed() / 1000.0 : 0.0); });
    const double start = capture.chunks.isEmpty() ? 0.0 : qMax(0.0, capture.chunks.first().time);
    int last = 0;
    for (const CaptureChunk &chunk : qAsConst(capture.chunks)) {
        const int delay = wait ? int((chunk.time - start) * 1000) : 0;
        const double time = qMax(0.0, chunk.time);
        QTimer::singleShot(delay, Qt::PreciseTimer, line, [&, time, bytes = chunk.bytes] {
            chunkTime = time;
            sinceChunk.restart();
            line->deliver(bytes);
        });
        last = qMax(last, delay);
    }
    // Long enough after the last chunk for a cut frame's receive time-out to run out.
    QTimer::singleShot(last + 600, Qt::PreciseTimer, line, [&session] { session.finish(false); });
    return QCoreApplication::exec();
}

} // namespace tool
