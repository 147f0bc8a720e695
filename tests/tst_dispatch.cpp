// Every accepted frame is a sign of life, then goes to the decoders of its identifier.
#include "servicefixture.h"
#include "signalrecorder.h"
#include "simpleservice_access.h"

#include <QtTest>

using namespace canservice;
using namespace testsupport;

class tst_Dispatch : public QObject
{
    Q_OBJECT

private slots:
    void everyFrameCountsForTheLink();
    void routing_data();
    void routing();
};

void tst_Dispatch::everyFrameCountsForTheLink()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    s.start();
    // In the middle of a probe: the watchdog fired and two probe ticks went by.
    Access::checkConnectTimeout(s);
    Access::sendTimeout(s);
    Access::sendTimeout(s);
    Access::requestConnectTimer(s).start();
    box.line->clearWrites();
    SignalRecorder signals_(&s);

    box.receiveFrame(200, hex("0102"));
    QCOMPARE(box.takeWrites(), QStringList{"ff/true"});
    QCOMPARE(signals_.take(), QStringList{"notifyCanbusStatus(3)"});
    QCOMPARE(Access::sendTimeoutCount(s), 0);
    QVERIFY(!Access::sendTimer(s).isActive());
    QVERIFY(!Access::requestConnectTimer(s).isActive());
    QVERIFY(Access::checkConnectTimer(s).isActive());
    QVERIFY(Access::checkConnectTimer(s).remainingTime() > 29000);

    // Reported again for every frame, not only on a change.
    box.receiveFrame(200, hex("01"));
    QCOMPARE(signals_.take(), QStringList{"notifyCanbusStatus(3)"});
}

void tst_Dispatch::routing_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QStringList>("signalsAfterStatus");

    QTest::newRow("report, 4 bytes") << 0x40 << hex("01020304") << QStringList{"messageChanged(64)"};
    QTest::newRow("report, 3 bytes") << 0x40 << hex("010203") << QStringList();
    QTest::newRow("report, 5 bytes") << 0x40 << hex("0102030405") << QStringList();
    QTest::newRow("run mode") << 0x85 << hex("01") << QStringList();
    QTest::newRow("car enable") << 0xF2 << hex("0102") << QStringList();
    QTest::newRow("car lamp") << 0xF3 << hex("0102") << QStringList();
    QTest::newRow("unlisted") << 0x6A << hex("0102") << QStringList();
    QTest::newRow("doors and units")
            << 0x24 << hex("4000800000") << QStringList({"doorChanged", "unitDataChanged"});
    QTest::newRow("doors message of 6 bytes still reaches the units")
            << 0x24 << hex("400080000000") << QStringList{"unitDataChanged"};
    QTest::newRow("climate and units")
            << 0x29 << hex("0000000040000000")
            << QStringList({"acStatusChanged", "acManualClimateModeChanged", "unitDataChanged"});
    QTest::newRow("speed") << 0xF6 << hex("100000") << QStringList{"speedChanged"};
    QTest::newRow("rotation") << 0x41 << hex("030bb8") << QStringList{"rotateChanged"};
    QTest::newRow("temperature unit")
            << 0x68 << hex("0102") << QStringList({"temperatureChanged", "messageChanged(104)"});
    QTest::newRow("version") << 0x30 << hex("5631") << QStringList{"sigVersionData"};
    QTest::newRow("tyre alert") << 0x65 << hex("0101") << QStringList{"tireAlert"};
    QTest::newRow("emergency call") << 0x95 << hex("0100") << QStringList();
    QTest::newRow("steering angle") << 0x2F << hex("1027") << QStringList();
    QTest::newRow("steering key") << 0x20 << hex("0501") << QStringList{"keyEvent(5,0,true)"};
    QTest::newRow("vehicle key")
            << 0x11 << hex("00004001000000000000") << QStringList{"keyEvent(64,0,true)"};
    QTest::newRow("air cleaning") << 0xFF << hex("8100") << QStringList{"acStatusChanged"};
    QTest::newRow("front radar") << 0x23 << hex("010203040000") << QStringList{"sigRadarChanged"};
    QTest::newRow("rear radar") << 0x22 << hex("01020304") << QStringList{"sigRadarChanged"};
    QTest::newRow("parking assist") << 0x25 << hex("8000") << QStringList{"otherInfoDataChanged"};
    QTest::newRow("driving data") << 0x50 << hex("100100100000") << QStringList{"drivingDataChanged"};
    QTest::newRow("fuel") << 0x16 << QByteArray(17, '\x01') << QStringList{"fuelDataChanged"};
    QTest::newRow("past fuel") << 0x17 << QByteArray(17, '\x01') << QStringList{"fuelDataChanged"};
    QTest::newRow("mileage") << 0x09 << QByteArray(9, '\x01') << QStringList{"timeMileageInformation"};
    QTest::newRow("light setting") << 0x67 << hex("0004") << QStringList{"lightSetInformation"};
    QTest::newRow("ambient colour") << 0x48 << hex("0200000000") << QStringList{"sigAmbientChanged"};
}

void tst_Dispatch::routing()
{
    QFETCH(int, id);
    QFETCH(QByteArray, payload);
    QFETCH(QStringList, signalsAfterStatus);
    ServiceOnLine box;
    SignalRecorder signals_(box.service.get());

    box.receiveFrame(id, payload);
    QCOMPARE(box.takeWrites(), QStringList{"ff/true"});
    QCOMPARE(signals_.events, QStringList{"notifyCanbusStatus(3)"} + signalsAfterStatus);
}

QTEST_GUILESS_MAIN(tst_Dispatch)
#include "tst_dispatch.moc"
