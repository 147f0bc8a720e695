#include "mqttpublisher.h"

#include "interrupt.h"
#include "jsontext.h"
#include "session.h"
#include "sessionmodel.h"
#include "vehiclestate.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QThread>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

#include <mosquitto.h>

namespace tool {

namespace {
// Messages sent and not acknowledged at once: enough to keep a line to the broker full, few
// enough that a lost connection sends little twice.
const int Window = 1000;
const int FlushMs = 100;
const int HealthMs = 1000;
} // namespace

MqttPublisher::MqttPublisher(SessionModel &model, const Options &options, bool live, qint64 epochMs, QObject *parent)
    : QObject(parent), m_model(model), m_options(options), m_live(live), m_epochMs(epochMs)
{
}

MqttPublisher::~MqttPublisher()
{
    if (m_link)
        m_link->stop();
    m_queue.close();
}

QByteArray MqttPublisher::topic(const QString &name) const
{
    return (m_options.prefix + QLatin1Char('/') + m_options.vehicleId + QLatin1Char('/')
            + QString(name).replace(QLatin1Char('.'), QLatin1Char('/')))
            .toUtf8();
}

QByteArray MqttPublisher::timeJson() const
{
    QString time;
    const qint64 sessionMs = std::llround(m_model.seconds() * 1000);
    if (m_live || m_epochMs >= 0) {
        time += QLatin1Char('"');
        json::appendIsoTime(time, m_live ? QDateTime::currentMSecsSinceEpoch() : m_epochMs + sessionMs);
        time += QLatin1Char('"');
    } else {
        // A capture that does not say when it began: its own seconds.
        json::appendMilliseconds(time, sessionMs);
    }
    return time.toUtf8();
}

bool MqttPublisher::start(QString *error)
{
    QString dir = m_options.queueDir;
    if (dir.isEmpty()) {
        m_ownQueue = std::make_unique<QTemporaryDir>();
        dir = m_ownQueue->path();
    }
    if (!m_queue.open(dir, m_options.queueMaxBytes, error))
        return false;
    MqttLink::Settings settings = m_options.link;
    settings.willTopic = topic(QStringLiteral("online"));
    settings.willPayload = "false";
    if (settings.clientId.isEmpty())
        settings.clientId = QStringLiteral("canservice-") + m_options.vehicleId;
    m_link = new MqttLink(settings, this);
    connect(m_link, &MqttLink::connected, this, [this] {
        m_link->publish(topic(QStringLiteral("online")), "true", 1, true);
        pump();
    });
    connect(m_link, &MqttLink::disconnected, this, [this] {
        // What was on its way comes again, in order, once the broker is back.
        m_inFlight.clear();
        m_queue.rewind();
    });
    connect(m_link, &MqttLink::acknowledged, this, &MqttPublisher::acknowledged);
    connect(m_link, &MqttLink::refused, this, &MqttPublisher::refuse);
    if (!m_link->start(error))
        return false;

    const int count = m_model.vehicle()->readings().size();
    m_sentMs.fill(-1, count);
    m_due.fill(false, count);
    connect(m_model.vehicle(), &VehicleState::changed, this, &MqttPublisher::valuesChanged);
    m_flush.setInterval(FlushMs);
    connect(&m_flush, &QTimer::timeout, this, [this] {
        m_queue.flush();
        pump();
    });
    m_flush.start();
    if (m_options.rateHz > 0) {
        m_rate.setInterval(std::max(1, int(std::lround(1000 / m_options.rateHz))));
        connect(&m_rate, &QTimer::timeout, this, [this] {
            const qint64 now = std::llround(m_model.seconds() * 1000);
            for (int i = 0; i < m_due.size(); ++i)
                if (m_due.at(i) && now - m_sentMs.at(i) >= m_rate.interval())
                    publishValue(i);
            pump();
        });
        m_rate.start();
    }
    m_health.setInterval(HealthMs);
    connect(&m_health, &QTimer::timeout, this, [this] { publishHealth(); });
    m_health.start();
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
            [this] { finish(int(m_options.waitSeconds * 1000)); });
    return true;
}

void MqttPublisher::valuesChanged(const QVector<int> &entries)
{
    const qint64 now = std::llround(m_model.seconds() * 1000);
    const qint64 spacing = m_options.rateHz > 0 ? std::llround(1000 / m_options.rateHz) : 0;
    for (const int i : entries) {
        // The latest value always goes: one held back goes with the next tick of the rate.
        if (spacing > 0 && m_sentMs.at(i) >= 0 && now - m_sentMs.at(i) < spacing)
            m_due[i] = true;
        else
            publishValue(i);
    }
    pump();
}

void MqttPublisher::publishValue(int entry)
{
    const Reading &r = m_model.vehicle()->readings().at(entry);
    QString payload = QStringLiteral("{\"value\":");
    json::appendValue(payload, r.value);
    if (!r.unit.isEmpty()) {
        payload += QLatin1String(",\"unit\":");
        json::appendString(payload, r.unit);
    }
    payload += QLatin1String(",\"time\":") + QString::fromUtf8(timeJson()) + QLatin1Char('}');
    m_queue.append(topic(SignalCatalogue::vehicleSignals().at(entry).name), payload.toUtf8());
    m_sentMs[entry] = std::llround(m_model.seconds() * 1000);
    m_due[entry] = false;
}

void MqttPublisher::publishHealth(bool always)
{
    QJsonObject health = m_model.health().toJson();
    health.insert(QStringLiteral("link"), m_model.linkText());
    health.insert(QStringLiteral("dropped"), double(m_queue.dropped()));
    // Sent when the link's state or a count changed. The queue's length is said with it, but is
    // no change of its own: each health message would lengthen the queue and be news again.
    // The end's health goes when anything of it differs, the queue's length too.
    const QByteArray news = QJsonDocument(health).toJson(QJsonDocument::Compact);
    if (news == m_lastHealth && !always)
        return;
    health.insert(QStringLiteral("queued"), double(m_queue.waiting()));
    const QByteArray payload = QJsonDocument(health).toJson(QJsonDocument::Compact);
    if (payload == m_lastHealthSent)
        return;
    m_lastHealth = news;
    m_lastHealthSent = payload;
    m_queue.append(topic(QStringLiteral("health")), payload);
    pump();
}

void MqttPublisher::pump()
{
    if (!m_link || !m_link->isConnected())
        return;
    MqttQueue::Record record;
    while (int(m_inFlight.size()) < Window && m_queue.next(&record)) {
        const int id = m_link->publish(record.topic, record.payload, m_options.qos, true);
        if (id < 0) {
            // Not taken (the connection just went): it comes again after the rewind.
            m_queue.rewind();
            m_inFlight.clear();
            return;
        }
        if (m_options.qos == 0)
            m_queue.acknowledge();
        else
            m_inFlight.push_back({id, m_queue.epoch(), false});
    }
}

void MqttPublisher::acknowledged(int id, int reasonCode)
{
    if (reasonCode >= 128)
        refuse(MqttLink::Refusal::Denied, QStringLiteral("%1 (reason %2)").arg(QString::fromUtf8(mosquitto_reason_string(reasonCode))).arg(reasonCode));
    // Acknowledgements come in order, nearly always: the first is the one.
    for (InFlight &f : m_inFlight)
        if (f.id == id && f.epoch == m_queue.epoch()) {
            f.done = true;
            break;
        }
    while (!m_inFlight.empty() && m_inFlight.front().done) {
        m_inFlight.pop_front();
        m_queue.acknowledge();
    }
    pump();
}

void MqttPublisher::refuse(MqttLink::Refusal refusal, const QString &why)
{
    if (m_refusal != MqttLink::Refusal::None)
        return;
    m_refusal = refusal;
    const QString broker = QStringLiteral("%1:%2").arg(m_options.link.host).arg(m_options.link.port);
    switch (refusal) {
    case MqttLink::Refusal::Login:
        tool::err() << "canservice: the MQTT broker " << broker << " refused the login (" << why
                    << "): check the user in the URL and the password\n";
        break;
    case MqttLink::Refusal::Certificate:
        tool::err() << "canservice: the TLS handshake with the MQTT broker " << broker << " failed (" << why
                    << "): check --mqtt-ca and the client certificate\n";
        break;
    case MqttLink::Refusal::Denied:
        tool::err() << "canservice: the MQTT broker " << broker << " does not let this client publish under "
                    << m_options.prefix << '/' << m_options.vehicleId << "/ (" << why << "): check its ACL\n";
        break;
    case MqttLink::Refusal::None:
    case MqttLink::Refusal::Unreached:
        break;
    }
    tool::err().flush();
    emit refused(refusal);
}

void MqttPublisher::finish(int waitMs)
{
    if (m_finished || !m_link)
        return;
    m_finished = true;
    for (int i = 0; i < m_due.size(); ++i)
        if (m_due.at(i))
            publishValue(i);
    publishHealth();
    m_queue.flush();
    // A run that ends before the broker answered (a replay is quick) waits for it too. On the
    // wall clock, hearing only the connection: the session's timers (a replay's capture clock
    // among them) stay where they are.
    m_flush.stop();
    m_rate.stop();
    m_health.stop();
    const auto done = [this] {
        return (m_queue.waiting() == 0 && m_inFlight.empty()) || m_refusal != MqttLink::Refusal::None;
    };
    QElapsedTimer waited;
    waited.start();
    const int interrupts = Interrupt::requests();
    const auto drain = [&] {
        while (!done() && waited.elapsed() < waitMs && Interrupt::requests() == interrupts) {
            QCoreApplication::sendPostedEvents(m_link, QEvent::MetaCall);
            pump();
            if (!done())
                m_link->waitForNews(20);
        }
    };
    drain();
    // The health the broker keeps says what the end left queued: nothing, when all went.
    if (m_queue.waiting() == 0 && m_refusal == MqttLink::Refusal::None) {
        publishHealth(true);
        drain();
    }
    if (m_link->isConnected()) {
        m_link->publish(topic(QStringLiteral("online")), "false", 1, true);
        QThread::msleep(20);
    }
    m_link->stop();
    m_queue.close();
    // After a refusal its line has said why nothing more went.
    if (m_queue.waiting() > 0 && m_refusal == MqttLink::Refusal::None) {
        tool::err() << "canservice: " << m_queue.waiting() << " changes did not reach the MQTT broker "
                    << m_options.link.host << ':' << m_options.link.port
                    << (m_options.queueDir.isEmpty() ? QStringLiteral(" and are lost (--mqtt-queue DIR keeps them for the next run)")
                                                     : QStringLiteral("; they wait in ") + m_options.queueDir)
                    << '\n';
        if (m_options.queueDir.isEmpty()) {
            m_refusal = MqttLink::Refusal::Unreached;
            emit refused(m_refusal);
        }
    }
}

} // namespace tool
