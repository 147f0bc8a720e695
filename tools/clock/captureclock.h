#pragma once

#include <QAbstractEventDispatcher>
#include <QList>

#include <atomic>
#include <limits>
#include <map>
#include <unordered_map>
#include <utility>

class QSocketNotifier;

namespace tool {

// An event dispatcher whose timers run on a clock of its own. When nothing is due and nothing is
// posted, time jumps to the next timer: a replay's chunks (delivered by timers at the capture's
// times), the plugin's receive time-out, its long presses and its link supervision then happen
// exactly at their times, as fast as the processor allows, and the same in every run. With a
// speed set, the clock keeps pace with the wall clock at that factor instead, with the same
// order of events. Socket notifiers (the interrupt's socket pair) are served as usual.
//
// Installed before the application object is made:
//     QCoreApplication::setEventDispatcher(new tool::CaptureClock);
// Timers that fall due at the same time fire in the order they were started.
class CaptureClock : public QAbstractEventDispatcher
{
    Q_OBJECT

public:
    explicit CaptureClock(QObject *parent = nullptr);
    ~CaptureClock() override;

    // The clock of the current thread, if it runs on one.
    static CaptureClock *current();

    qint64 nowMs() const { return m_nowMs; }
    // 0: time jumps (the default); X > 0: X seconds of this clock a second of the wall's.
    void setSpeed(double speed);
    double speed() const { return m_speed; }
    // From within a handler, for what hands over events due one after the other (a replay's
    // chunks): what was posted is sent, and then the clock moves on to ms if nothing else falls due
    // by then, so that the next event can follow in the same turn of the loop. False, with the
    // clock as it was, on a paced clock, past a stop, or when a timer is due by then.
    bool runTo(qint64 ms);
    // The head unit repeats itself through a quiet stretch: the clock moves on by whole periods,
    // as many as fit before untilMs with two to spare, so that the last repeats before then run
    // as they would have. Every timer due before untilMs must have an interval that divides the
    // period, so that it keeps its phase; each moves on by the same time.
    // The exempt timer only waits for untilMs and stays. The time moved on; 0 when the timers do
    // not allow it, on a paced clock, or when fewer than three periods are left.
    qint64 skipPeriods(qint64 periodMs, qint64 untilMs, int exemptTimerId);
    // The clock goes no further than ms: what falls due by then happens, then stopped() is
    // emitted, once, and nothing more happens in the thread, posted or timed, until its loop is
    // told to end.
    void stopAt(qint64 ms) { m_stopAtMs = ms; }

    bool processEvents(QEventLoop::ProcessEventsFlags flags) override;
    bool hasPendingEvents() override;
    void registerSocketNotifier(QSocketNotifier *notifier) override;
    void unregisterSocketNotifier(QSocketNotifier *notifier) override;
    void registerTimer(int timerId, int interval, Qt::TimerType timerType, QObject *object) override;
    bool unregisterTimer(int timerId) override;
    bool unregisterTimers(QObject *object) override;
    QList<TimerInfo> registeredTimers(QObject *object) const override;
    int remainingTime(int timerId) override;
    void wakeUp() override;
    void interrupt() override;
    void flush() override;

signals:
    void stopped();

private:
    struct Timer
    {
        int interval;
        Qt::TimerType type;
        QObject *object;
        qint64 dueMs;
        quint64 order; // when it was (re)started, for timers due at the same time
        quint64 registered; // when it was registered, for registeredTimers()
        bool firing;
    };
    // A timer's place in the queue: by time due, then by when it was (re)started. Unique.
    struct DueKey
    {
        qint64 dueMs;
        quint64 order;
        bool operator<(const DueKey &other) const
        {
            return dueMs != other.dueMs ? dueMs < other.dueMs : order < other.order;
        }
    };
    qint64 nextDueMs() const; // the time of the timer due first, or -1
    int fireDueTimers();
    void remove(std::unordered_map<int, Timer>::iterator timer);
    // Waits on the sockets for at most timeoutMs (-1: until one is ready or a wake-up), and
    // activates those that are ready. The number activated.
    int pollSockets(int timeoutMs);
    qint64 wallMs() const;

    std::unordered_map<int, Timer> m_timers; // by id
    std::map<DueKey, int> m_queue; // the ids of the timers not firing, the one due first first
    std::map<std::pair<quintptr, quint64>, int> m_byObject; // by object, in registration order
    QList<QSocketNotifier *> m_notifiers;
    qint64 m_nowMs = 0;
    quint64 m_order = 0;
    double m_speed = 0.0;
    qint64 m_stopAtMs = -1;
    bool m_stopped = false;
    qint64 m_paceWallMs = 0; // the wall's time and the clock's when pacing last started
    qint64 m_paceClockMs = 0;
    int m_wakeFd = -1;
    static constexpr qint64 SocketPollMs = 5;
    qint64 m_socketsPolledMs = std::numeric_limits<qint64>::min() / 2; // the wall's time of the last look
    std::atomic<bool> m_woken{false};
    std::atomic<bool> m_interrupted{false};
};

// A stopwatch on the thread's time: the capture clock's where the thread runs on one, the
// monotonic clock's otherwise. For what keeps time itself (the simulated box's scenario), so that
// it keeps the same time as the timers around it.
class ThreadStopwatch
{
public:
    void start() { m_startMs = nowMs(); }
    bool isValid() const { return m_startMs >= 0; }
    qint64 elapsed() const { return nowMs() - m_startMs; }

private:
    static qint64 nowMs();
    qint64 m_startMs = -1;
};

} // namespace tool
