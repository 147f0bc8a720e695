// The tools' capture clock on its own: which of two events due at the same instant comes first,
// and how a paced clock keeps up with the wall's.
#include "quietspan.h"
#include "testclock.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <vector>

using testsupport::runFor;

class tst_Clock : public QObject
{
    Q_OBJECT

private slots:
    void eventsDueTogetherComeInTheOrderTheyWereStarted_data();
    void eventsDueTogetherComeInTheOrderTheyWereStarted();
    void pacingFollowsTheSpeed_data();
    void pacingFollowsTheSpeed();
    void aSourceRunsOnOnlyWhileNothingComesBetween();
    void repeatsAreJumpedByWholePeriods_data();
    void repeatsAreJumpedByWholePeriods();
    void repeatsAreFoundOnlyWhereThreePeriodsMatch_data();
    void repeatsAreFoundOnlyWhereThreePeriodsMatch();
};

// Timers as NAME@START+INTERVAL, in the order they are started: '*' repeats; from its handler, '!'
// posts P and '^' starts a zero timer Z. The log gives each event with its time.
void tst_Clock::eventsDueTogetherComeInTheOrderTheyWereStarted_data()
{
    QTest::addColumn<QStringList>("timers");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("started together") << QStringList{"A@0+10", "B@0+10"} << QStringList{"A10", "B10"};
    QTest::newRow("started apart") << QStringList{"A@0+20", "B@10+10"} << QStringList{"A20", "B20"};
    QTest::newRow("a repeating timer's tick after one started before it")
            << QStringList{"A@0+10*", "B@0+20"} << QStringList{"A10", "B20", "A20", "A30"};
    QTest::newRow("a zero timer after what was due and what was posted with it")
            << QStringList{"A@0+10!^", "B@0+10"} << QStringList{"A10", "B10", "P10", "Z10"};
    QTest::newRow("a repeating zero timer after what it posted")
            << QStringList{"A@0+0*!"} << QStringList{"A0", "P0", "A0", "P0"};
}

void tst_Clock::eventsDueTogetherComeInTheOrderTheyWereStarted()
{
    QFETCH(QStringList, timers);
    QFETCH(QStringList, events);
    const tool::CaptureClock *clock = tool::CaptureClock::current();
    const qint64 start = clock->nowMs();
    QStringList log;
    const auto note = [&log, clock, start](const QString &name) {
        log << name + QString::number(clock->nowMs() - start);
    };
    std::vector<std::unique_ptr<QTimer>> started;
    QTimer zero;
    zero.setSingleShot(true);
    connect(&zero, &QTimer::timeout, this, [&note] { note(QStringLiteral("Z")); });
    const QRegularExpression form(QStringLiteral("^(\\w)@(\\d+)\\+(\\d+)(\\*?)(!?)(\\^?)$"));
    for (const QString &entry : qAsConst(timers)) {
        const QRegularExpressionMatch m = form.match(entry);
        QVERIFY2(m.hasMatch(), qPrintable(entry));
        if (const qint64 wait = m.captured(2).toInt() - (clock->nowMs() - start); wait > 0)
            runFor(int(wait));
        started.push_back(std::make_unique<QTimer>());
        QTimer *timer = started.back().get();
        timer->setSingleShot(m.captured(4).isEmpty());
        connect(timer, &QTimer::timeout, this,
                [&, timer, name = m.captured(1), posts = !m.captured(5).isEmpty(), zeroes = !m.captured(6).isEmpty()] {
                    note(name);
                    if (log.size() > events.size())
                        timer->stop(); // a repeating one, once the log has all it needs
                    if (zeroes)
                        zero.start(0);
                    if (posts)
                        QMetaObject::invokeMethod(this, [&note] { note(QStringLiteral("P")); }, Qt::QueuedConnection);
                });
        timer->start(m.captured(3).toInt());
    }
    runFor(50);
    QCOMPARE(log.mid(0, events.size()), events);
}

// The clock keeps pace with the wall's time times the speed: a timer 500 ms of the wall's away,
// fired exactly at its own time. The wall's margins are wide: what the speed's use would get wrong
// is a factor of two at least.
void tst_Clock::pacingFollowsTheSpeed_data()
{
    QTest::addColumn<double>("speed");
    QTest::addColumn<int>("clockMs");
    QTest::newRow("twice the wall's pace") << 2.0 << 1000;
    QTest::newRow("half the wall's pace") << 0.5 << 250;
}

void tst_Clock::pacingFollowsTheSpeed()
{
    QFETCH(double, speed);
    QFETCH(int, clockMs);
    tool::CaptureClock *clock = tool::CaptureClock::current();
    const auto unpaced = qScopeGuard([clock] { clock->setSpeed(0); });
    QTimer timer;
    timer.setSingleShot(true);
    QSignalSpy fired(&timer, &QTimer::timeout);
    QElapsedTimer wall;
    clock->setSpeed(speed);
    wall.start();
    const qint64 start = clock->nowMs();
    timer.start(clockMs);
    QVERIFY(fired.wait(2 * clockMs));
    const qint64 wallMs = wall.elapsed();
    QCOMPARE(clock->nowMs() - start, qint64(clockMs));
    QVERIFY2(wallMs >= 498 && wallMs < 900, qPrintable(QString::number(wallMs)));
}

// A replay hands over its next chunk at once only when nothing would have come before it: what was
// posted runs first, a timer due by then holds it, and a paced clock never runs on.
void tst_Clock::aSourceRunsOnOnlyWhileNothingComesBetween()
{
    tool::CaptureClock *clock = tool::CaptureClock::current();
    const qint64 start = clock->nowMs();
    QStringList log;
    QTimer due;
    due.setSingleShot(true);
    connect(&due, &QTimer::timeout, this, [&log] { log << QStringLiteral("timer"); });
    due.start(10);
    // As a replay's handler does, in a turn of the loop.
    QTimer::singleShot(0, this, [&] {
        QMetaObject::invokeMethod(this, [&log] { log << QStringLiteral("posted"); }, Qt::QueuedConnection);
        const auto runTo = [&](qint64 ms) {
            const bool ran = clock->runTo(start + ms);
            log << QStringLiteral("%1@%2").arg(ran).arg(clock->nowMs() - start);
        };
        runTo(9);
        runTo(10);
        clock->setSpeed(1000);
        log << QString::number(clock->runTo(start + 9));
        clock->setSpeed(0);
    });
    runFor(20);
    QCOMPARE(log, QStringList({"posted", "1@9", "0@9", "0", "timer"}));
}

// A jump over repeats of a 2 s period, 20 s left before the chunk: timers as NAME+INTERVAL, '*'
// repeats, '=' is the one that waits for the chunk. Each timer's first firing after the jump.
void tst_Clock::repeatsAreJumpedByWholePeriods_data()
{
    QTest::addColumn<QStringList>("timers");
    QTest::addColumn<double>("speed");
    QTest::addColumn<qint64>("jumped");
    QTest::addColumn<QStringList>("fired");
    QTest::newRow("timers that divide the period keep their phase")
            << QStringList{"A+2000*", "B+500"} << 0.0 << qint64(16000) << QStringList{"B16500", "A18000"};
    QTest::newRow("one that does not divide it holds the clock")
            << QStringList{"A+2000*", "C+3000*"} << 0.0 << qint64(0) << QStringList{"A2000", "C3000"};
    QTest::newRow("one due after the chunk stays") << QStringList{"A+2000*", "D+25000"} << 0.0 << qint64(16000)
                                                   << QStringList{"A18000", "D25000"};
    QTest::newRow("the chunk's own stays, and runs late") << QStringList{"A+2000*", "W+7000="} << 0.0 << qint64(16000)
                                                          << QStringList{"W16000", "A18000"};
    QTest::newRow("a paced clock does not jump") << QStringList{"A+2000*"} << 1000.0 << qint64(0) << QStringList{"A2000"};
}

void tst_Clock::repeatsAreJumpedByWholePeriods()
{
    QFETCH(QStringList, timers);
    QFETCH(double, speed);
    QFETCH(qint64, jumped);
    QFETCH(QStringList, fired);
    tool::CaptureClock *clock = tool::CaptureClock::current();
    const auto unpaced = qScopeGuard([clock] { clock->setSpeed(0); });
    clock->setSpeed(speed);
    const qint64 start = clock->nowMs();
    QStringList log;
    std::vector<std::unique_ptr<QTimer>> started;
    int waiting = -1;
    for (const QString &entry : qAsConst(timers)) {
        started.push_back(std::make_unique<QTimer>());
        QTimer *timer = started.back().get();
        timer->setSingleShot(!entry.contains(QLatin1Char('*')));
        connect(timer, &QTimer::timeout, this, [&log, timer, clock, start, name = entry.left(1)] {
            log << name + QString::number(clock->nowMs() - start);
            timer->stop();
        });
        timer->start(entry.mid(2).remove(QRegularExpression(QStringLiteral("\\D"))).toInt());
        if (entry.endsWith(QLatin1Char('=')))
            waiting = timer->timerId();
    }
    QCOMPARE(clock->skipPeriods(2000, start + 20000, waiting), jumped);
    QCOMPARE(clock->nowMs() - start, jumped);
    runFor(30000);
    QCOMPARE(log, fired);
}

// Writes as SECONDS:BYTES, looked at when the last is written, the quiet since the time given.
void tst_Clock::repeatsAreFoundOnlyWhereThreePeriodsMatch_data()
{
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<double>("since");
    QTest::addColumn<qint64>("period");
    const QStringList retries{"6:a", "6:b", "8:a", "8:b", "10:a", "10:b", "12:a", "12:b"};
    QTest::newRow("the same writes every two seconds") << retries << 0.5 << qint64(2000);
    QTest::newRow("a pattern two periods long") << QStringList{"1:a", "3:b", "5:a", "7:b", "9:a", "11:b", "13:a"} << 0.5
                                                << qint64(4000);
    QTest::newRow("a counter in one write") << QStringList{"6:a", "7:x1", "8:a", "9:x2", "10:a", "11:x3", "12:a"} << 0.5
                                            << qint64(0);
    QTest::newRow("a write out of step")
            << QStringList{"6:a", "7:c", "8:a", "9:c", "10:a", "11.5:c", "12:a"} << 0.5 << qint64(0);
    QTest::newRow("an extra write in the last period")
            << QStringList{"6:a", "8:a", "10:a", "11:c", "12:a"} << 0.5 << qint64(0);
    QTest::newRow("three writes, one a period") << QStringList{"8:a", "10:a", "12:a"} << 6.0 << qint64(2000);
    QTest::newRow("periods from before the quiet") << QStringList{"8:a", "10:a", "12:a"} << 6.5 << qint64(0);
    QTest::newRow("nothing repeats") << QStringList{"10:a", "11:b", "12:c"} << 0.5 << qint64(0);
    QTest::newRow("longer than a minute") << QStringList{"0:a", "70:a", "140:a", "210:a"} << 0.0 << qint64(0);
}

void tst_Clock::repeatsAreFoundOnlyWhereThreePeriodsMatch()
{
    QFETCH(QStringList, writes);
    QFETCH(double, since);
    QFETCH(qint64, period);
    std::deque<tool::QuietSpan::Write> log;
    for (const QString &w : qAsConst(writes))
        log.push_back({qint64(w.section(':', 0, 0).toDouble() * 1000), w.section(':', 1).toLatin1()});
    QCOMPARE(tool::QuietSpan::periodOf(log, log.back().ms, qint64(since * 1000)), period);
}

CANSERVICE_TEST_MAIN(tst_Clock)
#include "tst_clock.moc"
