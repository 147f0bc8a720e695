// The fleet's rows from the messages a broker delivers: topics, times, kept messages, what is left out.
#include "fleetmodel.h"

#include <QDateTime>
#include <QSignalSpy>
#include <QtTest>

using tool::FleetModel;

namespace {
const qint64 NowMs = QDateTime::fromString(QStringLiteral("2026-12-07T10:00:00.000Z"), Qt::ISODateWithMs).toMSecsSinceEpoch();

// A car's row as one line: what a person reads off the table.
QString row(const FleetModel::Car &car)
{
    const QString speed = car.speed.isUndefined() ? QStringLiteral("-")
            : car.speed.isNull()                  ? QStringLiteral("null")
                                                  : QString::number(car.speed.toDouble()) + QLatin1Char(' ') + car.speedUnit;
    return QStringLiteral("online %1 link %2 speed %3 age %4 queued %5 dropped %6")
            .arg(car.online)
            .arg(car.link.isEmpty() ? QStringLiteral("-") : car.link, speed,
                 car.lastChangeMs < 0 ? QStringLiteral("-") : QString::number((NowMs - car.lastChangeMs) / 1000.0))
            .arg(car.queued)
            .arg(car.dropped);
}
} // namespace

class tst_FleetModel : public QObject
{
    Q_OBJECT

private slots:
    void rows_data();
    void rows();
};

void tst_FleetModel::rows_data()
{
    // Each message "TOPIC PAYLOAD", or "kept TOPIC PAYLOAD" for one the broker had retained.
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("car7"); // its row, or empty: no such row
    QTest::addColumn<int>("changes"); // carChanged for it
    QTest::addColumn<int>("ignored");

    const QString speed = QStringLiteral("canservice/car7/Vehicle/Speed ");
    QTest::newRow("speed at an ISO time")
            << QStringList{speed + R"({"value":42.5,"unit":"km/h","time":"2026-12-07T09:59:57.500Z"})"}
            << "online -1 link - speed 42.5 km/h age 2.5 queued -1 dropped -1" << 1 << 0;
    QTest::newRow("a capture's own seconds: as it came")
            << QStringList{speed + R"({"value":10,"unit":"mph","time":3.25})"}
            << "online -1 link - speed 10 mph age 0 queued -1 dropped -1" << 1 << 0;
    QTest::newRow("kept, a capture's seconds: age unknown")
            << QStringList{"kept " + speed + R"({"value":10,"unit":"mph","time":3.25})"}
            << "online -1 link - speed 10 mph age - queued -1 dropped -1" << 1 << 0;
    QTest::newRow("kept, an ISO time: its own")
            << QStringList{"kept " + speed + R"({"value":0,"unit":"km/h","time":"2026-12-07T09:00:00.000Z"})"}
            << "online -1 link - speed 0 km/h age 3600 queued -1 dropped -1" << 1 << 0;
    QTest::newRow("the newest value, whatever the order")
            << QStringList{speed + R"({"value":5,"unit":"km/h","time":"2026-12-07T09:59:59.000Z"})",
                           "canservice/car7/Vehicle/Cabin/Door/Row1/DriverSide/IsOpen "
                           R"({"value":true,"time":"2026-12-07T09:59:50.000Z"})"}
            << "online -1 link - speed 5 km/h age 1 queued -1 dropped -1" << 1 << 0;
    QTest::newRow("another value: its age, not the speed")
            << QStringList{"canservice/car7/Vehicle/Powertrain/CombustionEngine/Speed "
                           R"({"value":900,"unit":"rpm","time":"2026-12-07T09:59:59.000Z"})"}
            << "online -1 link - speed - age 1 queued -1 dropped -1" << 1 << 0;
    QTest::newRow("no reading")
            << QStringList{speed + R"({"value":null,"time":"2026-12-07T10:00:00.000Z"})"}
            << "online -1 link - speed null age 0 queued -1 dropped -1" << 1 << 0;
    QTest::newRow("online, then the last will")
            << QStringList{"canservice/car7/online true", "canservice/car7/online false", "canservice/car7/online maybe"}
            << "online 0 link - speed - age - queued -1 dropped -1" << 2 << 1;
    QTest::newRow("health, the same twice")
            << QStringList{R"(canservice/car7/health {"link":"up","queued":3,"dropped":0,"framesAccepted":9})",
                           R"(canservice/car7/health {"link":"up","queued":3,"dropped":0,"framesAccepted":9})",
                           R"(canservice/car7/health {"link":"lost","queued":12,"dropped":2})"}
            << "online -1 link lost speed - age - queued 12 dropped 2" << 2 << 0;
    QTest::newRow("not a car's")
            << QStringList{speed + "not json", speed + R"({"unit":"km/h"})", "canservice/car7 true",
                           "canservice/car7/ true", "other/car7/online true", "canservicex/car7/online true",
                           "canservice//online true"}
            << QString() << 0 << 7;
}

void tst_FleetModel::rows()
{
    QFETCH(QStringList, messages);
    QFETCH(QString, car7);
    QFETCH(int, changes);
    QFETCH(int, ignored);

    FleetModel model(QStringLiteral("canservice"));
    QSignalSpy changed(&model, &FleetModel::carChanged);
    for (QString message : messages) {
        const bool kept = message.startsWith(QLatin1String("kept "));
        if (kept)
            message.remove(0, 5);
        const int space = message.indexOf(QLatin1Char(' '));
        model.take(message.left(space).toUtf8(), message.mid(space + 1).toUtf8(), kept, NowMs);
    }
    const auto found = model.cars().find(QStringLiteral("car7"));
    QCOMPARE(found == model.cars().end() ? QString() : row(found->second), car7);
    QCOMPARE(int(model.cars().size()), car7.isEmpty() ? 0 : 1);
    QCOMPARE(changed.size(), changes);
    QCOMPARE(model.ignored(), qint64(ignored));
    QCOMPARE(model.taken(), qint64(messages.size() - ignored));
}

QTEST_GUILESS_MAIN(tst_FleetModel)
#include "tst_fleetmodel.moc"
