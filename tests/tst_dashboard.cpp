// The dashboard as a person sees it: real Qt Quick, rendered on a real (virtual) display, fed by
// a replayed capture or by the simulated box over a pseudo-terminal.
#include "boxline.h"
#include "boxsimulator.h"
#include "capture.h"
#include "configmanager.h"
#include "dashboardmodel.h"
#include "replayer.h"
#include "simpleservice.h"
#include "virtualserialline.h"

#include <QFile>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtTest>

#include <memory>

using namespace canservice;
using namespace tool;

namespace {
// Through the visual tree, which also holds what a Repeater made.
QQuickItem *findItem(QQuickItem *from, const QString &name)
{
    if (from->objectName() == name)
        return from;
    for (QQuickItem *child : from->childItems())
        if (QQuickItem *found = findItem(child, name))
            return found;
    return nullptr;
}

QColor colourAt(const QImage &image, QQuickItem *item)
{
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    return image.pixelColor(centre.toPoint());
}
} // namespace

class tst_Dashboard : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void aReplayShowsOnTheScreen();
    void aKeyReachesTheBoxAndItsAnswerShows();

private:
    void show(CanServiceBase *service);
    QQuickItem *item(const char *name) const;

    std::unique_ptr<SimpleService> m_service;
    std::unique_ptr<tool::DashboardModel> m_model;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    QQuickWindow *m_window = nullptr;
};

void tst_Dashboard::init()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("no display: run under xvfb-run -a (Debian package xvfb)");
    Q_INIT_RESOURCE(dashboard);
    QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, false);
}

void tst_Dashboard::cleanup()
{
    m_engine.reset();
    m_model.reset();
    m_service.reset();
    m_window = nullptr;
}

void tst_Dashboard::show(CanServiceBase *service)
{
    m_model = std::make_unique<tool::DashboardModel>(service, QStringLiteral("test"));
    m_engine = std::make_unique<QQmlApplicationEngine>();
    m_engine->rootContext()->setContextProperty(QStringLiteral("car"), m_model.get());
    m_engine->load(QUrl(QStringLiteral("qrc:/dashboard/qml/Main.qml")));
    QVERIFY(!m_engine->rootObjects().isEmpty());
    m_window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().first());
    QVERIFY(m_window);
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

QQuickItem *tst_Dashboard::item(const char *name) const
{
    QQuickItem *found = findItem(m_window->contentItem(), QLatin1String(name));
    if (!found)
        qWarning("no item %s", name);
    return found;
}

void tst_Dashboard::aReplayShowsOnTheScreen()
{
    ConfigManager::instance()->setSerialDevice(QStringLiteral("virtual:screen"));
    m_service = std::make_unique<SimpleService>();
    show(m_service.get());
    QQuickItem *door = item("door.Row1.DriverSide");
    QQuickItem *nearSensor = item("radar.Rear.Left");
    QVERIFY(door && nearSensor && item("speedGauge.dial") && item("climate.left"));

    // Before anything arrives: no reading is drawn as such, not as a value.
    QCOMPARE(item("climate.left")->property("text").toString(), QStringLiteral("\u2014"));
    const QImage empty = m_window->grabWindow();
    const QColor closedDoor = colourAt(empty, door);
    QCOMPARE(door->property("color").value<QColor>(), QColor("#455a64"));

    QFile file(QStringLiteral(TEST_DATA_DIR "/drive.cap"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    tool::CaptureReader reader(file.fileName());
    tool::Replayer replayer(file, reader, VirtualSerialLine::find(QStringLiteral("screen")));
    bool finished = false;
    replayer.finished = [&finished] { finished = true; };
    replayer.start();

    QTRY_COMPARE_WITH_TIMEOUT(item("speedGauge.dial")->property("value").toDouble(), 50.0, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(door->property("isOpen").toBool(), 2000);
    QCOMPARE(item("climate.left")->property("text").toString(), QStringLiteral("\u2014"));
    QTRY_COMPARE_WITH_TIMEOUT(item("climate.left")->property("text").toString(), QStringLiteral("21.0 °C"), 2000);
    QCOMPARE(item("climate.right")->property("text").toString(), QStringLiteral("21.5 °C"));
    QCOMPARE(item("rpmGauge.text")->property("text").toString(), QStringLiteral("3000 rpm"));
    const QImage opened = m_window->grabWindow();
    QCOMPARE(colourAt(opened, door), QColor("#ef5350"));
    QVERIFY(colourAt(opened, door) != closedDoor);

    QTRY_COMPARE_WITH_TIMEOUT(nearSensor->property("step").toInt(), 2, 5000);
    QVERIFY(!door->property("isOpen").toBool());
    const QImage parked = m_window->grabWindow();
    QCOMPARE(colourAt(parked, door), closedDoor);
    // The rear sensors' strip changed colour where the nearest obstacle is.
    const QRect strip = QRect(nearSensor->mapToScene(QPointF(0, 0)).toPoint(),
                              QSize(int(nearSensor->width()), int(nearSensor->height())));
    int changed = 0;
    for (int x = strip.left(); x < strip.right(); x += 2)
        for (int y = strip.top(); y < strip.bottom(); y += 2)
            changed += empty.pixelColor(x, y) != parked.pixelColor(x, y);
    QVERIFY2(changed > 50, qPrintable(QString::number(changed)));
    QTRY_VERIFY_WITH_TIMEOUT(finished, 5000);
}

void tst_Dashboard::aKeyReachesTheBoxAndItsAnswerShows()
{
    QString error;
    std::unique_ptr<BoxLine> line(BoxLine::createPty(&error));
    if (!line)
        QSKIP(qPrintable(error));
    Scenario scenario;
    QVERIFY(scenario.parse(R"({"events": [{"at": 0, "climate": {"power": true, "manual": true, "left": 21.0, "right": 21.0}}]})",
                           QStringLiteral("test"), &error));
    BoxSimulator box(line.get(), scenario, FaultOptions());
    QStringList heard;
    connect(&box, &BoxSimulator::report, this, [&heard](const QString &r) { heard << r; });
    ConfigManager::instance()->setSerialDevice(line->deviceName());
    m_service = std::make_unique<SimpleService>();
    show(m_service.get());
    m_service->start();
    box.begin();
    QQuickItem *left = item("climate.left");
    QVERIFY(left);
    QTRY_COMPARE_WITH_TIMEOUT(left->property("text").toString(), QStringLiteral("21.0 °C"), 5000);

    QQuickItem *up = item("key.temperatureUp");
    QVERIFY(up);
    QTest::mouseClick(m_window, Qt::LeftButton, Qt::NoModifier,
                      up->mapToScene(QPointF(up->width() / 2, up->height() / 2)).toPoint());
    QTRY_VERIFY_WITH_TIMEOUT(heard.contains(QStringLiteral("box <- climate key temperature up")), 3000);
    QTRY_COMPARE_WITH_TIMEOUT(left->property("text").toString(), QStringLiteral("21.5 °C"), 3000);
    m_service->stop();
}

QTEST_MAIN(tst_Dashboard)
#include "tst_dashboard.moc"
