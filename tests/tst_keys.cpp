// Steering-wheel and vehicle keys: press, short release, long press, release after it.
#include "servicefixture.h"
#include "signalrecorder.h"
#include "simpleservice_access.h"
#include "logcapture.h"
#include "testclock.h"

#include <QtTest>

using namespace canservice;
using namespace testsupport;

namespace {
QByteArray carKey(int key, int state, int length = 10)
{
    QByteArray p(length, '\0');
    p[2] = char(key);
    p[3] = char(state);
    return p;
}

QStringList keyEvents(SignalRecorder &r)
{
    return r.take().filter(QStringLiteral("keyEvent"));
}
} // namespace

class tst_Keys : public QObject
{
    Q_OBJECT

private slots:
    void shortPresses_data();
    void shortPresses();
    void longPressInRealTime();
    void longPressReleasedAfterTheTimer();
    void wrongLengthsAreIgnored();
};

void tst_Keys::shortPresses_data()
{
    QTest::addColumn<QList<QByteArray>>("frames");
    QTest::addColumn<QStringList>("events");

    const auto swc = [](const char *payload) { return frame(0x20, hex(payload)); };
    const auto car = [](int key, int state) { return frame(0x11, carKey(key, state)); };

    QTest::newRow("press and release")
            << QList<QByteArray>{swc("0501"), swc("0500")}
            << QStringList({"keyEvent(5,0,true)", "keyEvent(5,1,true)"});
    QTest::newRow("key 49 carries the flag")
            << QList<QByteArray>{swc("3101"), swc("3100")}
            << QStringList({"keyEvent(49,0,true)", "keyEvent(49,1,true)"});
    QTest::newRow("key 50 does not")
            << QList<QByteArray>{swc("3201"), swc("3200")}
            << QStringList({"keyEvent(50,0,false)", "keyEvent(50,1,false)"});
    QTest::newRow("no repeat while held")
            << QList<QByteArray>{swc("0501"), swc("0501"), swc("0701"), swc("0500")}
            << QStringList({"keyEvent(5,0,true)", "keyEvent(5,1,true)"});
    QTest::newRow("release reports the pressed key")
            << QList<QByteArray>{swc("0501"), swc("0700")}
            << QStringList({"keyEvent(5,0,true)", "keyEvent(5,1,true)"});
    QTest::newRow("release with nothing held") << QList<QByteArray>{swc("0500")} << QStringList();
    QTest::newRow("other states ignored")
            << QList<QByteArray>{swc("0502"), swc("05ff"), swc("0501"), swc("0502"), swc("0500")}
            << QStringList({"keyEvent(5,0,true)", "keyEvent(5,1,true)"});
    QTest::newRow("vehicle key")
            << QList<QByteArray>{car(0x40, 1), car(0x40, 0)}
            << QStringList({"keyEvent(64,0,true)", "keyEvent(64,1,true)"});
    QTest::newRow("vehicle key above 49 keeps the flag")
            << QList<QByteArray>{car(0x60, 1), car(0x60, 0)}
            << QStringList({"keyEvent(96,0,true)", "keyEvent(96,1,true)"});
    QTest::newRow("one key at a time across both messages")
            << QList<QByteArray>{swc("3201"), car(0x40, 1), car(0x40, 0), car(0x40, 1)}
            << QStringList({"keyEvent(50,0,false)", "keyEvent(50,1,false)",
                            "keyEvent(64,0,true)"});
    QTest::newRow("the flag is latched at the press")
            << QList<QByteArray>{car(0x60, 1), swc("6000")}
            << QStringList({"keyEvent(96,0,true)", "keyEvent(96,1,true)"});
}

void tst_Keys::shortPresses()
{
    QFETCH(QList<QByteArray>, frames);
    QFETCH(QStringList, events);
    ServiceOnLine box;
    SignalRecorder recorder(box.service.get());
    for (const QByteArray &f : frames)
        box.receive(f);
    QCOMPARE(keyEvents(recorder), events);
}

void tst_Keys::longPressInRealTime()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    SignalRecorder recorder(&s);
    QSignalSpy keys(&s, &CanServiceBase::keyEvent);

    // A release within the time is a short press and no long press follows.
    box.receiveFrame(0x20, hex("0501"));
    // A coarse timer may run out up to 5 % late.
    runFor(400);
    QVERIFY(Access::longPressTimer(s).remainingTime() < 1200);
    box.receiveFrame(0x20, hex("0500"));
    QCOMPARE(keyEvents(recorder), QStringList({"keyEvent(5,0,true)", "keyEvent(5,1,true)"}));
    QVERIFY(!keys.wait(1700));

    // Held: the long press comes after a second and a half, the release after it reports 3.
    Stopwatch clock;
    box.receiveFrame(0x20, hex("0501"));
    QVERIFY(keys.wait(3000));
    QVERIFY2(clock.elapsed() >= 1400, qPrintable(QString::number(clock.elapsed())));
    if (Stopwatch::exact())
        QCOMPARE(clock.elapsed(), qint64(1500));
    QCOMPARE(keyEvents(recorder), QStringList({"keyEvent(5,0,true)", "keyEvent(5,2,true)"}));
    QVERIFY(Access::keyPressed(s));
    box.receiveFrame(0x20, hex("0500"));
    QCOMPARE(keyEvents(recorder), QStringList{"keyEvent(5,3,true)"});
    QVERIFY(!Access::keyPressed(s));
}

void tst_Keys::longPressReleasedAfterTheTimer()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    SignalRecorder recorder(&s);
    box.receiveFrame(0x11, carKey(0x40, 1));
    // The timer's expiry, without waiting for it.
    Access::longPressTimer(s).stop();
    QMetaObject::invokeMethod(&s, "onLongPressTimeout");
    box.receiveFrame(0x20, hex("0901"));
    box.receiveFrame(0x20, hex("0900"));
    box.receiveFrame(0x20, hex("0901"));
    QCOMPARE(keyEvents(recorder), QStringList({"keyEvent(64,0,true)", "keyEvent(64,2,true)",
                                               "keyEvent(64,3,true)", "keyEvent(9,0,true)"}));
}

void tst_Keys::wrongLengthsAreIgnored()
{
    ServiceOnLine box;
    SignalRecorder recorder(box.service.get());
    LogCapture log;
    box.receiveFrame(0x20, hex("05"));
    box.receiveFrame(0x20, hex("050100"));
    box.receiveFrame(0x11, carKey(0x40, 1, 9));
    box.receiveFrame(0x11, carKey(0x40, 1, 11));
    QVERIFY(keyEvents(recorder).isEmpty());
    QCOMPARE(log.items().filter(QRegularExpression(QStringLiteral("^-- (9|11)$"))),
             QStringList({"-- 9", "-- 11"}));
}

CANSERVICE_TEST_MAIN(tst_Keys)
#include "tst_keys.moc"
