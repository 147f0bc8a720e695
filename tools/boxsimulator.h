#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QRandomGenerator>
#include <QString>
#include <QTimer>

class BoxLine;

// The state of the simulated vehicle, and each box message encoded from it exactly as a head
// unit's decoder reads it.
struct VehicleModel
{
    float speed = 0.0f;
    bool speedInMiles = false;
    int rpm = 0;
    int doors = 0; // bit 2 front lid .. bit 7 right front, as the door message carries them
    bool distanceInMiles = false;
    QByteArray climate = QByteArray(8, '\0');
    int frontRadar[4] = {0, 0, 0, 0};
    int rearRadar[4] = {0, 0, 0, 0};
    bool parkingAssist = false;
    QString version = QStringLiteral("CB-SIM 1.0");
    QMap<int, QPair<int, double>> trip; // item -> unit selector, value as shown
    int fuelNow = 0;
    double fuelAverage = 0.0;
    double fuelHistory[3] = {0.0, 0.0, 0.0};
    double mileageTotal = 0.0;
    bool mileageUnitFlag = false;
    int ambientColour = 0;
    int tyreType = 0;
    int tyreState = 0;

    QByteArray speedMessage() const;
    QByteArray rotationMessage() const;
    QByteArray doorMessage() const;
    QByteArray climateMessage() const { return climate; }
    QByteArray frontRadarMessage() const;
    QByteArray rearRadarMessage() const;
    QByteArray parkingAssistMessage() const;
    QByteArray versionMessage() const;
    QByteArray tripMessage(int item) const;
    QByteArray fuelMessage() const;
    QByteArray fuelHistoryMessage() const;
    QByteArray mileageMessage() const;
    QByteArray lightMessage() const;
    QByteArray ambientMessage() const;
    QByteArray tyreMessage() const;

    bool manualClimate() const { return climate.at(4) & 0x08; }
    bool fahrenheit() const { return climate.at(4) & 0x40; }
};

// One scheduled change of a scenario: at a time, a JSON object of what changes.
struct ScenarioStep
{
    double at = 0.0;
    QJsonObject change;
};

struct Scenario
{
    QString name;
    QList<ScenarioStep> steps;

    // On failure returns false and sets error to one sentence naming the place.
    bool parse(const QByteArray &json, const QString &source, QString *error);
    static Scenario builtInDrive();
    double duration() const { return steps.isEmpty() ? 0.0 : steps.last().at; }
};

struct FaultOptions
{
    double corruptRate = 0.0; // share of frames sent with a wrong checksum
    double noiseRate = 0.0; // share of frames preceded by noise bytes
    bool splitChunks = false; // cut what is sent into random pieces
    QList<QPair<double, double>> silences; // at, seconds
    quint32 seed = 1;
};

// The box side of the protocol over a BoxLine.
class BoxSimulator : public QObject
{
    Q_OBJECT

public:
    BoxSimulator(BoxLine *line, const Scenario &scenario, const FaultOptions &faults,
                 QObject *parent = nullptr);

    // Starts the scenario clock; messages flow once the head unit has sent its start command.
    void begin();
    VehicleModel &model() { return m_model; }
    bool running() const { return m_running; }

    // Counters: frames sent intact and corrupted, host frames received, host acknowledgements.
    int framesSent() const { return m_framesSent; }
    int framesCorrupted() const { return m_framesCorrupted; }
    int hostFrames() const { return m_hostFrames; }
    int hostAcks() const { return m_hostAcks; }
    int hostNaks() const { return m_hostNaks; }

    // Sends one message now; false when the box is silent or not started. A frame corrupted on
    // purpose counts as sent.
    bool send(int id, const QByteArray &payload);
    bool silent() const;

signals:
    // A line for the person watching: what the box received, decoded, or what it did.
    void report(const QString &line);
    void scenarioFinished();

private:
    void onReceived(const QByteArray &chunk);
    void onHostFrame(int id, const QByteArray &data);
    void onSetting(int code, int value);
    void answerRequest(int id);
    void applyStep(const QJsonObject &change);
    void runDueSteps();
    void heartbeat();
    void writeOut(const QByteArray &bytes);
    void sendClimate();

    BoxLine *m_line;
    Scenario m_scenario;
    FaultOptions m_faults;
    VehicleModel m_model;
    QRandomGenerator m_random;
    QElapsedTimer m_clock;
    QTimer m_stepTimer;
    QTimer m_heartbeat;
    int m_nextStep = 0;
    bool m_running = false;
    qint64 m_silentUntil = -1;

    // Host frame parser.
    QByteArray m_frame;
    int m_expected = -1;

    int m_framesSent = 0;
    int m_framesCorrupted = 0;
    int m_hostFrames = 0;
    int m_hostAcks = 0;
    int m_hostNaks = 0;
};
