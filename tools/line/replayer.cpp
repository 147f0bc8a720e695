#include "replayer.h"

#include "captureclock.h"
#include "virtualserialline.h"

#include <QFile>

#include <cmath>

#include <fcntl.h>
#include <unistd.h>

namespace tool {

bool openCapture(const QString &name, QFile &file, std::unique_ptr<CaptureReader> &reader, QString *error)
{
    const bool fromStdin = name == QLatin1String("-");
    if (fromStdin && (::fcntl(STDIN_FILENO, F_GETFL) & O_ACCMODE) == O_WRONLY) {
        *error = QStringLiteral("cannot read the capture from standard input: it was closed");
        return false;
    }
    const bool opened = fromStdin ? file.open(stdin, QIODevice::ReadOnly)
                                  : (file.setFileName(name), file.open(QIODevice::ReadOnly));
    if (!opened) {
        *error = QStringLiteral("cannot read the capture %1: %2").arg(name, file.errorString());
        return false;
    }
    reader = std::make_unique<CaptureReader>(fromStdin ? QStringLiteral("stdin") : name);
    // A malformed line is reported by the replay, after the chunks before it.
    if (reader->feed(file.read(Replayer::BlockBytes)) && file.atEnd())
        reader->finish();
    return true;
}

Replayer::Replayer(QFile &input, CaptureReader &reader, canservice::VirtualSerialLine *line)
    : Replayer(input, reader, [line](const QByteArray &chunk) { line->deliver(chunk); })
{
}

Replayer::Replayer(QFile &input, CaptureReader &reader, std::function<void(const QByteArray &)> deliver)
    : m_input(input), m_reader(reader), m_deliver(std::move(deliver))
{
    m_next.setSingleShot(true);
    m_next.setTimerType(Qt::PreciseTimer);
    connect(&m_next, &QTimer::timeout, this, &Replayer::pump);
    m_wall.start();
}

qint64 Replayer::nowMs() const
{
    if (const tool::CaptureClock *clock = tool::CaptureClock::current())
        return clock->nowMs();
    return m_baseMs + m_wall.elapsed();
}

void Replayer::start()
{
    m_next.start(0);
}

// The next chunk with its time: chunks without one follow each other as fast as the line carries
// them, 38400 baud, ten bits a byte.
bool Replayer::take(CaptureChunk *chunk)
{
    if (!m_reader.take(chunk))
        return false;
    if (chunk->time < 0) {
        chunk->time = m_lineMicros / 1e6;
        m_lineMicros += chunk->bytes.size() * 10 * 1000000LL / 38400;
    }
    return true;
}

void Replayer::pump()
{
    CaptureChunk chunk;
    while (m_haveChunk || take(&chunk)) {
        if (m_haveChunk)
            chunk = m_pending;
        m_haveChunk = false;
        const qint64 dueMs = std::llround(chunk.time * 1000);
        if (!m_based && !tool::CaptureClock::current()) {
            // In real time the first chunk is now.
            m_baseMs = dueMs - m_wall.elapsed();
        }
        m_based = true;
        const qint64 now = nowMs();
        if (dueMs > now) {
            m_pending = chunk;
            m_haveChunk = true;
            m_next.start(int(qMin<qint64>(dueMs - now, 1 << 30)));
            return;
        }
        if (m_firstChunkMs < 0)
            m_firstChunkMs = dueMs;
        m_lastChunkMs = dueMs;
        // A line with a time and no bytes only marks that time: the line was quiet until then.
        if (!chunk.bytes.isEmpty())
            m_deliver(chunk.bytes);
        if (take(&m_pending)) {
            // One chunk at a time, so that timers and signals run between them.
            m_haveChunk = true;
            m_next.start(0);
            return;
        }
    }
    // A malformed line ends the replay once the chunks before it have been delivered.
    if (!m_reader.error().isEmpty()) {
        m_error = m_reader.error();
        finished();
        return;
    }
    if (m_ended) {
        QTimer::singleShot(AfterLastChunkMs, Qt::PreciseTimer, this, [this] { finished(); });
        return;
    }
    const QByteArray block = m_input.read(BlockBytes);
    if (block.isEmpty() && m_input.atEnd()) {
        m_ended = true;
        m_reader.finish();
    } else {
        m_reader.feed(block);
    }
    if (block.isEmpty() && !m_input.atEnd() && !m_ended)
        m_ended = true; // a read error ends the input like its end
    m_next.start(0);
}

} // namespace tool
