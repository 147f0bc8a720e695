#include "mqttlink.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QTimer>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <mutex>

namespace tool {

namespace {
std::once_flag libraryStarted;
const int KeepAliveSeconds = 30;
const int FirstRetryMs = 1000;

QString reasonText(int reason)
{
    return QString::fromUtf8(mosquitto_reason_string(reason));
}
} // namespace

MqttLink::MqttLink(const Settings &settings, QObject *parent) : QObject(parent), m_settings(settings)
{
    qRegisterMetaType<tool::MqttLink::Refusal>();
    // Refused once, refused again: the link stops trying (here, not in its thread's callbacks).
    connect(this, &MqttLink::refused, this, &MqttLink::stop);
    std::call_once(libraryStarted, [] { mosquitto_lib_init(); });
}

MqttLink::~MqttLink()
{
    stop();
    if (m_client)
        mosquitto_destroy(m_client);
}

bool MqttLink::start(QString *error)
{
    const QByteArray id = m_settings.clientId.toUtf8();
    m_client = mosquitto_new(id.constData(), true, this);
    if (!m_client) {
        *error = QStringLiteral("cannot make an MQTT client");
        return false;
    }
    mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_connect_v5_callback_set(m_client, reinterpret_cast<void (*)(mosquitto *, void *, int, int, const mosquitto_property *)>(&MqttLink::onConnect));
    mosquitto_disconnect_v5_callback_set(m_client, reinterpret_cast<void (*)(mosquitto *, void *, int, const mosquitto_property *)>(&MqttLink::onDisconnect));
    mosquitto_publish_v5_callback_set(m_client, reinterpret_cast<void (*)(mosquitto *, void *, int, int, const mosquitto_property *)>(&MqttLink::onPublish));
    if (!m_settings.subscriptions.isEmpty())
        mosquitto_message_v5_callback_set(m_client, reinterpret_cast<void (*)(mosquitto *, void *, const mosquitto_message *, const mosquitto_property *)>(&MqttLink::onMessage));
    mosquitto_log_callback_set(m_client, &MqttLink::onLog);
    mosquitto_reconnect_delay_set(m_client, 1, 30, true);
    const auto check = [error](int rc, const QString &what) {
        if (rc != MOSQ_ERR_SUCCESS)
            *error = what + QStringLiteral(": ") + QString::fromUtf8(mosquitto_strerror(rc));
        return rc == MOSQ_ERR_SUCCESS;
    };
    if (!m_settings.user.isEmpty()
        && !check(mosquitto_username_pw_set(m_client, m_settings.user.toUtf8().constData(),
                                            m_settings.password.isNull() ? nullptr : m_settings.password.toUtf8().constData()),
                  QStringLiteral("the MQTT user")))
        return false;
    if (!m_settings.willTopic.isEmpty()
        && !check(mosquitto_will_set(m_client, m_settings.willTopic.constData(), int(m_settings.willPayload.size()),
                                     m_settings.willPayload.constData(), 1, true),
                  QStringLiteral("the MQTT last will")))
        return false;
    if (m_settings.tls) {
        const QByteArray ca = m_settings.ca.toLocal8Bit(), certificate = m_settings.certificate.toLocal8Bit(),
                         key = m_settings.key.toLocal8Bit();
        // A CA file, a folder of them, or the system's.
        const bool folder = !ca.isEmpty() && QFileInfo(m_settings.ca).isDir();
        const char *caFile = !ca.isEmpty() && !folder ? ca.constData() : nullptr;
        const char *caFolder = folder ? ca.constData() : ca.isEmpty() ? "/etc/ssl/certs" : nullptr;
        if (!check(mosquitto_tls_set(m_client, caFile, caFolder,
                                     certificate.isEmpty() ? nullptr : certificate.constData(),
                                     key.isEmpty() ? nullptr : key.constData(), nullptr),
                   QStringLiteral("the MQTT certificates")))
            return false;
    }
    // A broker not there yet is no error: the thread tries again until it is.
    const int rc = mosquitto_connect_async(m_client, m_settings.host.toUtf8().constData(), m_settings.port,
                                           KeepAliveSeconds);
    if (rc == MOSQ_ERR_INVAL || rc == MOSQ_ERR_EAI) {
        check(rc, QStringLiteral("cannot reach the MQTT broker %1:%2").arg(m_settings.host).arg(m_settings.port));
        return false;
    }
    if (!check(mosquitto_loop_start(m_client), QStringLiteral("the MQTT thread")))
        return false;
    m_running = true;
    // A first connection refused (nothing listening yet) leaves libmosquitto's thread waiting for
    // one to be under way, which it does not start itself: it is started here every second until
    // one is. Later losses the thread mends on its own.
    if (rc != MOSQ_ERR_SUCCESS) {
        auto *retry = new QTimer(this);
        connect(retry, &QTimer::timeout, this, [this, retry] {
            if (!m_running || mosquitto_reconnect_async(m_client) == MOSQ_ERR_SUCCESS)
                retry->deleteLater();
        });
        retry->start(FirstRetryMs);
    }
    return true;
}

int MqttLink::publish(const QByteArray &topic, const QByteArray &payload, int qos, bool retain)
{
    int id = -1;
    if (mosquitto_publish(m_client, &id, topic.constData(), int(payload.size()), payload.constData(), qos, retain)
        != MOSQ_ERR_SUCCESS)
        return -1;
    return id;
}

void MqttLink::stop()
{
    if (!m_running)
        return;
    m_running = false;
    // Connected, the thread sends the goodbye (no last will then) and ends; else it may be
    // sleeping before its next try, which is not waited for.
    const bool connected = m_connected;
    mosquitto_disconnect(m_client);
    mosquitto_loop_stop(m_client, !connected);
    m_connected = false;
}

void MqttLink::tell()
{
    {
        std::lock_guard<std::mutex> lock(m_newsLock);
        ++m_news;
    }
    m_newsCame.notify_one();
}

bool MqttLink::waitForNews(int ms)
{
    std::unique_lock<std::mutex> lock(m_newsLock);
    const bool came = m_newsCame.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_news > 0; });
    m_news = 0;
    return came;
}

void MqttLink::onConnect(mosquitto *client, void *self, int reason, int, const void *)
{
    auto *link = static_cast<MqttLink *>(self);
    if (reason == MQTT_RC_SUCCESS) {
        // The session is a clean one: subscriptions are made again on each connection.
        for (const QByteArray &filter : link->m_settings.subscriptions)
            mosquitto_subscribe(client, nullptr, filter.constData(), 1);
        link->m_connected = true;
        QMetaObject::invokeMethod(link, [link] { emit link->connected(); }, Qt::QueuedConnection);
        link->tell();
        return;
    }
    // A login refused now is refused again: trying again only fills the broker's log.
    if (reason == MQTT_RC_BAD_USERNAME_OR_PASSWORD || reason == MQTT_RC_NOT_AUTHORIZED) {
        link->m_refused = true;
        const QString why = reasonText(reason);
        QMetaObject::invokeMethod(link, [link, why] { emit link->refused(Refusal::Login, why); }, Qt::QueuedConnection);
        link->tell();
    }
}

void MqttLink::onDisconnect(mosquitto *, void *self, int reason, const void *)
{
    auto *link = static_cast<MqttLink *>(self);
    const bool was = link->m_connected.exchange(false);
    if (!was)
        return;
    const QString why = reason == 0 ? QStringLiteral("disconnected") : QString::fromUtf8(mosquitto_strerror(reason));
    QMetaObject::invokeMethod(link, [link, why] { emit link->disconnected(why); }, Qt::QueuedConnection);
    link->tell();
}

void MqttLink::onPublish(mosquitto *, void *self, int id, int reason, const void *)
{
    auto *link = static_cast<MqttLink *>(self);
    bool first;
    {
        std::lock_guard<std::mutex> lock(link->m_newsLock);
        link->m_acks.emplace_back(id, reason);
        first = link->m_acks.size() == 1;
        ++link->m_news;
    }
    if (first)
        QMetaObject::invokeMethod(link, [link] { link->deliverAcknowledgements(); }, Qt::QueuedConnection);
    link->m_newsCame.notify_one();
}

void MqttLink::deliverAcknowledgements()
{
    std::vector<std::pair<int, int>> acks;
    {
        std::lock_guard<std::mutex> lock(m_newsLock);
        acks.swap(m_acks);
    }
    for (const auto &[id, reason] : acks)
        emit acknowledged(id, reason);
}

void MqttLink::onMessage(mosquitto *, void *self, const void *message, const void *)
{
    auto *link = static_cast<MqttLink *>(self);
    const auto *m = static_cast<const mosquitto_message *>(message);
    const QByteArray topic(m->topic);
    const QByteArray payload(static_cast<const char *>(m->payload), m->payloadlen);
    const bool retained = m->retain;
    QMetaObject::invokeMethod(link, [link, topic, payload, retained] { emit link->message(topic, payload, retained); },
                              Qt::QueuedConnection);
}

void MqttLink::onLog(mosquitto *, void *self, int level, const char *text)
{
    auto *link = static_cast<MqttLink *>(self);
    // A certificate the other side does not take ends the handshake; libmosquitto says so only in
    // its log, and its thread ends on it (a TLS error is one it does not try again). The log is
    // written with the client's locks held: nothing here may call back into libmosquitto.
    const QString message = QString::fromUtf8(text);
    if (level != MOSQ_LOG_ERR || !message.contains(QLatin1String("OpenSSL")) || link->m_refused.exchange(true))
        return;
    QMetaObject::invokeMethod(link, [link, message] { emit link->refused(Refusal::Certificate, message); },
                              Qt::QueuedConnection);
    link->tell();
}

} // namespace tool
