// Vehicle settings with the ambient colour, setting keys, unit settings and unit commands.
#include "canbusmanager.h"
#include "logcapture.h"
#include "servicefixture.h"
#include "signalrecorder.h"
#include "simpleservice_access.h"
#include "translator.h"

#include <QtTest>

using namespace canservice;
using namespace testsupport;

namespace {
QString settingFrame(int code, int value)
{
    const int sum = ~(0xC6 + 0x02 + code + value) & 0xFF;
    return QStringLiteral("2ec602%1%2%3/true")
            .arg(code, 2, 16, QLatin1Char('0'))
            .arg(value, 2, 16, QLatin1Char('0'))
            .arg(sum, 2, 16, QLatin1Char('0'));
}
} // namespace

class tst_Settings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void ambientColourFromTheHostList_data();
    void ambientColourFromTheHostList();
    void settingKeys_data();
    void settingKeys();
    void colourKeyStepsThroughTheTable_data();
    void colourKeyStepsThroughTheTable();
    void unitsFromTheMessages_data();
    void unitsFromTheMessages();
    void unitCommands_data();
    void unitCommands();
};

void tst_Settings::init()
{
    CanBusManager::instance()->setHwdColorDiffList({{0x11, QStringLiteral("White"), 0},
                                                    {0x22, QStringLiteral("Red"), 0},
                                                    {0x33, QStringLiteral("Blue"), 0},
                                                    {0x22, QStringLiteral("Red again"), 0}});
}

void tst_Settings::ambientColourFromTheHostList_data()
{
    QTest::addColumn<QList<QByteArray>>("payloads");
    QTest::addColumn<int>("colorIndex");
    QTest::addColumn<int>("changes");
    QTest::newRow("third record") << QList<QByteArray>{hex("3300000000")} << 2 << 1;
    QTest::newRow("same again") << QList<QByteArray>{hex("3300000000"), hex("33ffffffff")} << 2 << 1;
    QTest::newRow("earlier of two equal codes") << QList<QByteArray>{hex("2200000000")} << 1 << 1;
    QTest::newRow("first record") << QList<QByteArray>{hex("1100000000")} << 0 << 1;
    QTest::newRow("no record") << QList<QByteArray>{hex("3300000000"), hex("4400000000")} << 0xFF << 2;
    QTest::newRow("no record after construction is no change")
            << QList<QByteArray>{hex("4400000000")} << 0xFF << 0;
    QTest::newRow("4 bytes") << QList<QByteArray>{hex("33000000")} << 0xFF << 0;
    QTest::newRow("6 bytes") << QList<QByteArray>{hex("330000000000")} << 0xFF << 0;
}

void tst_Settings::ambientColourFromTheHostList()
{
    QFETCH(QList<QByteArray>, payloads);
    QFETCH(int, colorIndex);
    QFETCH(int, changes);
    ServiceOnLine box;
    QSignalSpy ambient(box.service.get(), &CanServiceBase::sigAmbientChanged);
    LogCapture log;
    for (const QByteArray &p : payloads)
        box.receiveFrame(0x48, p);
    const CarSettingData settings = box.service->getCarSettingData();
    QCOMPARE(int(settings.colorIndex), colorIndex);
    QCOMPARE(settings.state0, quint8(1));
    QCOMPARE(settings.colorPosition, quint8(0));
    QCOMPARE(ambient.count(), changes);
    QCOMPARE(log.items().filter(QRegularExpression(QStringLiteral("^\\d+$"))).size(),
             payloads.size());
}

void tst_Settings::settingKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("value");
    QTest::addColumn<QStringList>("writes");
    QTest::newRow("reset") << 0 << 77 << QStringList{settingFrame(0x00, 0x00)};
    QTest::newRow("value, low byte") << 3 << 0x1234 << QStringList{settingFrame(0x04, 0x34)};
    QTest::newRow("light mode 3") << 5 << 3 << QStringList{"2ec602b10185/true"};
    QTest::newRow("light mode 5, spelled out") << 5 << 5 << QStringList{settingFrame(0xB1, 4)};
    QTest::newRow("light mode outside the map") << 5 << 9 << QStringList{settingFrame(0xB1, 0)};
    QTest::newRow("light mode negative") << 5 << -1 << QStringList{settingFrame(0xB1, 0)};
    const int modes[] = {5, 0, 2, 1, 3, 4, 6};
    for (int v = 0; v < 7; ++v)
        QTest::addRow("light mode map %d", v) << 5 << v << QStringList{settingFrame(0xB1, modes[v])};
    QTest::newRow("key 1") << 1 << 1 << QStringList();
    QTest::newRow("key 2") << 2 << 1 << QStringList();
    QTest::newRow("key 6") << 6 << 1 << QStringList();
    QTest::newRow("key -1") << -1 << 1 << QStringList();
}

void tst_Settings::settingKeys()
{
    QFETCH(int, key);
    QFETCH(int, value);
    QFETCH(QStringList, writes);
    ServiceOnLine box;
    QCOMPARE(box.service->sendCarSettingKey(key, value), 0);
    QCOMPARE(box.takeWrites(), writes);
}

void tst_Settings::colourKeyStepsThroughTheTable_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("logged");
    // The table holds 0x50 + its index in these rows.
    QTest::newRow("forward from 0") << 0 << 1 << 0x51 << QStringList{"81"};
    QTest::newRow("forward from 19") << 19 << 1 << 0x64 << QStringList{"100"};
    QTest::newRow("forward from 20 wraps to 0") << 20 << 1 << 0 << QStringList{"0"};
    QTest::newRow("back from 0") << 0 << 0 << 0 << QStringList({"0", "0"});
    QTest::newRow("back from 1") << 1 << 0 << 0x50 << QStringList({"0", "80"});
    QTest::newRow("back from 21") << 21 << 2 << 0x64 << QStringList({"0", "100"});
    QTest::newRow("back from beyond the table") << 22 << 0 << 0 << QStringList({"0", "0"});
}

void tst_Settings::colourKeyStepsThroughTheTable()
{
    QFETCH(int, position);
    QFETCH(int, value);
    QFETCH(int, code);
    QFETCH(QStringList, logged);
    ServiceOnLine box;
    SimpleService &s = *box.service;
    QByteArray &table = Access::colorCodeTable(s);
    for (int i = 0; i < table.size(); ++i)
        table[i] = char(0x50 + i);
    AmbientLightData light;
    light.colorPosition = quint8(position);
    Access::ambientLightChanged(s, light);

    LogCapture log;
    QCOMPARE(s.sendCarSettingKey(4, value), 0);
    QCOMPARE(box.takeWrites(), QStringList{settingFrame(0xBD, code)});
    QCOMPARE(log.items(), logged);
}

void tst_Settings::unitsFromTheMessages_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QList<int>>("levels");
    QTest::addColumn<QStringList>("texts");

    const QString none;
    QTest::newRow("climate, Fahrenheit") << 0x29 << hex("0000000040000000")
                                         << QList<int>{0, 0, 0, 0, 0, 0}
                                         << QStringList({none, none, none, Translator::translate(1163), none, none});
    QTest::newRow("climate, Celsius") << 0x29 << hex("00000000bf000000")
                                      << QList<int>{0, 0, 0, 1, 0, 0}
                                      << QStringList({none, none, none, Translator::translate(1150), none, none});
    QTest::newRow("doors, miles whatever byte 1") << 0x24 << hex("00ff800000")
                                                  << QList<int>{0, 0, 0, 0, 0, 0}
                                                  << QStringList({none, Translator::translate(1169), none, none, none, none});
    QTest::newRow("doors, kilometres") << 0x24 << hex("0000000000")
                                       << QList<int>{0, 1, 0, 0, 0, 0}
                                       << QStringList({none, Translator::translate(1145), none, none, none, none});
    QTest::newRow("doors, neither") << 0x24 << hex("0008000000")
                                    << QList<int>{0, 0, 0, 0, 0, 0}
                                    << QStringList({none, none, none, none, none, none});
    QTest::newRow("six bytes") << 0x24 << hex("000000000000")
                               << QList<int>{0, 0, 0, 0, 0, 0}
                               << QStringList({none, none, none, none, none, none});
}

void tst_Settings::unitsFromTheMessages()
{
    QFETCH(int, id);
    QFETCH(QByteArray, payload);
    QFETCH(QList<int>, levels);
    QFETCH(QStringList, texts);
    ServiceOnLine box;
    QSignalSpy changed(box.service.get(), &CanServiceBase::unitDataChanged);
    box.receiveFrame(id, payload);
    UnitData units;
    QCOMPARE(box.service->getUnitData(units), 0);
    QCOMPARE(units.level, levels);
    QCOMPARE(units.text, texts);
    QCOMPARE(units.maxLevel, QList<int>({4, 2, 0, 2, 0, 0}));
    QCOMPARE(changed.count(), 1);
}

void tst_Settings::unitCommands_data()
{
    QTest::addColumn<QList<QByteArray>>("climateThenDoors");
    QTest::addColumn<int>("entry");
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<QStringList>("logged");

    const QList<QByteArray> none;
    QTest::newRow("entry 0 steps") << none << 0 << QStringList{settingFrame(0x05, 1)}
                                   << QStringList{"1 4"};
    QTest::newRow("entry 1 at level 0") << none << 1 << QStringList{settingFrame(0xA3, 0x0E)}
                                        << QStringList{"0 2"};
    QTest::newRow("entry 1 at level 1")
            << QList<QByteArray>{frame(0x24, hex("0000000000"))} << 1
            << QStringList{settingFrame(0xA3, 0x0F)} << QStringList{"1 2"};
    QTest::newRow("entry 3 at level 1")
            << QList<QByteArray>{frame(0x29, hex("0000000000000000"))} << 3
            << QStringList{settingFrame(0xA0, 1)} << QStringList{"1 2"};
    QTest::newRow("entry 3 at level 0") << none << 3 << QStringList{settingFrame(0xA0, 0)}
                                        << QStringList{"0 2"};
    QTest::newRow("entry 5 wraps, logs before") << none << 5 << QStringList{settingFrame(0x07, 0)}
                                                << QStringList{"1 0"};
    for (int entry : {2, 4, 6, -1})
        QTest::addRow("entry %d", entry) << none << entry << QStringList() << QStringList();
}

void tst_Settings::unitCommands()
{
    QFETCH(QList<QByteArray>, climateThenDoors);
    QFETCH(int, entry);
    QFETCH(QStringList, writes);
    QFETCH(QStringList, logged);
    ServiceOnLine box;
    for (const QByteArray &f : climateThenDoors)
        box.receive(f);
    box.line->clearWrites();
    UnitData before;
    box.service->getUnitData(before);

    LogCapture log;
    box.service->setUnitCmd(entry);
    QCOMPARE(box.takeWrites(), writes);
    QCOMPARE(log.items(), logged);
    UnitData after;
    box.service->getUnitData(after);
    QCOMPARE(after.level, before.level);
}

QTEST_GUILESS_MAIN(tst_Settings)
#include "tst_settings.moc"
