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
    void theModelTellsItemsAsThePluginActsOnThem();
    void theModelCountsChangesOfTheLink_data();
    void theModelCountsChangesOfTheLink();

private:
    // A session of the loaded plugin on an in-process line, its printer quiet.
    std::unique_ptr<Session> quietSession(bool frames = false);
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
    QTRY_COMPARE_WITH_TIMEOUT(m_box->hostAcks(), m_box->framesSent() - m_box->framesCorrupted(), 2000);
}

// A head unit's session hears the line its plugin opened, and no other line of the process: here
// a port opened before it on another device.
std::unique_ptr<Session> tst_EndToEnd::quietSession(bool frames)
{
    // The loader hands out the plugin's one instance: the session's is a new one once this is gone.
    delete m_service;
    m_service = nullptr;
    SessionOptions options;
    options.pluginPath = QStringLiteral(SIMPLESERVICE_PLUGIN_PATH);
    options.printer.quiet = true;
    options.printer.frames = frames;
    auto session = std::make_unique<Session>(options);
    if (session->load(QStringLiteral("virtual:session")) != Failure::None)
        return nullptr;
    return session;
}

void tst_EndToEnd::aSessionHearsOnlyItsPluginsLine()
{
    canservice::SerialPort other;
    QVERIFY(other.open(QStringLiteral("virtual:other"), 38400));
    const std::unique_ptr<Session> session = quietSession();
    QVERIFY(session);

    const QByteArray speed = QByteArray::fromHex("2ef603001001f5");
    other.virtualLine()->deliver(speed + speed);
    session->port()->virtualLine()->deliver(speed);
    QCOMPARE(session->model()->health().bytesReceived, qint64(speed.size()));
    QCOMPARE(session->service()->getSpeed(), 256.0f);
}

// Each frame is told (its payload to whoever asks for it) before the acknowledgement that answers
// it, and what follows the last frame of a chunk once the plugin is done with the chunk.
void tst_EndToEnd::theModelTellsItemsAsThePluginActsOnThem()
{
    const std::unique_ptr<Session> session = quietSession(true);
    QVERIFY(session);
    QStringList told;
    connect(session->model(), &SessionModel::itemReceived, this, [&told](const canbox::ReceiveModel::Item &item) {
        told << QLatin1String(EventPrinter::kindName(item.kind));
    });
    connect(session->model(), &SessionModel::headUnitSent, this,
            [&told](const QByteArray &bytes) { told << QLatin1String(bytes.toHex()); });
    connect(session->model(), &SessionModel::frameAccepted, this,
            [&told](int id, const QByteArray &payload) { told << QString::number(id, 16) + ' ' + payload.toHex(); });
    const QByteArray speed = QByteArray::fromHex("2ef603001001f5");
    session->port()->virtualLine()->deliver(speed + QByteArray::fromHex("0011") + speed + QByteArray::fromHex("22"));
    QCOMPARE(told, QStringList({"f6 001001", "frame", "ff", "noise", "f6 001001", "frame", "ff", "noise"}));
}

void tst_EndToEnd::theModelCountsChangesOfTheLink_data()
{
    QTest::addColumn<QList<int>>("reports");
    QTest::addColumn<QStringList>("told");
    QTest::addColumn<int>("losses");
    QTest::newRow("up with every frame") << QList<int>{3, 3, 3} << QStringList{"up"} << 0;
    QTest::newRow("lost before it was ever up") << QList<int>{0} << QStringList{"lost"} << 1;
    QTest::newRow("lost twice") << QList<int>{3, 0, 0, 3, 3, 0} << QStringList{"up", "lost", "up", "lost"} << 2;
}

// The service reports the link with every frame; the model tells and counts only changes.
void tst_EndToEnd::theModelCountsChangesOfTheLink()
{
    QFETCH(QList<int>, reports);
    const std::unique_ptr<Session> session = quietSession();
    QVERIFY(session);
    SessionModel *model = session->model();
    QCOMPARE(model->linkText(), QStringLiteral("not up yet"));
    QStringList told;
    connect(model, &SessionModel::linkChanged, this, [&told, model] { told << model->linkText(); });
    for (const int status : reports)
        emit session->service()->notifyCanbusStatus(status);
    QTEST(told, "told");
    QTEST(model->health().linkLosses, "losses");
}

QTEST_GUILESS_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
