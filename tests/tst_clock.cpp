// The tools' capture clock on its own: which of two events due at the same instant comes first,
// and how a paced clock keeps up with the wall's.
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

CANSERVICE_TEST_MAIN(tst_Clock)
#include "tst_clock.moc"
