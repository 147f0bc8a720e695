#include "commands.h"

#include "capture.h"
#include "exitcodes.h"
#include "options.h"
#include "virtualserialline.h"

#include <QCoreApplication>
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
    Session session(sessionOptions(parser));
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

} // namespace tool
