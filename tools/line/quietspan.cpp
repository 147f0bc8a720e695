#include "quietspan.h"

#include "captureclock.h"
#include "virtualserialline.h"

namespace tool {

namespace {
// Writes kept while the quiet is watched: three of the longest periods of a busy head unit.
constexpr size_t MostWrites = 4096;
} // namespace

QuietSpan::QuietSpan(canservice::VirtualSerialLine *line, CaptureClock *clock) : m_line(line), m_clock(clock)
{
}

void QuietSpan::waitFor(qint64 chunkMs, int timerId)
{
    m_chunkMs = chunkMs;
    m_timerId = timerId;
    if (m_watching || !m_clock || m_clock->speed() > 0 || chunkMs - m_clock->nowMs() <= WatchedMs)
        return;
    m_watching = true;
    m_sinceMs = m_clock->nowMs();
    m_writes.clear();
    m_wrote = connect(m_line, &canservice::VirtualSerialLine::written, this, [this](const QByteArray &bytes) {
        m_writes.push_back({m_clock->nowMs(), bytes});
        if (m_writes.size() > MostWrites)
            m_writes.pop_front();
    });
    m_blocking = connect(m_clock, &QAbstractEventDispatcher::aboutToBlock, this, &QuietSpan::look);
}

void QuietSpan::end()
{
    if (!m_watching)
        return;
    m_watching = false;
    disconnect(m_wrote);
    disconnect(m_blocking);
    m_writes.clear();
}

qint64 QuietSpan::periodOf(const std::deque<Write> &writes, qint64 nowMs, qint64 sinceMs)
{
    if (writes.size() < 3)
        return 0;
    const Write &last = writes.back();
    auto same = writes.rbegin() + 1;
    while (same != writes.rend() && same->bytes != last.bytes)
        ++same;
    if (same == writes.rend())
        return 0;
    const qint64 period = last.ms - same->ms;
    const qint64 from = nowMs - 3 * period;
    if (period <= 0 || period > LongestPeriodMs || from < sinceMs)
        return 0;
    // The writes of the three periods up to now: as many in each, each at its time in the period
    // before plus the period, with the same bytes.
    std::vector<const Write *> periods[3];
    for (auto it = writes.rbegin(); it != writes.rend() && it->ms > from; ++it)
        periods[(it->ms - from - 1) / period].push_back(&*it);
    if (periods[0].empty() || periods[0].size() != periods[1].size() || periods[1].size() != periods[2].size())
        return 0;
    for (size_t p = 1; p < 3; ++p) {
        for (size_t i = 0; i < periods[p].size(); ++i) {
            const Write &before = *periods[p - 1][i];
            const Write &write = *periods[p][i];
            if (write.ms != before.ms + period || write.bytes != before.bytes)
                return 0;
        }
    }
    return period;
}

void QuietSpan::look()
{
    const qint64 now = m_clock->nowMs();
    while (!m_writes.empty() && m_writes.front().ms <= now - 3 * LongestPeriodMs)
        m_writes.pop_front();
    const qint64 periodMs = periodOf(m_writes, now, m_sinceMs);
    if (periodMs == 0)
        return;
    // The writes of the last period, as they will come again.
    RepeatedWrites repeat;
    repeat.periodMs = periodMs;
    auto first = m_writes.end();
    while (first != m_writes.begin() && (first - 1)->ms > now - periodMs)
        --first;
    repeat.firstMs = first->ms + periodMs;
    for (auto it = first; it != m_writes.end(); ++it)
        repeat.writes.append({it->ms - first->ms, it->bytes});
    const qint64 skipped = m_clock->skipPeriods(periodMs, m_chunkMs, m_timerId);
    if (skipped == 0)
        return;
    repeat.times = skipped / periodMs;
    m_writes.clear();
    if (repeated)
        repeated(repeat);
}

} // namespace tool
