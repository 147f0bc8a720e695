#pragma once

#include <QByteArray>
#include <QObject>
#include <QPair>
#include <QVector>

#include <deque>
#include <functional>

namespace canservice {
class VirtualSerialLine;
}

namespace tool {

class CaptureClock;

// The head unit's writes of one period, repeated through a quiet stretch of a capture and told
// once: each write's offset from the first and its bytes, the period, how many times the writes
// came and when the first of them did.
struct RepeatedWrites
{
    qint64 firstMs = 0;
    qint64 periodMs = 0;
    qint64 times = 0;
    QVector<QPair<qint64, QByteArray>> writes;
    qint64 lastMs() const { return firstMs + (times - 1) * periodMs; }
};

// A replay on the capture clock waits for a chunk far ahead: the head unit goes on by its timers,
// and once the link is given up that is the same start commands every two seconds, as long as
// the capture is quiet. Once its writes have come three periods running alike, the clock jumps
// the repeats that follow (see CaptureClock::skipPeriods) and they are told once; the last
// periods before the chunk run as they would have. A quiet day costs what a minute does.
class QuietSpan : public QObject
{
public:
    // Longer waits than this are watched.
    static constexpr qint64 WatchedMs = 10000;
    // Periods up to this long are found.
    static constexpr qint64 LongestPeriodMs = 60000;

    QuietSpan(canservice::VirtualSerialLine *line, CaptureClock *clock);

    // The replay waits, on the timer timerId, for a chunk due at chunkMs.
    void waitFor(qint64 chunkMs, int timerId);
    // A chunk came: the quiet is over.
    void end();

    // The repeats jumped, told once the clock is past them and before anything happens there.
    std::function<void(const RepeatedWrites &)> repeated;

    struct Write
    {
        qint64 ms;
        QByteArray bytes;
    };
    // The period of the writes, in the order they came, when the three periods up to nowMs, all
    // after sinceMs, held the same writes at the same times in the period; else 0. The period is
    // the time back from the last write to the one before it with the same bytes.
    static qint64 periodOf(const std::deque<Write> &writes, qint64 nowMs, qint64 sinceMs);

private:
    void look();

    canservice::VirtualSerialLine *m_line;
    CaptureClock *m_clock;
    bool m_watching = false;
    qint64 m_sinceMs = 0; // the quiet's start, or the end of the last jump
    qint64 m_chunkMs = 0;
    int m_timerId = -1;
    std::deque<Write> m_writes;
    QMetaObject::Connection m_wrote;
    QMetaObject::Connection m_blocking;
};

} // namespace tool
