#include "captureclock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <ctime>

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

    int events = sockets && !m_notifiers.isEmpty() ? pollSockets(0) : 0;
    if (timers)
        events += fireDueTimers();
    if (events > 0 || !mayWait || m_woken || m_interrupted)
        return events > 0;

    emit aboutToBlock();
    const int next = timers ? nextDue() : -1;
    if (m_stopAtMs >= 0 && timers && (next < 0 || m_timers[size_t(next)].dueMs > m_stopAtMs)) {
        // Everything up to the stop has happened.
        m_stopped = true;
        m_nowMs = qMax(m_nowMs, m_stopAtMs);
        emit stopped();
        return true;
    }
    if (next < 0) {
        // Nothing will ever fall due: wait for a socket or a wake-up, as any event loop does.
        events += pollSockets(-1);
        return events > 0;
    }
    const qint64 dueMs = m_timers[size_t(next)].dueMs;
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

int CaptureClock::nextDue() const
{
    int best = -1;
    for (size_t i = 0; i < m_timers.size(); ++i) {
        const Timer &t = m_timers[i];
        if (t.firing)
            continue;
        if (best < 0 || t.dueMs < m_timers[size_t(best)].dueMs
            || (t.dueMs == m_timers[size_t(best)].dueMs && t.order < m_timers[size_t(best)].order))
            best = int(i);
    }
    return best;
}

// Every timer due now fires once, earliest first; one started or restarted meanwhile waits for
// the next pass, as with Qt's own dispatcher.
int CaptureClock::fireDueTimers()
{
    const quint64 passOrder = m_order;
    int fired = 0;
    for (;;) {
        int index = -1;
        for (size_t i = 0; i < m_timers.size(); ++i) {
            const Timer &t = m_timers[i];
            if (t.firing || t.dueMs > m_nowMs || t.order >= passOrder)
                continue;
            if (index < 0 || t.dueMs < m_timers[size_t(index)].dueMs
                || (t.dueMs == m_timers[size_t(index)].dueMs
                    && t.order < m_timers[size_t(index)].order))
                index = int(i);
        }
        if (index < 0)
            return fired;
        Timer &t = m_timers[size_t(index)];
        const int id = t.id;
        QObject *object = t.object;
        qint64 next = t.dueMs + t.interval;
        if (next < m_nowMs)
            next = m_nowMs + t.interval;
        t.dueMs = next;
        t.order = m_order++;
        t.firing = true;
        QTimerEvent event(id);
        QCoreApplication::sendEvent(object, &event);
        ++fired;
        // The handler may have stopped the timer, or others: find it again.
        for (Timer &after : m_timers) {
            if (after.id == id) {
                after.firing = false;
                break;
            }
        }
        if (m_interrupted)
            return fired;
    }
}

int CaptureClock::pollSockets(int timeoutMs)
{
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
    m_timers.push_back({timerId, interval, timerType, object, m_nowMs + interval, m_order++, false});
}

bool CaptureClock::unregisterTimer(int timerId)
{
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
        if (it->id == timerId) {
            m_timers.erase(it);
            return true;
        }
    }
    return false;
}

bool CaptureClock::unregisterTimers(QObject *object)
{
    const auto before = m_timers.size();
    m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(),
                                  [object](const Timer &t) { return t.object == object; }),
                   m_timers.end());
    return m_timers.size() != before;
}

QList<QAbstractEventDispatcher::TimerInfo> CaptureClock::registeredTimers(QObject *object) const
{
    QList<TimerInfo> list;
    for (const Timer &t : m_timers) {
        if (t.object == object)
            list.append(TimerInfo(t.id, t.interval, t.type));
    }
    return list;
}

int CaptureClock::remainingTime(int timerId)
{
    for (const Timer &t : m_timers) {
        if (t.id == timerId)
            return int(qMax<qint64>(0, t.dueMs - m_nowMs));
    }
    return -1;
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
