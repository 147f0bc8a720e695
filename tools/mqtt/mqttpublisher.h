#pragma once

#include "mqttlink.h"
#include "mqttqueue.h"

#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <QVector>

#include <deque>
#include <memory>

namespace tool {

class SessionModel;

// The session's vehicle on an MQTT broker, one car among many: each value change under
// PREFIX/VEHICLE/ + its dotted name with slashes (canservice/car7/Vehicle/Speed), as JSON
// {"value": ..., "unit": ..., "time": ...}, retained; the link's health and counters on
// PREFIX/VEHICLE/health at most once a second when they change; PREFIX/VEHICLE/online true while
// connected, false by the last will or at the end. Every message goes through the queue on disk
// first, so that a broker out of reach or a run killed loses nothing (up to the queue's bound,
// whose losses the health topic counts).
class MqttPublisher : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        MqttLink::Settings link;
        QString vehicleId;
        QString prefix = QStringLiteral("canservice");
        double rateHz = 10; // each value at most this often; 0: every change
        int qos = 1;
        QString queueDir; // empty: a folder of the run's own, gone at its end
        qint64 queueMaxBytes = 64 << 20;
        double waitSeconds = 10; // at the end, for the broker to take what is queued
    };

    // epochMs: the wall-clock time of the session's 0 on a capture (its start), or -1 when the
    // capture does not say; live: times are the wall clock's.
    MqttPublisher(SessionModel &model, const Options &options, bool live, qint64 epochMs, QObject *parent = nullptr);
    ~MqttPublisher() override;

    // Opens the queue and starts connecting: false with why not.
    bool start(QString *error);
    // Sends what is queued while the broker takes it, for at most waitMs (or until Ctrl-C), then
    // says goodbye. What is left stays in a queue folder that was given, and is said on standard
    // error. Done as the application quits.
    void finish(int waitMs);
    // The broker's first refusal (the login, the certificate, a topic), said on standard error.
    MqttLink::Refusal refusal() const { return m_refusal; }

signals:
    void refused(tool::MqttLink::Refusal refusal);

private:
    QByteArray topic(const QString &name) const;
    QByteArray timeJson() const;
    void valuesChanged(const QVector<int> &entries);
    void publishValue(int entry);
    // When the link or a count changed, or always.
    void publishHealth(bool always = false);
    void pump();
    void acknowledged(int id, int reasonCode);
    void refuse(MqttLink::Refusal refusal, const QString &why);

    SessionModel &m_model;
    Options m_options;
    bool m_live;
    qint64 m_epochMs;
    std::unique_ptr<QTemporaryDir> m_ownQueue;
    MqttQueue m_queue;
    MqttLink *m_link = nullptr;
    QTimer m_flush;
    QTimer m_rate;
    QTimer m_health;
    QByteArray m_lastHealth; // without the queue's length
    QByteArray m_lastHealthSent;
    QVector<qint64> m_sentMs; // per value, on the session's clock
    QVector<bool> m_due; // per value: changed since, held back by the rate
    struct InFlight
    {
        int id;
        int epoch;
        bool done;
    };
    std::deque<InFlight> m_inFlight;
    MqttLink::Refusal m_refusal = MqttLink::Refusal::None;
    bool m_finished = false;
};

} // namespace tool
