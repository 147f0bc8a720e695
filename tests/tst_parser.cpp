// Frames out of a byte stream: reassembly, checksums, acknowledgements and the receive time-out.
#include "logcapture.h"
#include "servicefixture.h"
#include "signalrecorder.h"
#include "simpleservice_access.h"

#include <QtTest>

using namespace canservice;
using namespace testsupport;

namespace {
// Engine rotation 3000: dispatched, it shows as getRotate() == 3000.
const QByteArray RotationFrame = frame(0x41, hex("030bb8"));
} // namespace

class tst_Parser : public QObject
{
    Q_OBJECT

private slots:
    void frameCutAnywhereIsDispatchedOnce_data();
    void frameCutAnywhereIsDispatchedOnce();
    void framesInOneChunkAreAcknowledgedAndDispatchedInOrder();
    void wrongChecksumIsRefusedAndNotDispatched();
    void loneAnswerByte_data();
    void loneAnswerByte();
    void zeroLengthFrameSwallowsBytesUntilTheTimeout();
    void cutFrameIsDroppedAfterTheTimeout();
    void timeoutKeepsRunningAfterAChecksumError();
    void checksum_data();
    void checksum();
    void byteUtilities();
};

void tst_Parser::frameCutAnywhereIsDispatchedOnce_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    const int n = RotationFrame.size();
    for (int i = 0; i <= n; ++i)
        for (int j = i; j <= n; ++j)
            QTest::addRow("cut at %d and %d", i, j) << i << j;
}

void tst_Parser::frameCutAnywhereIsDispatchedOnce()
{
    QFETCH(int, first);
    QFETCH(int, second);
    ServiceOnLine box;
    SignalRecorder signals_(box.service.get());
    QTimer &timeout = Access::parseOutTimer(*box.service);

    box.receive(RotationFrame.left(first));
    box.receive(RotationFrame.mid(first, second - first));
    // A chunk that comes while a frame is cut (even an empty one) starts the time-out; it
    // keeps running unless that chunk finishes the frame.
    const int n = RotationFrame.size();
    const bool continuedUnfinished = first > 0 && first < n && second < n;
    QCOMPARE(timeout.isActive(), continuedUnfinished);
    box.receive(RotationFrame.mid(second));

    QCOMPARE(box.takeWrites(), QStringList{"ff/true"});
    QCOMPARE(signals_.events, QStringList({"notifyCanbusStatus(3)", "rotateChanged"}));
    QCOMPARE(box.service->getRotate(), 3000);
    QVERIFY(!timeout.isActive());
    QCOMPARE(Access::parseState(*box.service), 0);
}

void tst_Parser::framesInOneChunkAreAcknowledgedAndDispatchedInOrder()
{
    ServiceOnLine box;
    SignalRecorder signals_(box.service.get());
    QObject::connect(box.line, &VirtualSerialLine::written, &signals_,
                     [&](const QByteArray &bytes) { signals_.events << "ack " + bytes.toHex(); });

    // Noise and a stray FF between the frames are dropped.
    box.receive(frame(0xF6, hex("100000")) + hex("00ff13") + frame(0x24, hex("4000000000"))
                + frame(0x40, hex("01020304")));
    QCOMPARE(signals_.events,
             QStringList({"ack ff", "notifyCanbusStatus(3)", "speedChanged", "ack ff",
                          "notifyCanbusStatus(3)", "doorChanged", "unitDataChanged", "ack ff",
                          "notifyCanbusStatus(3)", "messageChanged(64)"}));
    QCOMPARE(box.service->getSpeed(), 1.0f);
    QVERIFY(box.service->isLeftFrontDoorOpen());
}

void tst_Parser::wrongChecksumIsRefusedAndNotDispatched()
{
    ServiceOnLine box;
    SignalRecorder signals_(box.service.get());
    LogCapture log;
    box.receive(hex("2e41020300b8"));
    QCOMPARE(box.takeWrites(), QStringList{"f0/true"});
    QVERIFY(signals_.events.isEmpty());
    QCOMPARE(log.items().filter(QStringLiteral("checksum err!")).size(), 1);
    QCOMPARE(log.items().filter(QStringLiteral("id:")).size(), 0);

    // The parser is idle again: the same frame with its right checksum goes through.
    box.receive(hex("2e41020300b9"));
    QCOMPARE(box.takeWrites(), QStringList{"ff/true"});
    QCOMPARE(log.items().filter(QStringLiteral("id: 65")).size(), 1);
}

void tst_Parser::loneAnswerByte_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<bool>("linkUp");
    QTest::addColumn<int>("stateAfter");
    QTest::newRow("alone while idle") << QByteArray() << hex("ff") << true << 0;
    QTest::newRow("inside a longer chunk") << QByteArray() << hex("ffff") << false << 0;
    QTest::newRow("after noise in the chunk") << QByteArray() << hex("00ff") << false << 0;
    // Inside a frame it is the frame's own byte: here the first data byte, there the id.
    QTest::newRow("alone inside a frame") << hex("2e4103") << hex("ff") << false << 4;
    QTest::newRow("alone after a header") << hex("2e") << hex("ff") << false << 2;
}

void tst_Parser::loneAnswerByte()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, chunk);
    QFETCH(bool, linkUp);
    QFETCH(int, stateAfter);
    ServiceOnLine box;
    SimpleService &s = *box.service;
    box.receive(before);
    s.start();
    box.recorder->clearWrites();
    SignalRecorder signals_(&s);

    box.receive(chunk);
    QVERIFY(box.recorder->writes().isEmpty());
    QCOMPARE(signals_.events, linkUp ? QStringList{"notifyCanbusStatus(3)"} : QStringList());
    QCOMPARE(Access::checkConnectTimer(s).isActive(), linkUp);
    QCOMPARE(Access::requestConnectTimer(s).isActive(), !linkUp);
    QCOMPARE(Access::parseState(s), stateAfter);
}

void tst_Parser::zeroLengthFrameSwallowsBytesUntilTheTimeout()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    box.receive(hex("2e4100"));
    box.receive(RotationFrame);
    // Taken as data of the empty frame: no acknowledgement, no dispatch.
    QVERIFY(box.recorder->writes().isEmpty());
    QCOMPARE(Access::parseData(s), RotationFrame);
    QVERIFY(Access::parseRemain(s) < 0);
    QVERIFY(Access::parseOutTimer(s).isActive());

    QTRY_COMPARE_WITH_TIMEOUT(Access::parseState(s), 0, 2000);
    box.receive(RotationFrame);
    QCOMPARE(box.takeWrites(), QStringList{"ff/true"});
    QCOMPARE(s.getRotate(), 3000);
}

void tst_Parser::cutFrameIsDroppedAfterTheTimeout()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    LogCapture log;
    QSignalSpy timedOut(&Access::parseOutTimer(s), &QTimer::timeout);

    box.receive(RotationFrame.left(3));
    box.receive(RotationFrame.mid(3, 1));
    QVERIFY(Access::parseOutTimer(s).isActive());
    QElapsedTimer clock;
    clock.start();
    QVERIFY(timedOut.wait(2000));
    QVERIFY2(clock.elapsed() >= 400, "the receive time-out is half a second");
    QCOMPARE(Access::parseState(s), 0);
    QCOMPARE(log.items().filter(QStringLiteral("parse out!!!")), QStringList{"parse out!!! 4"});

    // The rest of the cut frame is noise now; the next whole frame is taken.
    box.receive(RotationFrame.mid(4) + RotationFrame);
    QCOMPARE(box.takeWrites(), QStringList{"ff/true"});
}

void tst_Parser::timeoutKeepsRunningAfterAChecksumError()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    QSignalSpy timedOut(&Access::parseOutTimer(s), &QTimer::timeout);

    box.receive(hex("2e4102"));
    box.receive(hex("0300b8"));
    QCOMPARE(box.takeWrites(), QStringList{"f0/true"});
    QVERIFY(Access::parseOutTimer(s).isActive());

    // A later frame still in progress when the time-out fires is lost.
    box.receive(RotationFrame.left(4));
    QVERIFY(timedOut.wait(2000));
    box.receive(RotationFrame.mid(4));
    QVERIFY(box.recorder->writes().isEmpty());
    QCOMPARE(s.getRotate(), 0);
}

void tst_Parser::checksum_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("sum");
    QTest::newRow("start command") << hex("810101") << 0x7C;
    QTest::newRow("empty") << QByteArray() << 0xFF;
    QTest::newRow("wraps past 8 bits") << hex("ffff02") << 0xFF;
    QTest::newRow("sum of zero") << hex("8080") << 0xFF;
    QTest::newRow("sum of 255") << hex("f00f") << 0x00;
    QTest::newRow("climate key") << hex("c602ac01") << 0x8A;
}

void tst_Parser::checksum()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, sum);
    ServiceOnLine box;
    const QByteArray copy = bytes;
    QCOMPARE(box.service->getCheckSum(bytes), sum);
    QCOMPARE(bytes, copy);
}

void tst_Parser::byteUtilities()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    QCOMPARE(s.combineBytes(0x12, 0x34), 0x1234);
    QCOMPARE(s.combineBytes(0xFF, 0xFF), 65535);
    QCOMPARE(s.combineBytes(0x12, 0x34, 0x56), 0x123456);
    QCOMPARE(s.combineBytes(0x80, 0x00, 0x00, 0x00), -2147483647 - 1);
    QCOMPARE(s.combineBytes(0x12, 0x34, 0x56, 0x78), 0x12345678);
    QCOMPARE(s.combineBytes(0xFF, 0xFF, 0xFF, 0xF6), -10);
    QCOMPARE(s.toString(0x0A), QStringLiteral("0a"));
    QCOMPARE(s.toString(0xE0), QStringLiteral("e0"));
    QByteArray two = hex("2e0a");
    QCOMPARE(s.toString(two), QStringLiteral("2e 0a "));
    QByteArray none;
    QCOMPARE(s.toString(none), QString());
}

QTEST_GUILESS_MAIN(tst_Parser)
#include "tst_parser.moc"
