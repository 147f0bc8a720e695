// The dashboard as a person sees it: real Qt Quick, rendered on a real (virtual) display, fed by
// a replayed capture or by the simulated box over a pseudo-terminal.
#include "boxline.h"
#include "boxsimulator.h"
#include "capture.h"
#include "configmanager.h"
#include "dashboardmodel.h"
#include "layoutcheck.h"
#include "pty.h"
#include "replayer.h"
#include "serialport.h"
#include "simpleservice.h"
#include "simpleservice_access.h"
#include "virtualserialline.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQmlContext>
#include <QRegularExpression>
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
    void aBoxInMilesAndFahrenheitAtEverySize_data();
    void aBoxInMilesAndFahrenheitAtEverySize();
    void aReplaysScreenshotIsItsInstantExactly();
    void aBadLayoutIsToldItemByItem();
    void aCarOnTheBrokerShowsWhatItsMessagesSay();

private:
    void show(CanServiceBase *service);
    // A new service on a virtual line, on the screen; then a capture of tests/data played to it.
    void open();
    void play(const char *capture);
    QQuickItem *item(const char *name) const;

    std::unique_ptr<SimpleService> m_service;
    std::unique_ptr<tool::DashboardModel> m_model;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    QQuickWindow *m_window = nullptr;
    std::unique_ptr<QFile> m_capture;
    std::unique_ptr<tool::CaptureReader> m_reader;
    std::unique_ptr<tool::Replayer> m_replayer;
    bool m_finished = false;
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
    m_replayer.reset();
    m_finished = false;
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
    open();
    QQuickItem *door = item("door.Row1.DriverSide");
    QQuickItem *nearSensor = item("radar.Rear.Left");
    QVERIFY(door && nearSensor && item("speedGauge.dial") && item("climate.left"));

    // Before anything arrives: no reading is drawn as such, not as a value.
    QCOMPARE(item("climate.left")->property("text").toString(), QStringLiteral("\u2014"));
    const QImage empty = m_window->grabWindow();
    const QColor closedDoor = colourAt(empty, door);
    QCOMPARE(door->property("color").value<QColor>(), QColor("#455a64"));

    play("drive.cap");

    QTRY_COMPARE_WITH_TIMEOUT(item("speedGauge.dial")->property("value").toDouble(), 50.0, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(door->property("isOpen").toBool(), 2000);
    QCOMPARE(item("climate.left")->property("text").toString(), QStringLiteral("\u2014"));
    QTRY_COMPARE_WITH_TIMEOUT(item("climate.left")->property("text").toString(), QStringLiteral("21.0 °C"), 2000);
    QCOMPARE(item("climate.right")->property("text").toString(), QStringLiteral("21.5 °C"));
    QCOMPARE(item("rpmGauge.text")->property("text").toString(), QStringLiteral("3000"));
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
    QTRY_VERIFY_WITH_TIMEOUT(m_finished, 5000);
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
    // Held for a screenshot, the service runs in another thread: no key reaches it from the window.
    m_model->hold();
    m_model->release();
    m_model->climateKey(19); // temperature up
    m_service->sendAcKey(20, 0); // down
    QTRY_VERIFY_WITH_TIMEOUT(heard.contains(QStringLiteral("box <- climate key temperature down")), 3000);
    QCOMPARE(heard.count(QStringLiteral("box <- climate key temperature up")), 1);
    m_service->stop();
}

void tst_Dashboard::open()
{
    ConfigManager::instance()->setSerialDevice(QStringLiteral("virtual:play"));
    m_service = std::make_unique<SimpleService>();
    show(m_service.get());
}

void tst_Dashboard::play(const char *capture)
{
    m_capture = std::make_unique<QFile>(QStringLiteral(TEST_DATA_DIR "/") + QLatin1String(capture));
    QVERIFY(m_capture->open(QIODevice::ReadOnly));
    m_reader = std::make_unique<tool::CaptureReader>(m_capture->fileName());
    m_replayer = std::make_unique<tool::Replayer>(*m_capture, *m_reader, canservice::SimpleServiceTestAccess::serialPort(*m_service).virtualLine());
    m_replayer->finished = [this] { m_finished = true; };
    m_replayer->start();
}

void tst_Dashboard::aBoxInMilesAndFahrenheitAtEverySize_data()
{
    QTest::addColumn<QSize>("size");
    for (const QSize size : {QSize(800, 480), QSize(1024, 600), QSize(1280, 720), QSize(1920, 720)})
        QTest::newRow(qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()))) << size;
}

// A box in miles and Fahrenheit, a door open while moving, a tyre alert and a line of keys, at
// each size: the catalogue keeps km/h and Celsius, the screen shows what the box asks for, in
// words; both pages pass the layout check (text size, nothing cut off, over another or outside its
// panel, no panel too empty); and once nothing can answer, the buttons send nothing.
void tst_Dashboard::aBoxInMilesAndFahrenheitAtEverySize()
{
    QFETCH(QSize, size);
    open();
    m_window->resize(size);
    // The automatic mode's level as the box reports it; a block in the other mode leaves it.
    m_model->frameAccepted(0x29, QByteArray::fromHex("40030e0000000009"));
    m_model->frameAccepted(0x29, QByteArray::fromHex("4003140008000009"));
    QCOMPARE(item("climate.left")->property("text").toString(), QStringLiteral("14"));
    play("imperial.cap");
    for (int key = 60; key < 66; ++key)
        emit m_service->keyEvent(key, 3, true);
    QTRY_VERIFY_WITH_TIMEOUT(m_finished && item("banner")->isVisible() && m_window->size() == size, 5000);
    QCOMPARE(m_model->values().value(QStringLiteral("Vehicle.Speed")).toDouble(), 48.28);
    QCOMPARE(item("speedGauge.text")->property("text").toString(), QStringLiteral("30"));
    QCOMPARE(item("speedGauge.unit")->property("text").toString(), QStringLiteral("mph"));
    QCOMPARE(item("climate.left")->property("text").toString(), QStringLiteral("70.5 °F"));
    QCOMPARE(item("climate.right")->property("text").toString(), QStringLiteral("72.0 °F"));
    QCOMPARE(item("units")->property("text").toString(), QStringLiteral("Units: miles, °F"));
    QCOMPARE(item("banner.text")->property("text").toString(),
             QStringLiteral("\u26a0 Door open while moving  \u00b7  Tyre alert"));
    QCOMPARE(item("nearestSensor")->property("text").toString(),
             QStringLiteral("Nearest sensor: front middle right, step 2 of 7"));
    QVERIFY(item("radar.Front.MiddleRight")->property("isNearest").toBool());

    for (const char *page : {"diagnostics", "drive"}) {
        m_window->setProperty("page", page);
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        QTest::qWait(50); // laid out and drawn
        const QStringList faults = tool::LayoutCheck::faults(m_window);
        QVERIFY2(faults.isEmpty(), qPrintable(page + QStringLiteral(": ") + faults.join(QLatin1String("; "))));
    }
    m_window->setProperty("page", "diagnostics");

    QQuickItem *button = item("unit.distance");
    QVERIFY(button->isEnabled());
    m_model->setNoAnswer(QStringLiteral("a replay"));
    QVERIFY(!button->isEnabled());
    QCOMPARE(item("commandNote")->property("text").toString(), QStringLiteral("Buttons off: a replay"));
    int writes = 0;
    connect(&canservice::SimpleServiceTestAccess::serialPort(*m_service), &canservice::SerialPort::written, this,
            [&writes] { ++writes; });
    QTest::mouseClick(m_window, Qt::LeftButton, Qt::NoModifier,
                      button->mapToScene(QPointF(button->width() / 2, button->height() / 2)).toPoint());
    m_model->unitCommand(1);
    QTest::qWait(50);
    QCOMPARE(writes, 0);
}

// Each rule of the layout check on a page that breaks it, at 800x480 (16 px text, 48 px readings):
// the fault names the item and where it is; what keeps the rules is not told.
void tst_Dashboard::aBadLayoutIsToldItemByItem()
{
    QQmlEngine engine;
    QQmlComponent page(&engine);
    page.setData(R"(
        import QtQuick 2.15
        import QtQuick.Window 2.15
        Window {
            width: 800; height: 480; visible: true
            Rectangle {
                objectName: "full"; readonly property bool isPanel: true
                width: 400; height: 100
                Text { text: "small"; font.pixelSize: 15 }
                Text { text: "large enough"; y: 20; font.pixelSize: 16 }
                Text { readonly property bool primary: true; text: "47"; y: 40; font.pixelSize: 47 }
                Text { text: "a text too long for its width"; x: 200; width: 200; height: 20; elide: Text.ElideRight
                       font.pixelSize: 16 }
                Rectangle { objectName: "wide"; x: 300; y: 60; width: 120; height: 40 }
            }
            Rectangle {
                objectName: "sparse"; readonly property bool isPanel: true
                y: 90; width: 400; height: 300
                Text { text: "one"; x: 10; y: 20; font.pixelSize: 16 }
                Text { text: "two"; x: 14; y: 24; font.pixelSize: 16 }
                Text { text: "at the right"; anchors.right: parent.right; y: 100; font.pixelSize: 16 }
                Text { text: "low"; x: 300; y: 100; height: 60; verticalAlignment: Text.AlignBottom; font.pixelSize: 16 }
            }
            Rectangle {
                objectName: "dial"; readonly property bool isPanel: true
                x: 500; width: 100; height: 100
                Item { readonly property bool drawnWhole: true; anchors.fill: parent
                       Rectangle { width: 2; height: 2 } }
            }
            Rectangle { objectName: "beyond"; readonly property bool isPanel: true; x: 700; y: 400; width: 101; height: 80
                        Rectangle { anchors.fill: parent } }
        }
    )", QUrl());
    std::unique_ptr<QObject> root(page.create());
    auto *window = qobject_cast<QQuickWindow *>(root.get());
    QVERIFY2(window, qPrintable(page.errorString()));
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const QStringList faults = tool::LayoutCheck::faults(window);
    const QRegularExpression told[] = {
        QRegularExpression(R"(^"small" at 0,0 \d+x\d+: 15 px, under 16 px$)"),
        QRegularExpression(R"(^"47" at 0,40 \d+x\d+: 47 px, under 48 px for a primary reading$)"),
        QRegularExpression(R"(^"a text too long for its width" at 200,0 \d+x\d+: cut off$)"),
        QRegularExpression(R"(^wide at 300,60 120x40: outside full$)"),
        QRegularExpression(R"(^"two" at 14,114 \d+x\d+: over "one" at 10,110 \d+x\d+$)"),
        QRegularExpression(R"(^full at 0,0 400x100: over sparse$)"),
        QRegularExpression(R"(^sparse at 0,90 400x300: 80 % empty$)"),
        QRegularExpression(R"(^beyond at 700,400 101x80: outside the window$)"),
    };
    for (const QRegularExpression &fault : told)
        QVERIFY2(faults.filter(fault).size() == 1, qPrintable(fault.pattern() + QStringLiteral(" in:\n") + faults.join('\n')));
    QCOMPARE(faults.size(), int(std::size(told)));
}

// A car on an MQTT broker, without a service: its values by name as its messages give them (a
// name the catalogue does not have is left out), its link's word, no commands.
void tst_Dashboard::aCarOnTheBrokerShowsWhatItsMessagesSay()
{
    show(nullptr);
    m_model->setRemoteValue(QStringLiteral("Vehicle.Speed"), 48.28, QStringLiteral("km/h"));
    m_model->setRemoteValue(QStringLiteral("Vehicle.Cabin.Infotainment.HMI.DistanceUnit"), QStringLiteral("MILES"), QString());
    m_model->setRemoteValue(QStringLiteral("Vehicle.No.Such"), 1, QString());
    m_model->setRemoteLink(QStringLiteral("up"));
    QTRY_COMPARE(item("speedGauge.text")->property("text").toString(), QStringLiteral("30"));
    QCOMPARE(item("speedGauge.unit")->property("text").toString(), QStringLiteral("mph"));
    QVERIFY(!m_model->values().contains(QStringLiteral("Vehicle.No.Such")));
    QCOMPARE(item("linkState")->property("text").toString(), QStringLiteral("CAN box: up"));
    m_model->setRemoteValue(QStringLiteral("Vehicle.Speed"), QVariant(), QStringLiteral("km/h"));
    m_model->setRemoteLink(QStringLiteral("car offline"));
    QTRY_COMPARE(item("speedGauge.text")->property("text").toString(), QStringLiteral("\u2014"));
    QCOMPARE(item("linkState")->property("text").toString(), QStringLiteral("CAN box: car offline"));
    QCOMPARE(item("climate.commandNote")->property("text").toString(),
             QStringLiteral("Keys off: a car on an MQTT broker: its commands stay with it"));
}

QTEST_MAIN(tst_Dashboard)
#include "tst_dashboard.moc"

// A screenshot shows the vehicle at its instant, exactly and in every run. In silence.cap a key
// pressed at 0.500 becomes a long press at 2.000, and the link, probed at 30.500, is lost at
// 31.700.
void tst_Dashboard::aReplaysScreenshotIsItsInstantExactly()
{
    QTemporaryDir dir;
    int count = 0;
    qunsetenv("XDG_RUNTIME_DIR"); // for the runs, as under xvfb-run: no login session, no runtime folder
    QByteArray said; // on standard error, by every run that made its picture: nothing
    const auto shot = [&](const char *at, bool simulated = false) {
        const QString file = dir.filePath(QString::number(++count) + QStringLiteral(".png"));
        QProcess tool;
        tool.start(QStringLiteral(CANSERVICE_TOOL),
                   QStringList{"dashboard", "--size", "800x480", "--at", at, "--screenshot", file}
                           + (simulated ? QStringList{"--sim"}
                                        : QStringList{"--page", "diagnostics", "--replay",
                                                      QStringLiteral(TEST_DATA_DIR "/silence.cap")}));
        if (!tool.waitForFinished(30000) || tool.exitCode() != 0)
            return QImage();
        said += tool.readAllStandardError();
        return QImage(file);
    };
    const QImage longPress = shot("2.000");
    QVERIFY(!longPress.isNull());
    QCOMPARE(shot("2.000"), longPress);
    QVERIFY(shot("1.999") != longPress);
    QCOMPARE(shot("2.100"), longPress);
    const QImage lost = shot("31.700");
    QVERIFY(shot("31.699") != lost);
    QCOMPARE(shot("33.000"), lost);
    // The simulated box's drive runs on the same clock, on a line inside the process.
    const QImage driving = shot("8.5", true);
    QVERIFY(!driving.isNull());
    QCOMPARE(shot("8.5", true), driving);
    QVERIFY(shot("8.4", true) != driving);
    QCOMPARE(said, QByteArray());
    // The layout checked by the tool: right at a head unit's size, and told fault by fault on a
    // screen too small for it.
    for (const auto &[size, exit] : {std::pair{"800x480", 0}, std::pair{"320x240", 15}}) {
        QProcess check;
        check.start(QStringLiteral(CANSERVICE_TOOL), {"dashboard", "--sim", "--at", "8.5", "--size", size, "--check-layout"});
        QVERIFY(check.waitForFinished(30000));
        QCOMPARE(check.exitCode(), exit);
        const QByteArray said = check.readAllStandardOutput();
        const int faults = int(said.count('\n')) - 1; // a line each, then the summary
        QVERIFY(exit ? faults > 1 : faults == 0);
        QVERIFY2(said.endsWith(QByteArray("layout at ") + size + ": " + QByteArray::number(faults)
                               + (faults == 1 ? " fault" : " faults") + " on 2 pages\n"),
                 said.constData());
    }
    // A capture that cannot be read to the instant gives no picture, but its error.
    QProcess malformed;
    malformed.start(QStringLiteral(CANSERVICE_TOOL),
                    {"dashboard", "--replay", QStringLiteral(TEST_DATA_DIR "/malformed.cap"), "--at", "1",
                     "--screenshot", dir.filePath("malformed.png")});
    QVERIFY(malformed.waitForFinished(30000));
    QCOMPARE(malformed.exitCode(), 8);
    QCOMPARE(malformed.readAllStandardError().count("malformed.cap:4: \"2g\" is not hexadecimal.\n"), 1);
    QVERIFY(!QFile::exists(dir.filePath("malformed.png")));
    // On a device the run begins once, however many of the window's first frames are queued.
    testsupport::Pty box;
    QVERIFY(box.isValid());
    QProcess device;
    device.start(QStringLiteral(CANSERVICE_TOOL), {"dashboard", box.slave, "--size", "800x480", "--at", "0.2",
                                                   "--screenshot", dir.filePath("device.png")});
    QByteArray written;
    for (int i = 0; i < 600 && !device.waitForFinished(50); ++i)
        written += box.readAvailable();
    QCOMPARE(device.exitCode(), 0);
    QCOMPARE(written.count(QByteArray::fromHex("2e8101017c")), 1); // the start command
}
