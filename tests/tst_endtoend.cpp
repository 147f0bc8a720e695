// The plugin and the simulated box over a real pseudo-terminal, as in a car.
#include "boxline.h"
#include "boxsimulator.h"
#include "canservicebase.h"
#include "configmanager.h"
#include "pluginhost.h"
#include "serialport.h"
#include "session.h"
#include "sessionmodel.h"
#include "virtualserialline.h"

#include <QtTest>

#include <memory>

using namespace tool;

namespace {
const char Drive[] = R"({"events": [
    {"at": 0.0, "version": "E2E 1.0", "rpm": 900, "climate": {"power": true, "manual": true, "left": 21.0, "right": 21.0}},
    {"at": 0.4, "speed": 42.5},
    {"at": 0.8, "key": {"code": 7, "hold": 2.0}}
]})";
} // namespace

class tst_EndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void aDriveOverAPseudoTerminal_data();
    void aDriveOverAPseudoTerminal();
    void corruptedFramesAreRefusedOneForOne();
    void aSessionHearsOnlyItsPluginsLine();

private:
    void startDrive(const QByteArray &scenario, const FaultOptions &faults = FaultOptions());

    std::unique_ptr<BoxLine> m_line;
    std::unique_ptr<BoxSimulator> m_box;
    std::unique_ptr<tool::PluginHost> m_host;
    CanServiceBase *m_service = nullptr;
    QStringList m_reports;
};

void tst_EndToEnd::init()
{
    QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, false);
    QString error;
    m_line.reset(BoxLine::createPty(&error));
    if (!m_line)
        QSKIP(qPrintable(error));
    m_host = std::make_unique<tool::PluginHost>();
    m_service = m_host->load(QStringLiteral(SIMPLESERVICE_PLUGIN_PATH), m_line->deviceName());
    QVERIFY2(m_service, qPrintable(m_host->error()));
}

void tst_EndToEnd::cleanup()
{
    delete m_service;
    m_service = nullptr;
    m_box.reset();
    m_line.reset();
    m_reports.clear();
}

void tst_EndToEnd::startDrive(const QByteArray &json, const FaultOptions &faults)
{
    Scenario scenario;
    QString error;
    QVERIFY2(scenario.parse(json, QStringLiteral("test"), &error), qPrintable(error));
    m_box = std::make_unique<BoxSimulator>(m_line.get(), scenario, faults);
    connect(m_box.get(), &BoxSimulator::report, this, [this](const QString &r) { m_reports << r; });
    m_service->start();
    m_box->begin();
}

void tst_EndToEnd::aDriveOverAPseudoTerminal_data()
{
    QTest::addColumn<bool>("split");
    QTest::newRow("whole frames") << false;
    // Cut into random pieces: the stream is only cut, never reordered, so every frame is accepted.
    QTest::newRow("split into pieces") << true;
}

void tst_EndToEnd::aDriveOverAPseudoTerminal()
{
    QFETCH(bool, split);
    FaultOptions faults;
    faults.splitChunks = split;
    faults.seed = 7;
    QSignalSpy status(m_service, &CanServiceBase::notifyCanbusStatus);
    QSignalSpy version(m_service, &CanServiceBase::sigVersionData);
    QSignalSpy speed(m_service, &CanServiceBase::speedChanged);
    QSignalSpy keys(m_service, &CanServiceBase::keyEvent);
    QSignalSpy climate(m_service, &CanServiceBase::acStatusChanged);
    startDrive(Drive, faults);

    // The handshake reaches the box in order.
    QTRY_VERIFY_WITH_TIMEOUT(m_reports.size() >= 5, 5000);
    QCOMPARE(m_reports.mid(0, 5), QStringList({"box <- stop", "box <- start",
                                               "box <- request message 0x6a",
                                               "box <- request version", "box <- radar start"}));
    QTRY_VERIFY_WITH_TIMEOUT(!status.isEmpty(), 5000);
    QCOMPARE(status.first().first().toInt(), 3);
    QTRY_VERIFY_WITH_TIMEOUT(!version.isEmpty(), 5000);
    QCOMPARE(m_service->version(), QStringLiteral("E2E 1.0"));
    // The box's start snapshot carries the engine speed too.
    QTRY_COMPARE_WITH_TIMEOUT(m_service->getRotate(), 900, 2000);

    QTRY_VERIFY_WITH_TIMEOUT(m_service->getSpeed() == 42.5f, 5000);

    // Climate round trip: temperature up in manual mode, and the box's next status shows it.
    QTRY_VERIFY_WITH_TIMEOUT(m_service->getAcTemperature() == 21.0f, 5000);
    climate.clear();
    QCOMPARE(m_service->sendAcKey(19, 0), 0);
    QVERIFY(climate.wait(3000));
    QCOMPARE(m_service->getAcTemperature(), 21.5f);
    QVERIFY(m_reports.contains(QStringLiteral("box <- climate key temperature up")));

    // The key held two seconds: press, long press, and the release after it.
    QTRY_COMPARE_WITH_TIMEOUT(keys.size(), 3, 6000);
    QCOMPARE(keys.at(0), (QList<QVariant>{7, 0, true}));
    QCOMPARE(keys.at(1), (QList<QVariant>{7, 2, true}));
    QCOMPARE(keys.at(2), (QList<QVariant>{7, 3, true}));

    // Every frame the head unit sent was acknowledged by the box, and the other way round.
    QVERIFY(m_box->hostFrames() >= 6);
    QTRY_COMPARE_WITH_TIMEOUT(m_box->hostAcks(), m_box->framesSent(), 2000);
    QCOMPARE(m_box->hostNaks(), 0);
}

// Noise and wrong checksums on the line: the head unit refuses exactly the frames the box spoilt.
void tst_EndToEnd::corruptedFramesAreRefusedOneForOne()
{
    FaultOptions faults;
    faults.corruptRate = 0.3;
    faults.noiseRate = 0.3;
    faults.seed = 3;
    startDrive(Drive, faults);
    QTRY_VERIFY_WITH_TIMEOUT(m_box->framesCorrupted() >= 3 && m_box->framesSent() >= 6, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(m_box->hostNaks(), m_box->framesCorrupted(), 2000);
    QTRY_COMPARE_WITH_TIMEOUT(m_box->hostAcks(), m_box->framesSent(), 2000);
}

// A head unit's session hears the line its plugin opened, and no other line of the process: here
// a port opened before it on another device.
void tst_EndToEnd::aSessionHearsOnlyItsPluginsLine()
{
    // The loader hands out the plugin's one instance: the session's is a new one once this is gone.
    delete m_service;
    m_service = nullptr;
    canservice::SerialPort other;
    QVERIFY(other.open(QStringLiteral("virtual:other"), 38400));
    tool::SessionOptions options;
    options.pluginPath = QStringLiteral(SIMPLESERVICE_PLUGIN_PATH);
    options.printer.quiet = true;
    tool::Session session(options);
    QCOMPARE(session.load(QStringLiteral("virtual:session")), tool::Failure::None);

    const QByteArray speed = QByteArray::fromHex("2ef603001001f5");
    other.virtualLine()->deliver(speed + speed);
    session.port()->virtualLine()->deliver(speed);
    QCOMPARE(session.model()->health().bytesReceived, qint64(speed.size()));
    QCOMPARE(session.service()->getSpeed(), 256.0f);
}

QTEST_GUILESS_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
