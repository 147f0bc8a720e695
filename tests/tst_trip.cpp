// Trip-computer texts, fuel history, total mileage and the other-information record.
#include "servicefixture.h"
#include "signalrecorder.h"
#include "translator.h"

#include <QtTest>

using namespace canservice;
using namespace testsupport;

namespace {
QStringList fields(const DrivingData &d)
{
    return {d.item0,  d.item1,  d.item2,  d.item3,  d.item4,  d.item5,  d.item6,  d.item7,  d.item8,
            d.item9,  d.item10, d.item11, d.item12, d.item13, d.item14, d.item15, d.item16, d.item17};
}

QStringList fuel(const FuelConsumptionData &f)
{
    return {f.fuel0, f.fuel1, f.fuel2, f.fuel3, f.fuel4, f.fuel5};
}

QByteArray bytesWith(int length, std::initializer_list<std::pair<int, int>> bytes)
{
    QByteArray b(length, '\0');
    for (const auto &[index, value] : bytes)
        b[index] = char(value);
    return b;
}
} // namespace

class tst_Trip : public QObject
{
    Q_OBJECT

private slots:
    void drivingDataItems_data();
    void drivingDataItems();
    void drivingDataLengthsAndUnknownItems();
    void fuelTexts_data();
    void fuelTexts();
    void mileage_data();
    void mileage();
    void lightSettingAndMileageUnit();
    void otherInfoCarriesItsFixedText();
};

void tst_Trip::drivingDataItems_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("number");
    QTest::addColumn<int>("unit");

    QTest::newRow("0x10 W16, miles") << hex("1001d2040000") << 4 << "1234" << 1169;
    QTest::newRow("0x10 W16, kilometres") << hex("1000ffffffff") << 4 << "65535" << 1145;
    QTest::newRow("0x20 W32/10") << hex("2001d2040000") << 4 << "123" << 1169;
    QTest::newRow("0x21 negative truncates to zero") << hex("2100f6ffffff") << 11 << "-1" << 1145;
    QTest::newRow("0x21 -0.5 is 0") << hex("2100fbffffff") << 11 << "0" << 1145;
    QTest::newRow("0x22 most negative") << hex("220100000080") << 17 << "-214748364" << 1169;
    QTest::newRow("0x30 L/100km") << hex("30007b000000") << 7 << "12.3" << 1167;
    QTest::newRow("0x31 km/L") << hex("310105000000") << 15 << "0.5" << 1168;
    QTest::newRow("0x32 mpg") << hex("320200000000") << 9 << "0.0" << 1141;
    QTest::newRow("0x30 only bits 0-1 select") << hex("30077b000000") << 7 << "12.3" << 1141;
    QTest::newRow("0x30 no marker for missing") << hex("3004ffff0000") << 7 << "6553.5" << 1167;
    QTest::newRow("0x40 km/h") << hex("4000e8030000") << 0 << "100.0" << 1148;
    QTest::newRow("0x41 mph") << hex("4101e8030000") << 6 << "100.0" << 1205;
    QTest::newRow("0x42") << hex("4203e8030000") << 12 << "100.0" << 1205;
    QTest::newRow("0x50 W24 from bytes 1-3") << hex("50100e00ffff") << 2 << "3600" << 1172;
    QTest::newRow("0x51") << hex("51ffffff0000") << 8 << "16777215" << 1172;
    QTest::newRow("0x52") << hex("520100000000") << 14 << "1" << 1172;
    QTest::newRow("0x61") << hex("61010a000000") << 3 << "1.0" << 1168;
}

void tst_Trip::drivingDataItems()
{
    QFETCH(QByteArray, payload);
    QFETCH(int, field);
    QFETCH(QString, number);
    QFETCH(int, unit);
    ServiceOnLine box;
    QSignalSpy changed(box.service.get(), &CanServiceBase::drivingDataChanged);
    box.receiveFrame(0x50, payload);
    QCOMPARE(changed.count(), 1);

    DrivingData data;
    QCOMPARE(box.service->getDrivingData(data), 0);
    QStringList expected;
    for (int i = 0; i < 18; ++i)
        expected << (i == field ? number + Translator::translate(unit) : QString());
    QCOMPARE(fields(data), expected);
}

void tst_Trip::drivingDataLengthsAndUnknownItems()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    QSignalSpy changed(&s, &CanServiceBase::drivingDataChanged);
    box.receiveFrame(0x50, hex("100110000000"));
    box.receiveFrame(0x50, hex("2001d2040000"));
    QCOMPARE(changed.count(), 2);
    DrivingData data;
    s.getDrivingData(data);
    QCOMPARE(data.item4, QStringLiteral("123") + Translator::translate(1169));

    const QStringList before = fields(data);
    box.receiveFrame(0x50, hex("1001d20400"));
    box.receiveFrame(0x50, hex("1001d204000000"));
    QCOMPARE(changed.count(), 2);
    box.receiveFrame(0x50, hex("1101d2040000"));
    box.receiveFrame(0x50, hex("0001d2040000"));
    QCOMPARE(changed.count(), 4);
    s.getDrivingData(data);
    QCOMPARE(fields(data), before);
}

void tst_Trip::fuelTexts_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("signals_");

    QTest::newRow("current") << 0x16 << bytesWith(17, {{0, 5}, {1, 0x00}, {2, 0x7B}})
                             << QStringList({"5", "12.3", "", "", "", ""}) << 1;
    QTest::newRow("current, whole tenths") << 0x16 << bytesWith(17, {{0, 255}, {2, 0x0A}})
                                           << QStringList({"255", "1", "", "", "", ""}) << 1;
    QTest::newRow("current, zero") << 0x16 << bytesWith(17, {})
                                   << QStringList({"0", "0", "", "", "", ""}) << 1;
    QTest::newRow("current, 16 bytes") << 0x16 << bytesWith(16, {{0, 5}}) << QStringList({"", "", "", "", "", ""})
                                       << 0;
    QTest::newRow("past")
            << 0x17 << bytesWith(17, {{3, 0x01}, {4, 0x00}, {8, 0x01}, {9, 0x00}, {13, 0xFF}, {14, 0xFF}})
            << QStringList({"", "", "25.6", "25.6", "25.6", "6553.5"}) << 1;
    QTest::newRow("past, bytes between are not read")
            << 0x17 << bytesWith(17, {{0, 9}, {5, 9}, {10, 9}, {15, 9}, {16, 9}})
            << QStringList({"", "", "0", "0", "0", "0"}) << 1;
    QTest::newRow("past, 18 bytes") << 0x17 << bytesWith(18, {{3, 1}}) << QStringList({"", "", "", "", "", ""})
                                    << 0;
}

void tst_Trip::fuelTexts()
{
    QFETCH(int, id);
    QFETCH(QByteArray, payload);
    QFETCH(QStringList, texts);
    QFETCH(int, signals_);
    ServiceOnLine box;
    QSignalSpy changed(box.service.get(), &CanServiceBase::fuelDataChanged);
    box.receiveFrame(id, payload);
    FuelConsumptionData data;
    QCOMPARE(box.service->getFuelConsumptionData(data), 0);
    QCOMPARE(fuel(data), texts);
    QCOMPARE(changed.count(), signals_);
}

void tst_Trip::mileage_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<float>("oil");
    QTest::addColumn<float>("time");
    QTest::newRow("bytes 4-8 00 01 00 00 0A")
            << bytesWith(9, {{5, 0x01}, {8, 0x0A}}) << 25.6f << 1.0f;
    QTest::newRow("shared byte 6") << bytesWith(9, {{6, 0x01}}) << 0.1f << 6553.6f;
    QTest::newRow("largest") << QByteArray(9, '\xff') << 1677721.5f << 1677721.5f;
    QTest::newRow("8 bytes ignored") << bytesWith(8, {{5, 1}}) << 0.0f << 0.0f;
    QTest::newRow("10 bytes ignored") << bytesWith(10, {{5, 1}}) << 0.0f << 0.0f;
}

void tst_Trip::mileage()
{
    QFETCH(QByteArray, payload);
    QFETCH(float, oil);
    QFETCH(float, time);
    ServiceOnLine box;
    QSignalSpy changed(box.service.get(), &CanServiceBase::timeMileageInformation);
    box.receiveFrame(0x09, payload);
    QCOMPARE(box.service->getOilAllMileage(), oil);
    QCOMPARE(box.service->getTimeAllMileage(), time);
    QCOMPARE(changed.count(), payload.size() == 9 ? 1 : 0);
}

void tst_Trip::lightSettingAndMileageUnit()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    QSignalSpy changed(&s, &CanServiceBase::lightSetInformation);
    QCOMPARE(s.getMileageUnits(), 0);
    box.receiveFrame(0x67, hex("0004"));
    QCOMPARE(s.getMileageUnits(), 4);
    box.receiveFrame(0x67, hex("00fb"));
    QCOMPARE(s.getMileageUnits(), 0);
    box.receiveFrame(0x67, hex("ffff"));
    QCOMPARE(changed.count(), 3);
    box.receiveFrame(0x67, hex("00"));
    box.receiveFrame(0x67, hex("000000"));
    QCOMPARE(s.getMileageUnits(), 4);
    QCOMPARE(changed.count(), 3);
}

void tst_Trip::otherInfoCarriesItsFixedText()
{
    ServiceOnLine box;
    OtherInfoData data;
    data.info0 = QStringLiteral("stale");
    data.infoFlag = false;
    QCOMPARE(box.service->getOtherInfoData(data), 0);
    QCOMPARE(data.info7, Translator::translate(1184));
    QVERIFY(!data.info7.isEmpty());
    QVERIFY(data.info0.isEmpty());
    QVERIFY(data.parkingAssistText.isEmpty());
    QVERIFY(data.info8.isEmpty());
    QVERIFY(data.infoFlag);
}

QTEST_GUILESS_MAIN(tst_Trip)
#include "tst_trip.moc"
