#include "commands.h"

#include "capture.h"
#include "exitcodes.h"
#include "interrupt.h"
#include "options.h"
#include "virtualserialline.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

namespace tool {

namespace {
const qint64 BlockBytes = 64 * 1024;
// Long enough after the last chunk for a cut frame's receive time-out to run out.
const int AfterLastChunkMs = 600;

// Feeds a capture to the plugin's line as it is read, a block at a time, at the capture's times
// or at once: memory stays bounded however long the input is, endless included.
class Replayer : public QObject
{
public:
    Replayer(QFile &input, CaptureReader &reader, canservice::VirtualSerialLine *line, bool wait)
        : m_input(input), m_reader(reader), m_line(line), m_wait(wait)
    {
        m_next.setSingleShot(true);
        m_next.setTimerType(Qt::PreciseTimer);
        connect(&m_next, &QTimer::timeout, this, &Replayer::pump);
        m_sinceStart.start();
    }

    // Records carry the capture's own times: the chunk's being delivered, and after it the time
    // that has passed since, as the capture's clock would have run on.
    double now() const { return m_chunkTime + (m_wait ? m_sinceChunk.elapsed() / 1000.0 : 0.0); }
    QString error() const { return m_error; }
    void start() { QTimer::singleShot(0, this, &Replayer::pump); }

    std::function<void()> finished;

private:
    void pump()
    {
        CaptureChunk chunk;
        while (m_haveChunk || m_reader.take(&chunk)) {
            if (m_haveChunk)
                chunk = m_pending;
            m_haveChunk = false;
            const double time = qMax(0.0, chunk.time);
            if (m_first < 0)
                m_first = time;
            const qint64 dueMs = qint64((time - m_first) * 1000);
            if (m_wait && dueMs > m_sinceStart.elapsed()) {
                m_pending = chunk;
                m_haveChunk = true;
                m_next.start(int(qMin<qint64>(dueMs - m_sinceStart.elapsed(), 1 << 30)));
                return;
            }
            m_chunkTime = time;
            m_sinceChunk.restart();
            m_line->deliver(chunk.bytes);
            if (m_reader.take(&m_pending)) {
                // One chunk at a time, so that timers and signals run between them.
                m_haveChunk = true;
                m_next.start(0);
                return;
            }
        }
        if (m_ended) {
            QTimer::singleShot(AfterLastChunkMs, this, [this] { finished(); });
            return;
        }
        const QByteArray block = m_input.read(BlockBytes);
        const bool ok = block.isEmpty() && m_input.atEnd() ? (m_ended = true, m_reader.finish())
                                                           : m_reader.feed(block);
        if (!ok) {
            m_error = m_reader.error();
            finished();
            return;
        }
        if (block.isEmpty() && !m_input.atEnd() && !m_ended)
            m_ended = true; // a read error ends the input like its end
        m_next.start(0);
    }

    QFile &m_input;
    CaptureReader &m_reader;
    canservice::VirtualSerialLine *m_line;
    const bool m_wait;
    QTimer m_next;
    QElapsedTimer m_sinceStart;
    QElapsedTimer m_sinceChunk;
    CaptureChunk m_pending;
    bool m_haveChunk = false;
    bool m_ended = false;
    double m_first = -1.0;
    double m_chunkTime = 0.0;
    QString m_error;
};
} // namespace

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
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("The capture, or - for standard input."));
    if (const int exit = parseArguments(parser, arguments, 1, QStringLiteral("one FILE"));
        exit >= 0)
        return exit;

    const QString name = parser.positionalArguments().at(0);
    const bool fromStdin = name == QLatin1String("-");
    QFile file;
    const bool opened = fromStdin ? file.open(stdin, QIODevice::ReadOnly)
                                  : (file.setFileName(name), file.open(QIODevice::ReadOnly));
    if (!opened) {
        tool::err() << "canservice: cannot read the capture " << name << ": " << file.errorString() << '\n';
        return exitcode::BadCapture;
    }
    // The first block says whether the capture is timed text, before anything is decoded.
    CaptureReader reader(fromStdin ? QStringLiteral("stdin") : name);
    if (!reader.feed(file.read(BlockBytes)) || (file.atEnd() && !reader.finish())) {
        tool::err() << "canservice: " << reader.error() << '\n';
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
    // The acknowledgements are counted as they are written; keeping them would grow without end.
    line->setRecording(false);

    const bool wait = reader.timed() && !parser.isSet(QStringLiteral("no-wait"));
    if (reader.timed() && !wait)
        tool::err() << "canservice: --no-wait delivers the capture at once: long presses, receive "
                       "time-outs and link losses will not happen as they did on the line.\n";
    Replayer replayer(file, reader, line, wait);
    session.printer()->setClock([&replayer] { return replayer.now(); });
    replayer.finished = [&session] { session.finish(false); };

    bool interrupted = false;
    Interrupt interrupt;
    QObject::connect(&interrupt, &Interrupt::requested, [&] {
        interrupted = true;
        session.finish(false);
    });
    replayer.start();
    QCoreApplication::exec();
    if (!replayer.error().isEmpty()) {
        tool::err() << "canservice: " << replayer.error() << '\n';
        return exitcode::BadCapture;
    }
    return interrupted ? exitcode::Interrupted : exitcode::Ok;
}

} // namespace tool
