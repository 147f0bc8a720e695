#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

struct mosquitto;

namespace tool {

// One connection to an MQTT broker (MQTT 5, through libmosquitto), kept up by libmosquitto's own
// thread: it connects again after a loss, every second at first, then less often. What the
// thread hears comes to this object's thread as signals.
class MqttLink : public QObject
{
    Q_OBJECT

public:
    struct Settings
    {
        QString host;
        int port = 1883;
        bool tls = false;
        QString user;
        QString password;
        QString ca; // a CA file, or a folder of them; empty: the system's
        QString certificate; // the client's own, with its key
        QString key;
        QString clientId;
        QByteArray willTopic;
        QByteArray willPayload;
        // Topic filters subscribed to at QoS 1 on every connection; what comes is message().
        QList<QByteArray> subscriptions;
    };
    // Why a broker would not have us, each with its exit code.
    // Unreached: not a refusal, but the run's end came before the broker took what was queued,
    // and the queue goes with the run.
    enum class Refusal { None, Login, Certificate, Denied, Unreached };
    Q_ENUM(Refusal)

    explicit MqttLink(const Settings &settings, QObject *parent = nullptr);
    ~MqttLink() override;

    // Starts connecting: false with why not (a setting libmosquitto refuses, such as an unreadable
    // certificate file).
    bool start(QString *error);
    // The message's id (acknowledged() tells of it at QoS 1), or -1 when it could not be queued.
    int publish(const QByteArray &topic, const QByteArray &payload, int qos, bool retain);
    bool isConnected() const { return m_connected; }
    // Disconnects cleanly (no last will) and stops the thread.
    void stop();
    // Waits at most ms for the thread to hear something (an acknowledgement, a connection, its
    // loss), for a caller that cannot run its event loop; true when it did.
    bool waitForNews(int ms);

signals:
    void connected();
    void disconnected(const QString &why);
    // The broker refused the login or the certificate: the link stops trying.
    void refused(tool::MqttLink::Refusal refusal, const QString &why);
    // A message at QoS 1 reached the broker; a reason code of 128 or more is a refusal (135: not
    // authorized, the broker's ACL).
    void acknowledged(int id, int reasonCode);
    // A message on a subscribed topic; retained: the broker's stored one, sent as we subscribed.
    void message(const QByteArray &topic, const QByteArray &payload, bool retained);

private:
    static void onConnect(mosquitto *, void *self, int reason, int flags, const void *properties);
    static void onDisconnect(mosquitto *, void *self, int reason, const void *properties);
    static void onPublish(mosquitto *, void *self, int id, int reason, const void *properties);
    static void onMessage(mosquitto *, void *self, const void *message, const void *properties);
    static void onLog(mosquitto *, void *self, int level, const char *text);

    Settings m_settings;
    mosquitto *m_client = nullptr;
    bool m_running = false;
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_refused{false};
    std::mutex m_newsLock;
    std::condition_variable m_newsCame;
    int m_news = 0;
    // Acknowledgements come in runs: gathered here, and brought over as one event a run.
    std::vector<std::pair<int, int>> m_acks;
    void tell();
    void deliverAcknowledgements();
};

} // namespace tool
