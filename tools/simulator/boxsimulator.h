#pragma once

#include "canboxreceive.h"
#include "captureclock.h"
#include "faultyline.h"
#include "scenario.h"
#include "valuecheck.h"
#include "vehiclemodel.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>

namespace tool {

class BoxLine;

// The box side of the protocol over a BoxLine. Its jobs, one file each: the line with its faults
// (faultyline.cpp), reading the head unit's bytes (hostreader.cpp), the report of what the head
// unit sent (hostframetext.cpp), obeying its commands (hostcommands.cpp), answering its requests
// (requestanswers.cpp), and the scenario's keys (scenariorules.cpp, scenariohandlers.cpp).
class BoxSimulator : public QObject
{
    Q_OBJECT

public:
    BoxSimulator(BoxLine *line, const Scenario &scenario, const FaultOptions &faults,
                 QObject *parent = nullptr);

    // The keys a scenario step may have besides "at", in the order a step applies them.
    static QStringList scenarioKeys();
    // What is wrong with a scenario step's value for the key (null: nothing). Values must be in
    // the range the box's messages can carry.
    static QString checkScenarioValue(const QString &key, const QJsonValue &value);

    // Starts listening; the scenario's clock starts, and messages flow, once the head unit has
    // sent its start command.
    void begin();
    // Also report every frame sent, in hex.
    void setVerbose(bool on) { m_verbose = on; }
    VehicleModel &model() { return m_model; }
    bool running() const { return m_running; }

    // Counters: frames sent (those corrupted on purpose included) and of them the corrupted ones,
    // host frames received, host acknowledgements and refusals.
    int framesSent() const { return m_output.framesSent(); }
    int framesCorrupted() const { return m_output.framesCorrupted(); }
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
    void onHostItem(const canbox::ReceiveModel::Item &item);
    void onHostFrame(int id, const QByteArray &data);
    void obey(int id, const QByteArray &data);
    void onStart();
    void onSetting(int code, int value);
    void answerRequest(int id);
    void applyStep(const QJsonObject &change);

    // One handler per scenario key: it updates the model and sends what changed.
    using Handler = void (BoxSimulator::*)(const QJsonValue &value, const QJsonObject &change);
    struct KeyHandler
    {
        const char *key;
        Handler apply;
        ValueCheck rule;
    };
    static const KeyHandler Handlers[];
    void applyNote(const QJsonValue &value, const QJsonObject &);
    void applySilence(const QJsonValue &value, const QJsonObject &);
    void applyVersion(const QJsonValue &value, const QJsonObject &);
    void applySpeed(const QJsonValue &value, const QJsonObject &change);
    void applySpeedUnit(const QJsonValue &value, const QJsonObject &change);
    void applyRpm(const QJsonValue &value, const QJsonObject &);
    void applyDoors(const QJsonValue &value, const QJsonObject &);
    void applyUnits(const QJsonValue &value, const QJsonObject &);
    void applyClimate(const QJsonValue &value, const QJsonObject &);
    void applyRadar(const QJsonValue &value, const QJsonObject &);
    void applyParkingAssist(const QJsonValue &value, const QJsonObject &);
    void applySteeringKey(const QJsonValue &value, const QJsonObject &);
    void applyCarKey(const QJsonValue &value, const QJsonObject &);
    void pressKey(int id, const QJsonValue &value);
    void applyTrip(const QJsonValue &value, const QJsonObject &);
    void applyFuel(const QJsonValue &value, const QJsonObject &);
    void applyMileage(const QJsonValue &value, const QJsonObject &);
    void applyMileageUnit(const QJsonValue &value, const QJsonObject &);
    void applyAmbient(const QJsonValue &value, const QJsonObject &);
    void applyTyreAlert(const QJsonValue &value, const QJsonObject &);
    void runDueSteps();
    void heartbeat();
    void startScenario();
    void sendClimate();
    void sendSnapshot();

    BoxLine *m_line;
    Scenario m_scenario;
    QList<QPair<double, double>> m_silences;
    FaultyLine m_output;
    VehicleModel m_model;
    ThreadStopwatch m_clock;
    QTimer m_stepTimer;
    QTimer m_heartbeat;
    bool m_verbose = false;
    int m_nextStep = 0;
    bool m_running = false;
    qint64 m_silentUntil = -1;

    // What the head unit sends, read as a receiver reads it.
    canbox::ReceiveModel m_receiver;
    ThreadStopwatch m_lineClock;

    int m_hostFrames = 0;
    int m_hostAcks = 0;
    int m_hostNaks = 0;
};

} // namespace tool
