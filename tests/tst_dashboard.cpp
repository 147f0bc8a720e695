// The dashboard as a person sees it: real Qt Quick, rendered on a real (virtual) display, fed by
// a replayed capture or by the simulated box over a pseudo-terminal.
#include "boxline.h"
#include "boxsimulator.h"
#include "capture.h"
#include "configmanager.h"
#include "dashboardmodel.h"
#include "replayer.h"
#include "serialtap.h"
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

// Where an item draws, in the window: a text as far as its content goes, whatever its width.
QRectF drawnRect(QQuickItem *item)
{
    QSizeF size = item->size();
    if (item->inherits("QQuickText"))
        size = size.expandedTo(QSizeF(item->property("contentWidth").toReal(), item->property("contentHeight").toReal()));
    return item->mapRectToScene(QRectF(QPointF(), size));
}

// Every visible item that draws outside the panel it is in.
void itemsOutside(QQuickItem *item, const QRectF &panel, const QString &panelName, QStringList *out)
{
    for (QQuickItem *child : item->childItems()) {
        if (!child->isVisible() || child->opacity() == 0)
            continue;
        const QRectF r = drawnRect(child);
        if (!r.isEmpty() && !panel.adjusted(-0.5, -0.5, 0.5, 0.5).contains(r))
            *out << QStringLiteral("%1 \"%2\" in %3").arg(QLatin1String(child->metaObject()->className()),
                                                           child->property("text").toString(), panelName);
        itemsOutside(child, panel, panelName, out);
    }
}

void findPanels(QQuickItem *item, QList<QQuickItem *> *panels)
{
    for (QQuickItem *child : item->childItems()) {
        if (child->property("isPanel").toBool() && child->isVisible())
            *panels << child;
        else
            findPanels(child, panels);
    }
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
    void aBoxInMilesAndFahrenheitShowsSo();
    void theLayoutHoldsAtEverySize_data();
    void theLayoutHoldsAtEverySize();

private:
    void show(CanServiceBase *service);
    // A capture of tests/data replayed whole to a new service on the screen.
    void play(const char *capture, const QSize &size = QSize(1280, 720));
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

void tst_Dashboard::play(const char *capture, const QSize &size)
{
    ConfigManager::instance()->setSerialDevice(QStringLiteral("virtual:play"));
    m_service = std::make_unique<SimpleService>();
    show(m_service.get());
    m_window->resize(size);
    QFile file(QStringLiteral(TEST_DATA_DIR "/") + QLatin1String(capture));
    QVERIFY(file.open(QIODevice::ReadOnly));
    tool::CaptureReader reader(file.fileName());
    tool::Replayer replayer(file, reader, VirtualSerialLine::find(QStringLiteral("play")));
    bool finished = false;
    replayer.finished = [&finished] { finished = true; };
    replayer.start();
    QTRY_VERIFY_WITH_TIMEOUT(finished, 5000);
    QTRY_COMPARE(m_window->size(), size);
}

// The box asks for miles and Fahrenheit: the catalogue keeps km/h and Celsius, the screen shows
// what the box asks for, in words, with the warnings; and a replay's buttons send nothing.
void tst_Dashboard::aBoxInMilesAndFahrenheitShowsSo()
{
    ConfigManager::instance()->setSerialDevice(QStringLiteral("virtual:level"));
    m_service = std::make_unique<SimpleService>();
    show(m_service.get());
    // The automatic mode's level as the box reports it; a block in the other mode leaves it.
    m_model->frameAccepted(0x29, QByteArray::fromHex("40030e0000000009"));
    m_model->frameAccepted(0x29, QByteArray::fromHex("4003140008000009"));
    QCOMPARE(item("climate.left")->property("text").toString(), QStringLiteral("Level 14"));

    play("imperial.cap");
    QCOMPARE(m_model->values().value(QStringLiteral("Vehicle.Speed")).toDouble(), 48.28);
    QCOMPARE(item("speedGauge.text")->property("text").toString(), QStringLiteral("30 mph"));
    QCOMPARE(item("climate.left")->property("text").toString(), QStringLiteral("70.5 °F"));
    QCOMPARE(item("climate.right")->property("text").toString(), QStringLiteral("72.0 °F"));
    QVERIFY(item("climate.details")->property("text").toString().contains(QStringLiteral("rear 68.0 °F")));
    QCOMPARE(item("units")->property("text").toString(), QStringLiteral("Units: miles, °F"));
    QCOMPARE(item("banner.text")->property("text").toString(),
             QStringLiteral("\u26a0 Door open while moving  \u00b7  Tyre alert (code 2)"));
    QCOMPARE(item("openings")->property("text").toString(), QStringLiteral("Open: right rear door"));
    QCOMPARE(item("nearestSensor")->property("text").toString(),
             QStringLiteral("Nearest sensor: front middle right, step 2 of 7"));
    QVERIFY(item("radar.Front.MiddleRight")->property("isNearest").toBool());

    QQuickItem *button = item("unit.distance");
    QVERIFY(button->isEnabled());
    m_model->setNoAnswer(QStringLiteral("a replay"));
    QVERIFY(!button->isEnabled());
    QCOMPARE(item("commandNote")->property("text").toString(), QStringLiteral("Buttons off: a replay"));
    int writes = 0;
    connect(SerialTap::instance(), &SerialTap::written, this, [&writes] { ++writes; });
    QTest::mouseClick(m_window, Qt::LeftButton, Qt::NoModifier,
                      button->mapToScene(QPointF(button->width() / 2, button->height() / 2)).toPoint());
    m_model->unitCommand(1);
    QTest::qWait(50);
    QCOMPARE(writes, 0);
}

void tst_Dashboard::theLayoutHoldsAtEverySize_data()
{
    QTest::addColumn<QSize>("size");
    for (const QSize size : {QSize(800, 480), QSize(1024, 600), QSize(1280, 720), QSize(1920, 720)})
        QTest::newRow(qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()))) << size;
}

// With the banner up, every value shown and a full line of keys: no visible item draws outside its
// panel, no two panels overlap, all stay in the window.
void tst_Dashboard::theLayoutHoldsAtEverySize()
{
    QFETCH(QSize, size);
    play("imperial.cap", size);
    for (int key = 60; key < 66; ++key)
        emit m_service->keyEvent(key, 3, true);
    QTRY_VERIFY(item("banner")->isVisible());
    QTRY_COMPARE(m_window->size(), size);

    QList<QQuickItem *> panels;
    findPanels(m_window->contentItem(), &panels);
    QCOMPARE(panels.size(), 7);
    const QRectF screen(0, 0, size.width(), size.height());
    QStringList faults;
    for (int i = 0; i < panels.size(); ++i) {
        const QRectF r = drawnRect(panels.at(i));
        const QString name = panels.at(i)->objectName();
        if (!screen.contains(r))
            faults << name + QStringLiteral(" leaves the window");
        for (int j = i + 1; j < panels.size(); ++j)
            if (r.intersects(drawnRect(panels.at(j))))
                faults << name + QStringLiteral(" overlaps ") + panels.at(j)->objectName();
        itemsOutside(panels.at(i), r, name, &faults);
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1String("; "))));
}

QTEST_MAIN(tst_Dashboard)
#include "tst_dashboard.moc"
