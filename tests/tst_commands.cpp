// What the head unit's requests and settings put on the wire.
#include "servicefixture.h"
#include "simpleservice_access.h"

#include <QtTest>

#include <functional>

using namespace canservice;
using namespace testsupport;

using Operation = std::function<int(SimpleService &)>;
Q_DECLARE_METATYPE(Operation)

class tst_Commands : public QObject
{
    Q_OBJECT

private slots:
    void operations_data();
    void operations();
    void vehicleDataMapIsLeftAlone();
};

void tst_Commands::operations_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<int>("result");

    const auto none = [](auto call) {
        return Operation([call](SimpleService &s) {
            call(s);
            return 0;
        });
    };

    QTest::newRow("request cuts to 8 bits")
            << Operation([](SimpleService &s) { return s.request(0x130, 0x1FF); })
            << QStringList{"2e900230ff3e/false"} << 0;
    QTest::newRow("request negative")
            << Operation([](SimpleService &s) { return s.request(-1, -256); })
            << QStringList{"2e9002ff006e/false"} << 0;
    QTest::newRow("speed") << none([](SimpleService &s) { s.requestSpeed(); })
                           << QStringList{"2e9002f6ff78/false"} << 0;
    QTest::newRow("driving data")
            << Operation([](SimpleService &s) { return s.requestDrivingData(); })
            << QStringList{"2e900250ff1e/false"} << 0;
    QTest::newRow("setting cuts to 8 bits")
            << Operation([](SimpleService &s) { return s.setSettings(0x104, 0x301); })
            << QStringList{"2ec602040132/true"} << 0;
    QTest::newRow("two data bytes whatever the length says")
            << none([](SimpleService &s) { Access::send3Param(s, 2, 0xC6, 0xB1, 5, 0, 0); })
            << QStringList{"2ec602b10581/true"} << 0;
    QTest::newRow("length byte as given")
            << none([](SimpleService &s) { Access::send3Param(s, 5, 0xC6, 0xBD, 7, 8, 9); })
            << QStringList{"2ec605bd0770/true"} << 0;
    QTest::newRow("climate") << none([](SimpleService &s) { s.requsetClimate(); })
                             << QStringList{"2e900229ff45/false"} << 0;
    QTest::newRow("park assist") << none([](SimpleService &s) { s.requsetParkAssist(); })
                                 << QStringList{"2e900223ff4b/false", "2e900222ff4c/false"} << 0;
    QTest::newRow("vehicle info") << none([](SimpleService &s) { s.requsetVehicleInfo(); })
                                  << QStringList{"2e900224ff4a/false"} << 0;
    QTest::newRow("car setting") << none([](SimpleService &s) { s.requsetCarSetting(); })
                                 << QStringList{"2e900248ff26/false"} << 0;
    QTest::newRow("unit settings") << none([](SimpleService &s) { s.requsetUnitSettings(); })
                                   << QStringList{"2e900224ff4a/false"} << 0;
    QTest::newRow("other info") << none([](SimpleService &s) { s.requsetOtherInfo(); })
                                << QStringList{"2e900225ff49/false"} << 0;
    QTest::newRow("gauges") << none([](SimpleService &s) { s.requsetGauges(); }) << QStringList()
                            << 0;
    QTest::newRow("driving data page")
            << none([](SimpleService &s) { s.requsetDrinvingData(); }) << QStringList() << 0;
    QTest::newRow("maintenance") << none([](SimpleService &s) { s.requsetMaintenance(); })
                                 << QStringList() << 0;
    QTest::newRow("fuel") << none([](SimpleService &s) { s.requsetFuel(); }) << QStringList() << 0;
    QTest::newRow("raw bytes") << none([](SimpleService &s) {
        QByteArray raw = hex("0102fe");
        s.sendAnyData(raw);
    }) << QStringList{"0102fe/false"} << 0;
    QTest::newRow("raw bytes, none") << none([](SimpleService &s) {
        QByteArray raw;
        s.sendAnyData(raw);
    }) << QStringList{"/false"} << 0;
    QTest::newRow("debug file") << Operation([](SimpleService &s) { return s.flushDebugFile(); })
                                << QStringList() << -1;
}

void tst_Commands::operations()
{
    QFETCH(Operation, operation);
    QFETCH(QStringList, writes);
    QFETCH(int, result);
    ServiceOnLine box;
    QCOMPARE(operation(*box.service), result);
    QCOMPARE(box.takeWrites(), writes);
}

void tst_Commands::vehicleDataMapIsLeftAlone()
{
    ServiceOnLine box;
    QMap<QString, QString> data{{QStringLiteral("odometer"), QStringLiteral("12")}};
    QCOMPARE(box.service->getVehicleData(data), 0);
    QCOMPARE(data, (QMap<QString, QString>{{QStringLiteral("odometer"), QStringLiteral("12")}}));
    QVERIFY(box.recorder->writes().isEmpty());
}

QTEST_GUILESS_MAIN(tst_Commands)
#include "tst_commands.moc"
