#include "captureclock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <ctime>
#include <limits>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tool {

CaptureClock::CaptureClock(QObject *parent) : QAbstractEventDispatcher(parent)
{
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

CaptureClock::~CaptureClock()
{
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

CaptureClock *CaptureClock::current()
{
    return qobject_cast<CaptureClock *>(QAbstractEventDispatcher::instance());
}

qint64 CaptureClock::wallMs() const
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void CaptureClock::setSpeed(double speed)
{
    m_speed = speed > 0 ? speed : 0.0;
    m_paceWallMs = wallMs();
    m_paceClockMs = m_nowMs;
}

bool CaptureClock::processEvents(QEventLoop::ProcessEventsFlags flags)
{
    if (m_stopped) {
        // Held at the stop: nothing more happens, posted or timed, until the loop is told to end.
        if ((flags & QEventLoop::WaitForMoreEvents) && !m_interrupted) {
            pollfd wake{m_wakeFd, POLLIN, 0};
            while (::poll(&wake, 1, -1) < 0 && errno == EINTR) { }
            quint64 count;
            while (::read(m_wakeFd, &count, sizeof count) > 0) { }
        }
        m_woken = false;
        m_interrupted = false;
        return false;
    }
    m_interrupted = false;
    m_woken = false;
    emit awake();
    QCoreApplication::sendPostedEvents();
    if (m_interrupted)
        return false;

    const bool timers = !(flags & QEventLoop::X11ExcludeTimers);
    const bool sockets = !(flags & QEventLoop::ExcludeSocketNotifiers);
    const bool mayWait = (flags & QEventLoop::WaitForMoreEvents) && !m_woken && !m_interrupted;

    // Sockets (the interrupt's, a slow reader's) are looked at every few milliseconds of the wall's
    // time rather than at every turn of the loop, which a replay makes once a chunk.
    int events = sockets && !m_notifiers.isEmpty() && wallMs() - m_socketsPolledMs >= SocketPollMs ? pollSockets(0) : 0;
    if (timers)
        events += fireDueTimers();
    if (events > 0 || !mayWait || m_woken || m_interrupted)
        return events > 0;

    emit aboutToBlock();
    const qint64 dueMs = timers ? nextDueMs() : -1;
    if (m_stopAtMs >= 0 && timers && (dueMs < 0 || dueMs > m_stopAtMs)) {
        // Everything up to the stop has happened.
        m_stopped = true;
        m_nowMs = qMax(m_nowMs, m_stopAtMs);
        emit stopped();
        return true;
    }
    if (dueMs < 0) {
        // Nothing will ever fall due: wait for a socket or a wake-up, as any event loop does.
        events += pollSockets(-1);
        return events > 0;
    }
    if (m_speed > 0) {
        // Paced: the clock may not run ahead of the wall's time times the speed.
        const qint64 reachable = m_paceClockMs + qint64((wallMs() - m_paceWallMs) * m_speed);
        if (reachable < dueMs) {
            const int waitMs = int(qMin<qint64>(qint64((dueMs - reachable) / m_speed) + 1, 1000));
            events += pollSockets(waitMs);
            const qint64 after = m_paceClockMs + qint64((wallMs() - m_paceWallMs) * m_speed);
            m_nowMs = qBound(m_nowMs, after, dueMs);
            if (m_nowMs < dueMs)
                return events > 0;
        }
    }
    m_nowMs = qMax(m_nowMs, dueMs);
    events += fireDueTimers();
    return events > 0;
}

bool CaptureClock::runTo(qint64 ms)
{
    if (m_speed > 0 || m_stopped || m_interrupted || ms < m_nowMs || (m_stopAtMs >= 0 && ms > m_stopAtMs))
        return false;
    QCoreApplication::sendPostedEvents();
    const qint64 due = nextDueMs();
    if (m_interrupted || (due >= 0 && due <= ms))
        return false;
    m_nowMs = ms;
    return true;
}

qint64 CaptureClock::skipPeriods(qint64 periodMs, qint64 untilMs, int exemptTimerId)
{
    if (periodMs <= 0 || m_speed > 0 || m_stopped)
        return 0;
    const qint64 limit = m_stopAtMs >= 0 ? qMin(untilMs, m_stopAtMs) : untilMs;
    const qint64 periods = (limit - m_nowMs) / periodMs - 2;
    if (periods < 1)
        return 0;
    std::vector<std::map<DueKey, int>::iterator> moving;
    for (auto it = m_queue.begin(); it != m_queue.end() && it->first.dueMs < limit; ++it) {
        if (it->second == exemptTimerId)
            continue;
        const Timer &t = m_timers.at(it->second);
        if (t.interval <= 0 || periodMs % t.interval != 0)
            return 0;
        moving.push_back(it);
    }
    const qint64 shift = periods * periodMs;
    for (const auto &it : moving) {
        const int id = it->second;
        Timer &t = m_timers.at(id);
        m_queue.erase(it);
        t.dueMs += shift;
        m_queue.emplace(DueKey{t.dueMs, t.order}, id);
    }
    m_nowMs += shift;
    return shift;
}

qint64 CaptureClock::nextDueMs() const
{
    return m_queue.empty() ? -1 : m_queue.begin()->first.dueMs;
}

// Every timer due now fires once, earliest first; one started or restarted meanwhile waits for
// the next pass, as with Qt's own dispatcher, behind what was posted meanwhile. Those that may
// fire in this pass were all in the queue when it began and keep their places, so each is found
// after the one fired before it. One started meanwhile is due now or later, hence after them: the
// scan passes over such ones at the pass's end only (or after a nested loop moved the clock on).
int CaptureClock::fireDueTimers()
{
    const quint64 passOrder = m_order;
    DueKey from{std::numeric_limits<qint64>::min(), 0};
    int fired = 0;
    for (;;) {
        auto next = m_queue.lower_bound(from);
        while (next != m_queue.end() && next->first.dueMs <= m_nowMs && next->first.order >= passOrder)
            ++next;
        if (next == m_queue.end() || next->first.dueMs > m_nowMs)
            return fired;
        from = next->first;
        const int id = next->second;
        m_queue.erase(next);
        Timer &t = m_timers.at(id);
        QObject *object = t.object;
        qint64 due = t.dueMs + t.interval;
        if (due < m_nowMs)
            due = m_nowMs + t.interval;
        t.dueMs = due;
        t.order = m_order++;
        t.firing = true;
        QTimerEvent event(id);
        QCoreApplication::sendEvent(object, &event);
        ++fired;
        // The handler may have stopped the timer, or stopped it and started another under its id.
        const auto after = m_timers.find(id);
        if (after != m_timers.end() && after->second.firing) {
            after->second.firing = false;
            m_queue.emplace(DueKey{after->second.dueMs, after->second.order}, id);
        }
        if (m_interrupted)
            return fired;
    }
}

int CaptureClock::pollSockets(int timeoutMs)
{
    m_socketsPolledMs = wallMs();
    std::vector<pollfd> fds;
    fds.reserve(size_t(m_notifiers.size()) + 1);
    fds.push_back({m_wakeFd, POLLIN, 0});
    for (QSocketNotifier *n : qAsConst(m_notifiers)) {
        const short events = n->type() == QSocketNotifier::Read ? short(POLLIN)
                : n->type() == QSocketNotifier::Write           ? short(POLLOUT)
                                                                : short(POLLPRI);
        fds.push_back({int(n->socket()), events, 0});
    }
    int ready;
    do {
        ready = ::poll(fds.data(), nfds_t(fds.size()), timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0)
        return 0;
    if (fds[0].revents) {
        quint64 count;
        while (::read(m_wakeFd, &count, sizeof count) > 0) { }
    }
    // Notifiers may go away while others are served.
    const QList<QSocketNotifier *> notifiers = m_notifiers;
    int activated = 0;
    for (int i = 0; i < notifiers.size(); ++i) {
        if (!fds[size_t(i) + 1].revents || !m_notifiers.contains(notifiers.at(i)))
            continue;
        QEvent event(QEvent::SockAct);
        QCoreApplication::sendEvent(notifiers.at(i), &event);
        ++activated;
    }
    return activated;
}

bool CaptureClock::hasPendingEvents()
{
    return m_woken;
}

void CaptureClock::registerSocketNotifier(QSocketNotifier *notifier)
{
    if (!m_notifiers.contains(notifier))
        m_notifiers.append(notifier);
}

void CaptureClock::unregisterSocketNotifier(QSocketNotifier *notifier)
{
    m_notifiers.removeAll(notifier);
}

void CaptureClock::registerTimer(int timerId, int interval, Qt::TimerType timerType, QObject *object)
{
    const quint64 order = m_order++;
    m_timers[timerId] = {interval, timerType, object, m_nowMs + interval, order, order, false};
    m_queue.emplace(DueKey{m_nowMs + interval, order}, timerId);
    m_byObject.emplace(std::make_pair(quintptr(object), order), timerId);
}

void CaptureClock::remove(std::unordered_map<int, Timer>::iterator timer)
{
    const Timer &t = timer->second;
    if (!t.firing)
        m_queue.erase(DueKey{t.dueMs, t.order});
    m_byObject.erase(std::make_pair(quintptr(t.object), t.registered));
    m_timers.erase(timer);
}

bool CaptureClock::unregisterTimer(int timerId)
{
    const auto timer = m_timers.find(timerId);
    if (timer == m_timers.end())
        return false;
    remove(timer);
    return true;
}

bool CaptureClock::unregisterTimers(QObject *object)
{
    const auto first = m_byObject.lower_bound(std::make_pair(quintptr(object), quint64(0)));
    bool any = false;
    for (auto it = first; it != m_byObject.end() && it->first.first == quintptr(object);) {
        const int id = it->second;
        ++it;
        remove(m_timers.find(id));
        any = true;
    }
    return any;
}

QList<QAbstractEventDispatcher::TimerInfo> CaptureClock::registeredTimers(QObject *object) const
{
    QList<TimerInfo> list;
    for (auto it = m_byObject.lower_bound(std::make_pair(quintptr(object), quint64(0)));
         it != m_byObject.end() && it->first.first == quintptr(object); ++it) {
        const Timer &t = m_timers.at(it->second);
        list.append(TimerInfo(it->second, t.interval, t.type));
    }
    return list;
}

int CaptureClock::remainingTime(int timerId)
{
    const auto timer = m_timers.find(timerId);
    return timer == m_timers.end() ? -1 : int(qMax<qint64>(0, timer->second.dueMs - m_nowMs));
}

void CaptureClock::wakeUp()
{
    if (m_woken.exchange(true))
        return;
    const quint64 one = 1;
    if (m_wakeFd >= 0 && ::write(m_wakeFd, &one, sizeof one) < 0) {
        // The counter is full: the poll wakes just the same.
    }
}

void CaptureClock::interrupt()
{
    m_interrupted = true;
    wakeUp();
}

void CaptureClock::flush() { }

qint64 ThreadStopwatch::nowMs()
{
    if (const CaptureClock *clock = CaptureClock::current())
        return clock->nowMs();
    static const QElapsedTimer wall = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return wall.elapsed();
}

} // namespace tool
