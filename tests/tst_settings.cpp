// Setting keys, the ambient-light change filter and unit commands.
#include "canbusmanager.h"
#include "logcapture.h"
#include "canboxframe.h"
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
    return QString::fromLatin1(canbox::frame(0xC6, {quint8(code), quint8(value)}).toHex())
            + QStringLiteral("/true");
}
} // namespace

class tst_Settings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void settingKeys_data();
    void settingKeys();
    void colourKeyStepsThroughTheTable_data();
    void colourKeyStepsThroughTheTable();
    void unitCommands_data();
    void unitCommands();
    void ambientLightFilter_data();
    void ambientLightFilter();
};

void tst_Settings::init()
{
    CanBusManager::instance()->setHwdColorDiffList({{0x11, QStringLiteral("White"), 0},
                                                    {0x22, QStringLiteral("Red"), 0},
                                                    {0x33, QStringLiteral("Blue"), 0},
                                                    {0x22, QStringLiteral("Red again"), 0}});
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
    QTest::newRow("light mode 0") << 5 << 0 << QStringList{settingFrame(0xB1, 5)};
    QTest::newRow("light mode 6") << 5 << 6 << QStringList{settingFrame(0xB1, 6)};
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
    box.recorder->clearWrites();
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

void tst_Settings::ambientLightFilter_data()
{
    QTest::addColumn<int>("state0");
    QTest::addColumn<int>("colorPosition");
    QTest::addColumn<int>("colorIndex");
    QTest::addColumn<bool>("changed");
    // Stored after construction: 1, 0, 0xFF.
    QTest::newRow("same three") << 1 << 0 << 0xFF << false;
    QTest::newRow("state0") << 0 << 0 << 0xFF << true;
    QTest::newRow("position") << 1 << 3 << 0xFF << true;
    QTest::newRow("index") << 1 << 0 << 2 << true;
}

void tst_Settings::ambientLightFilter()
{
    QFETCH(int, state0);
    QFETCH(int, colorPosition);
    QFETCH(int, colorIndex);
    QFETCH(bool, changed);
    ServiceOnLine box;
    SimpleService &s = *box.service;
    QSignalSpy ambient(&s, &CanServiceBase::sigAmbientChanged);

    AmbientLightData light;
    light.state0 = quint8(state0);
    light.colorPosition = quint8(colorPosition);
    light.colorIndex = quint8(colorIndex);
    // Fields past the first three are neither compared nor stored.
    light.state3 = 9;
    light.valueText = "0";
    Access::ambientLightChanged(s, light);
    QCOMPARE(ambient.count(), changed ? 1 : 0);
    const CarSettingData stored = s.getCarSettingData();
    QCOMPARE(int(stored.state0), state0);
    QCOMPARE(int(stored.colorPosition), colorPosition);
    QCOMPARE(int(stored.colorIndex), colorIndex);
    QCOMPARE(stored.state3, quint8(1));
    QCOMPARE(stored.valueText, QByteArray("16777215"));

    Access::ambientLightChanged(s, light);
    QCOMPARE(ambient.count(), changed ? 1 : 0);
}

QTEST_GUILESS_MAIN(tst_Settings)
#include "tst_settings.moc"
