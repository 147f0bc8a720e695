// Start, stop and the supervision of the link to the box.
#include "logcapture.h"
#include "servicefixture.h"
#include "signalrecorder.h"
#include "simpleservice_access.h"
#include "testclock.h"

#include <QtTest>

using namespace canservice;
using namespace testsupport;

namespace {
const QStringList StartFrames = {"2e8101007d/false", "2e8101017c/false", "2e90026aff04/false",
                                 "2e900230ff3e/false", "2e6c02a315d9/false"};
const QStringList RetryFrames = {"2e8101007d/false", "2e8101017c/false", "2e900230ff3e/false"};

// Which timers run, as the state they stand for.
QString linkState(SimpleService &s)
{
    const bool retry = Access::requestConnectTimer(s).isActive();
    const bool watchdog = Access::checkConnectTimer(s).isActive();
    const bool probe = Access::sendTimer(s).isActive();
    if (!retry && !watchdog && !probe)
        return QStringLiteral("idle");
    if (retry && !watchdog && !probe)
        return QStringLiteral("connecting");
    if (!retry && watchdog && !probe)
        return QStringLiteral("connected");
    if (!retry && watchdog && probe)
        return QStringLiteral("probing");
    return QStringLiteral("inconsistent");
}
} // namespace

class tst_Link : public QObject
{
    Q_OBJECT

private slots:
    void startWritesTheHandshakeAndRetries();
    void retriesEveryTwoSecondsWithoutAnAnswer();
    void anAnswerConnects_data();
    void anAnswerConnects();
    void watchdogCountsFromTheLastAnswer();
    void probeIsLostOnItsFourthTick();
    void probeAnsweredInRealTimeNeverReportsLoss();
    void lossInRealTimeThenRetries();
    void stopClosesTheLineAndLeavesTheTimers_data();
    void stopClosesTheLineAndLeavesTheTimers();
    void startAfterStopDoesNotReopen();
};

void tst_Link::startWritesTheHandshakeAndRetries()
{
    ServiceOnLine box;
    SignalRecorder signals_(box.service.get());
    LogCapture log;
    box.service->start();
    QCOMPARE(box.takeWrites(), StartFrames);
    QCOMPARE(linkState(*box.service), QStringLiteral("connecting"));
    QVERIFY(!Access::parseOutTimer(*box.service).isActive());
    QVERIFY(!Access::longPressTimer(*box.service).isActive());
    QVERIFY(signals_.events.isEmpty());
    QCOMPARE(log.items(), QStringList({"Ostrel", "start radar"}));
}

void tst_Link::retriesEveryTwoSecondsWithoutAnAnswer()
{
    ServiceOnLine box;
    SignalRecorder signals_(box.service.get());
    box.service->start();
    box.recorder->clearWrites();
    QSignalSpy retry(&Access::requestConnectTimer(*box.service), &QTimer::timeout);

    Stopwatch clock;
    QVERIFY(retry.wait(3000));
    QVERIFY2(clock.elapsed() >= 1800, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(box.takeWrites(), RetryFrames);
    QVERIFY(retry.wait(3000));
    QCOMPARE(box.takeWrites(), RetryFrames);
    QVERIFY(signals_.events.isEmpty());
    QCOMPARE(linkState(*box.service), QStringLiteral("connecting"));
}

void tst_Link::anAnswerConnects_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("a frame") << frame(0x85, hex("01"));
    QTest::newRow("a frame no decoder knows") << frame(0xC8, hex("0102"));
    QTest::newRow("a lone FF") << hex("ff");
}

void tst_Link::anAnswerConnects()
{
    QFETCH(QByteArray, answer);
    ServiceOnLine box;
    SignalRecorder signals_(box.service.get());
    box.service->start();
    box.receive(answer);
    QCOMPARE(signals_.take(), QStringList{"notifyCanbusStatus(3)"});
    QCOMPARE(linkState(*box.service), QStringLiteral("connected"));
    box.receive(answer);
    QCOMPARE(signals_.take(), QStringList{"notifyCanbusStatus(3)"});
    QCOMPARE(linkState(*box.service), QStringLiteral("connected"));
}

// The whole supervision on the clock, to the millisecond: answers at 0 and 10 s, the probe 30 s
// after the last one, the loss on the probe's fourth tick, then the retries every 2 s. In real time
// on Qt's own dispatcher (45 s, tst_link_realtime) each within half a second of its time after the
// last answer.
void tst_Link::watchdogCountsFromTheLastAnswer()
{
    if (!Stopwatch::exact() && !qEnvironmentVariableIsSet("CANSERVICE_REAL_TIME"))
        QSKIP("45 seconds of waiting: run on the capture clock (tst_link_captureclock), or in real time "
              "(tst_link_realtime, label slow)");
    ServiceOnLine box;
    SimpleService &s = *box.service;
    Stopwatch clock;
    QStringList seen;
    QObject::connect(box.line, &VirtualSerialLine::written, &s, [&](const QByteArray &bytes) {
        seen << QStringLiteral("%1 %2").arg(clock.elapsed()).arg(QString::fromLatin1(bytes.toHex()));
    });
    QObject::connect(&s, &CanServiceBase::notifyCanbusStatus, &s, [&](int status) {
        seen << QStringLiteral("%1 status %2").arg(clock.elapsed()).arg(status);
    });
    // Waits in steps: in real time a long wait on a coarse timer may end a twentieth early.
    const auto runTo = [&clock](qint64 ms) {
        while (clock.elapsed() < ms)
            runFor(int(qMin<qint64>(ms - clock.elapsed(), 100)));
    };
    box.receive(hex("ff"));
    runTo(10000);
    const qint64 answer = clock.elapsed();
    box.receive(frame(0x85, hex("01")));
    // Past the second retry by half a second, before the third: room for a late timer in real time.
    runTo(answer + 30000 + 1200 + 4000 + (Stopwatch::exact() ? 1 : 500));
    QStringList expected{"0 status 3"};
    for (const auto &[after, what] : std::initializer_list<std::pair<int, const char *>>{
                 {0, "ff"}, {0, "status 3"}, {30000, "2e8101017c"}, {31200, "status 0"}, {33200, "2e8101007d"},
                 {33200, "2e8101017c"}, {33200, "2e900230ff3e"}, {35200, "2e8101007d"}, {35200, "2e8101017c"},
                 {35200, "2e900230ff3e"}})
        expected << QStringLiteral("%1 %2").arg(answer + after).arg(QLatin1String(what));
    if (Stopwatch::exact()) {
        QCOMPARE(seen, expected);
        return;
    }
    QVERIFY2(seen.size() == expected.size(), qPrintable(seen.join(QStringLiteral(", "))));
    for (int i = 0; i < seen.size(); ++i) {
        const int late = seen.at(i).section(' ', 0, 0).toInt() - expected.at(i).section(' ', 0, 0).toInt();
        QVERIFY2(seen.at(i).section(' ', 1) == expected.at(i).section(' ', 1) && qAbs(late) <= 500,
                 qPrintable(seen.join(QStringLiteral(", "))));
    }
}

void tst_Link::probeIsLostOnItsFourthTick()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    SignalRecorder signals_(&s);
    box.receive(hex("ff"));
    signals_.take();
    box.recorder->clearWrites();

    Access::checkConnectTimeout(s);
    QCOMPARE(box.takeWrites(), QStringList{"2e8101017c/false"});
    QCOMPARE(linkState(s), QStringLiteral("probing"));
    for (int tick = 1; tick <= 3; ++tick) {
        Access::sendTimeout(s);
        QCOMPARE(Access::sendTimeoutCount(s), tick);
        QCOMPARE(linkState(s), QStringLiteral("probing"));
    }
    QVERIFY(signals_.events.isEmpty());
    Access::sendTimeout(s);
    QCOMPARE(signals_.take(), QStringList{"notifyCanbusStatus(0)"});
    QCOMPARE(Access::sendTimeoutCount(s), 0);
    QCOMPARE(linkState(s), QStringLiteral("connecting"));
    QVERIFY(box.recorder->writes().isEmpty());

    // The box comes back.
    box.receiveFrame(0x85, hex("01"));
    QCOMPARE(signals_.take(), QStringList{"notifyCanbusStatus(3)"});
    QCOMPARE(linkState(s), QStringLiteral("connected"));
}

void tst_Link::probeAnsweredInRealTimeNeverReportsLoss()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    box.receive(hex("ff"));
    QSignalSpy status(&s, &CanServiceBase::notifyCanbusStatus);

    QSignalSpy tick(&Access::sendTimer(s), &QTimer::timeout);
    Access::checkConnectTimeout(s);
    QVERIFY(tick.wait(1000));
    QCOMPARE(Access::sendTimeoutCount(s), 1);
    box.receive(hex("ff"));
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toInt(), 3);
    QCOMPARE(linkState(s), QStringLiteral("connected"));
    // Longer than the rest of the probe would have taken.
    QVERIFY(!status.wait(1500));
    QCOMPARE(linkState(s), QStringLiteral("connected"));
}

void tst_Link::lossInRealTimeThenRetries()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    box.receive(hex("ff"));
    QSignalSpy status(&s, &CanServiceBase::notifyCanbusStatus);
    QSignalSpy retry(&Access::requestConnectTimer(s), &QTimer::timeout);
    box.recorder->clearWrites();

    Stopwatch clock;
    Access::checkConnectTimeout(s);
    QVERIFY(status.wait(3000));
    const qint64 lostAfter = clock.elapsed();
    QVERIFY2(lostAfter >= 1100, qPrintable(QString::number(lostAfter)));
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toInt(), 0);
    QCOMPARE(linkState(s), QStringLiteral("connecting"));

    QVERIFY(retry.wait(3000));
    QCOMPARE(box.takeWrites(), QStringList{"2e8101017c/false"} + RetryFrames);
    QCOMPARE(status.count(), 1);
}

void tst_Link::stopClosesTheLineAndLeavesTheTimers_data()
{
    QTest::addColumn<QString>("state");
    QTest::newRow("idle") << "idle";
    QTest::newRow("connecting") << "connecting";
    QTest::newRow("connected") << "connected";
    QTest::newRow("probing") << "probing";
}

void tst_Link::stopClosesTheLineAndLeavesTheTimers()
{
    QFETCH(QString, state);
    ServiceOnLine box;
    SimpleService &s = *box.service;
    if (state != QLatin1String("idle"))
        s.start();
    if (state == QLatin1String("connected") || state == QLatin1String("probing"))
        box.receive(hex("ff"));
    if (state == QLatin1String("probing"))
        Access::checkConnectTimeout(s);
    QCOMPARE(linkState(s), state);
    box.recorder->clearWrites();
    SignalRecorder signals_(&s);
    LogCapture log;

    s.stop();
    QCOMPARE(box.takeWrites(), QStringList{"2e8101007d/false"});
    QVERIFY(!box.line->isOpen());
    QCOMPARE(linkState(s), state);
    QVERIFY(signals_.events.isEmpty());
    QCOMPARE(log.items(), QStringList{"Stop Ostrel"});

    // Even on a line opened again, nothing reaches the parser any more.
    Access::serialPort(s).open(QStringLiteral("virtual:reopened"), 38400);
    VirtualSerialLine *reopened = Access::serialPort(s).virtualLine();
    reopened->deliver(frame(0xF6, hex("100000")));
    QCOMPARE(VirtualSerialLinePrivate::get(reopened)->bytesWritten, qint64(0));
    QVERIFY(signals_.events.isEmpty());
    QCOMPARE(s.getSpeed(), 0.0f);
}

void tst_Link::startAfterStopDoesNotReopen()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    s.start();
    s.stop();
    box.recorder->clearWrites();
    s.start();
    QVERIFY(!box.line->isOpen());
    QVERIFY(box.recorder->writes().isEmpty());
    QCOMPARE(linkState(s), QStringLiteral("connecting"));
}

CANSERVICE_TEST_MAIN(tst_Link)
#include "tst_link.moc"
