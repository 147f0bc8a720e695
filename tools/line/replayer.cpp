#include "replayer.h"

#include "captureclock.h"
#include "virtualserialline.h"

#include <QFile>

#include <cmath>
#include <vector>

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tool {

bool openCapture(const QString &name, QFile &file, std::unique_ptr<CaptureReader> &reader, QString *error)
{
    const bool fromStdin = name == QLatin1String("-");
    if (fromStdin && (::fcntl(STDIN_FILENO, F_GETFL) & O_ACCMODE) == O_WRONLY) {
        *error = QStringLiteral("cannot read the capture from standard input: it was closed");
        return false;
    }
    // A FIFO is opened without waiting for its writer: the replay waits for its bytes instead,
    // where a signal to end is heard.
    struct stat node = {};
    const QByteArray path = QFile::encodeName(name);
    const int fifo = !fromStdin && ::stat(path.constData(), &node) == 0 && S_ISFIFO(node.st_mode)
            ? ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)
            : -1;
    const bool opened = fromStdin ? file.open(STDIN_FILENO, QIODevice::ReadOnly)
            : fifo >= 0           ? file.open(fifo, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)
                                  : (file.setFileName(name), file.open(QIODevice::ReadOnly));
    if (!opened) {
        *error = QStringLiteral("cannot read the capture %1: %2").arg(name, file.errorString());
        return false;
    }
    reader = std::make_unique<CaptureReader>(fromStdin ? QStringLiteral("stdin") : name);
    // A malformed line is reported by the replay, after the chunks before it. A pipe is read only
    // once it has something (Replayer::pump).
    if (!file.isSequential() && reader->feed(file.read(Replayer::BlockBytes)) && file.atEnd())
        reader->finish();
    return true;
}

Replayer::Replayer(QFile &input, CaptureReader &reader, canservice::VirtualSerialLine *line)
    : Replayer(input, reader, [line](const QByteArray &chunk) { line->deliver(chunk); })
{
    m_quiet = std::make_unique<QuietSpan>(line, CaptureClock::current());
    m_quiet->repeated = [this](const RepeatedWrites &repeat) {
        if (repeated)
            repeated(repeat);
    };
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
            if (m_quiet)
                m_quiet->waitFor(dueMs, m_next.timerId());
            return;
        }
        if (m_quiet)
            m_quiet->end();
        if (m_firstChunkMs < 0)
            m_firstChunkMs = dueMs;
        m_lastChunkMs = dueMs;
        // A line with a time and no bytes only marks that time: the line was quiet until then.
        if (!chunk.bytes.isEmpty())
            m_deliver(chunk.bytes);
        if (take(&m_pending)) {
            // Timers and what was posted run between chunks: on the capture clock the next follows
            // in the same turn of the loop only when nothing else comes before it. The loop turns
            // at least once a block, to read the next.
            m_haveChunk = true;
            CaptureClock *clock = CaptureClock::current();
            if (clock && clock->runTo(std::llround(m_pending.time * 1000)))
                continue;
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
    QByteArray block;
    bool atEnd = false;
    if (m_input.isSequential()) {
        // A pipe, a FIFO or a terminal: read in one call once it has something (QFile would wait
        // for a whole block), listening for a signal to end while it is quiet. The clock stands
        // still meanwhile, as the capture's time does.
        if (!waitForInput())
            return; // the session ends the run
        std::vector<char> buffer(static_cast<size_t>(BlockBytes));
        ssize_t n;
        do {
            n = ::read(int(m_input.handle()), buffer.data(), buffer.size());
        } while (n < 0 && errno == EINTR);
        if (n < 0 && errno == EAGAIN)
            n = 0; // nothing after all: looked at again
        else
            atEnd = n <= 0; // its end, or a read error, which ends the input like its end
        block = QByteArray(buffer.data(), int(qMax<ssize_t>(n, 0)));
    } else {
        block = m_input.read(BlockBytes);
        atEnd = block.isEmpty(); // its end, or a read error, which ends the input like its end
    }
    if (atEnd) {
        m_ended = true;
        m_reader.finish();
    } else {
        m_reader.feed(block);
    }
    m_next.start(0);
}

bool Replayer::waitForInput()
{
    pollfd input{int(m_input.handle()), POLLIN, 0};
    for (;;) {
        if (::poll(&input, 1, 100) > 0)
            return true; // bytes, or the writer gone
        if (stopWaiting && stopWaiting())
            return false;
    }
}

} // namespace tool
