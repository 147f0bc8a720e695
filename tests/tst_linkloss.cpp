// The whole silence path in real time: 30 s of watchdog, a probe, and the loss 1.2 s later.
#include "servicefixture.h"
#include "signalrecorder.h"
#include "simpleservice_access.h"

#include <QtTest>

using namespace canservice;
using namespace testsupport;

class tst_LinkLoss : public QObject
{
    Q_OBJECT

private slots:
    void silenceAfterAnAnswerIsALossAfter31Seconds();
};

void tst_LinkLoss::silenceAfterAnAnswerIsALossAfter31Seconds()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, false);
    s.start();
    box.receiveFrame(0x30, hex("56312e30"));
    box.line->clearWrites();
    QSignalSpy status(&s, &CanServiceBase::notifyCanbusStatus);
    QSignalSpy probe(box.line, &VirtualSerialLine::written);
    QElapsedTimer clock;
    clock.start();

    // Qt runs timers of 20 s and more to the whole second, so the watchdog may be half a second out.
    QVERIFY(probe.wait(32000));
    const qint64 probedAfter = clock.elapsed();
    QVERIFY2(probedAfter >= 29000, qPrintable(QString::number(probedAfter)));
    QCOMPARE(box.takeWrites(), QStringList{"2e8101017c/false"});

    QVERIFY(status.wait(3000));
    const qint64 lostAfter = clock.elapsed();
    QVERIFY2(lostAfter - probedAfter >= 1100, qPrintable(QString::number(lostAfter - probedAfter)));
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toInt(), 0);
    QVERIFY(Access::requestConnectTimer(s).isActive());
    QVERIFY(!Access::checkConnectTimer(s).isActive());
    QVERIFY(!Access::sendTimer(s).isActive());

    QTRY_COMPARE_WITH_TIMEOUT(box.line->writes().size(), 3, 3000);
    QCOMPARE(box.takeWrites(),
             QStringList({"2e8101007d/false", "2e8101017c/false", "2e900230ff3e/false"}));
    QCOMPARE(status.count(), 1);
}

QTEST_GUILESS_MAIN(tst_LinkLoss)
#include "tst_linkloss.moc"
