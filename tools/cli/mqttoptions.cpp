#include "mqttoptions.h"

#include "exitcodes.h"
#include "session.h"
#include "sessionmodel.h"

#include <QFile>
#include <QSysInfo>
#include <QRegularExpression>
#include <QUrl>

namespace tool {

namespace {
int g_exitCode = 0;
} // namespace

void addMqttOptions(QCommandLineParser &parser)
{
    parser.addOptions({
            {QStringLiteral("mqtt"),
             QStringLiteral("Publish every value change on an MQTT broker: mqtt://[USER@]HOST[:PORT] or "
                            "mqtts:// (TLS). The password comes from --mqtt-password-file or the "
                            "environment's CANSERVICE_MQTT_PASSWORD, never the command line."),
             QStringLiteral("URL")},
            {QStringLiteral("vehicle-id"), QStringLiteral("The car's name in the topics (default: the host name)."),
             QStringLiteral("ID")},
            {QStringLiteral("mqtt-prefix"), QStringLiteral("The topics' first level (default canservice)."),
             QStringLiteral("PREFIX"), QStringLiteral("canservice")},
            {QStringLiteral("mqtt-rate"),
             QStringLiteral("Each value at most this often a second, the latest always kept (default 10; 0: every change)."),
             QStringLiteral("HZ"), QStringLiteral("10")},
            {QStringLiteral("mqtt-qos"), QStringLiteral("0 or 1 (default 1: each message acknowledged)."),
             QStringLiteral("QOS"), QStringLiteral("1")},
            {QStringLiteral("mqtt-queue"),
             QStringLiteral("Keep the changes on their way in this folder: a broker out of reach or a run "
                            "killed loses nothing, and the next run with it sends them first."),
             QStringLiteral("DIR")},
            {QStringLiteral("mqtt-queue-max"),
             QStringLiteral("The queue's bound in MiB (default 64); past it the oldest changes go, counted on the health topic."),
             QStringLiteral("MIB"), QStringLiteral("64")},
            {QStringLiteral("mqtt-wait"),
             QStringLiteral("At the end, wait at most this long for the broker to take what is queued "
                            "(default 10; Ctrl-C ends the wait)."),
             QStringLiteral("SECONDS"), QStringLiteral("10")},
    });
    addMqttLinkOptions(parser);
}

void addMqttLinkOptions(QCommandLineParser &parser)
{
    parser.addOptions({
            {QStringLiteral("mqtt-ca"), QStringLiteral("With mqtts://: the CA certificate file or folder (default: the system's)."),
             QStringLiteral("FILE")},
            {QStringLiteral("mqtt-cert"), QStringLiteral("With mqtts://: the client's certificate."), QStringLiteral("FILE")},
            {QStringLiteral("mqtt-key"), QStringLiteral("With mqtts://: the client certificate's key."), QStringLiteral("FILE")},
            {QStringLiteral("mqtt-password-file"), QStringLiteral("The MQTT password, the file's first line."),
             QStringLiteral("FILE")},
    });
}

int chooseMqttLink(const QCommandLineParser &parser, const QString &command, const QString &text, const QString &what,
                   MqttLink::Settings *link)
{
    const auto usage = [&command](const QString &why) {
        tool::err() << command << ": " << why << "; see --help\n";
        return exitcode::Usage;
    };
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts")) || url.host().isEmpty()
        || !url.password().isEmpty() || !(url.path().isEmpty() || url.path() == QLatin1String("/")))
        return usage(what + QStringLiteral(" takes mqtt://[USER@]HOST[:PORT] or mqtts://..., without a password"));
    link->tls = scheme == QLatin1String("mqtts");
    link->host = url.host();
    link->port = url.port(link->tls ? 8883 : 1883);
    link->user = url.userName();
    link->ca = parser.value(QStringLiteral("mqtt-ca"));
    link->certificate = parser.value(QStringLiteral("mqtt-cert"));
    link->key = parser.value(QStringLiteral("mqtt-key"));
    if (!link->tls && !(link->ca.isEmpty() && link->certificate.isEmpty() && link->key.isEmpty()))
        return usage(QStringLiteral("--mqtt-ca, --mqtt-cert and --mqtt-key need an mqtts:// URL"));
    if (link->certificate.isEmpty() != link->key.isEmpty())
        return usage(QStringLiteral("--mqtt-cert and --mqtt-key go together"));
    if (parser.isSet(QStringLiteral("mqtt-password-file"))) {
        QFile file(parser.value(QStringLiteral("mqtt-password-file")));
        if (!file.open(QIODevice::ReadOnly)) {
            tool::err() << command << ": cannot read the MQTT password file " << file.fileName() << ": "
                        << file.errorString() << '\n';
            return exitcode::CannotRead;
        }
        link->password = QString::fromUtf8(file.readLine()).remove(QRegularExpression(QStringLiteral("[\r\n]+$")));
    } else if (qEnvironmentVariableIsSet("CANSERVICE_MQTT_PASSWORD")) {
        link->password = qEnvironmentVariable("CANSERVICE_MQTT_PASSWORD");
    }
    return -1;
}

bool isTopicLevel(const QString &text)
{
    // No separator, no wildcard, nothing invisible.
    static const QRegularExpression level(QStringLiteral("^[^/#+\\x00-\\x1f\\x7f]+$"));
    return level.match(text).hasMatch();
}

int chooseMqtt(const QCommandLineParser &parser, const QString &command, MqttPublisher::Options *options, bool *wanted)
{
    *wanted = parser.isSet(QStringLiteral("mqtt"));
    if (!*wanted)
        return -1;
    if (const int exit = chooseMqttLink(parser, command, parser.value(QStringLiteral("mqtt")), QStringLiteral("--mqtt"),
                                        &options->link);
        exit >= 0)
        return exit;
    const auto usage = [&command](const QString &why) {
        tool::err() << command << ": " << why << "; see --help\n";
        return exitcode::Usage;
    };
    options->vehicleId = parser.isSet(QStringLiteral("vehicle-id")) ? parser.value(QStringLiteral("vehicle-id"))
                                                                      : QSysInfo::machineHostName();
    options->prefix = parser.value(QStringLiteral("mqtt-prefix"));
    if (!isTopicLevel(options->vehicleId) || !isTopicLevel(options->prefix))
        return usage(QStringLiteral("--vehicle-id and --mqtt-prefix are one topic level each: no '/', '+', '#' "
                                    "or control characters, not empty"));
    bool ok = false;
    options->rateHz = parser.value(QStringLiteral("mqtt-rate")).toDouble(&ok);
    if (!ok || options->rateHz < 0 || options->rateHz > 1000)
        return usage(QStringLiteral("--mqtt-rate takes 0 (every change) to 1000 a second"));
    options->qos = parser.value(QStringLiteral("mqtt-qos")).toInt(&ok);
    if (!ok || (options->qos != 0 && options->qos != 1))
        return usage(QStringLiteral("--mqtt-qos takes 0 or 1"));
    const double mib = parser.value(QStringLiteral("mqtt-queue-max")).toDouble(&ok);
    if (!ok || mib < 1 || mib > 1 << 20)
        return usage(QStringLiteral("--mqtt-queue-max takes 1 to 1048576 MiB"));
    options->queueMaxBytes = qint64(mib * (1 << 20));
    options->queueDir = parser.value(QStringLiteral("mqtt-queue"));
    options->waitSeconds = parser.value(QStringLiteral("mqtt-wait")).toDouble(&ok);
    if (!ok || options->waitSeconds < 0 || options->waitSeconds > 3600)
        return usage(QStringLiteral("--mqtt-wait takes 0 to 3600 seconds"));
    return -1;
}

int attachMqtt(const MqttPublisher::Options &options, Session &session, bool live, qint64 epochMs)
{
    auto *publisher = new MqttPublisher(*session.model(), options, live, epochMs, &session);
    QString error;
    if (!publisher->start(&error)) {
        tool::err() << "canservice: " << error << '\n';
        delete publisher;
        return exitcode::Failure;
    }
    QObject::connect(publisher, &MqttPublisher::refused, [](MqttLink::Refusal refusal) {
        g_exitCode = refusal == MqttLink::Refusal::Login         ? exitcode::MqttRefused
                : refusal == MqttLink::Refusal::Certificate      ? exitcode::MqttCertificate
                : refusal == MqttLink::Refusal::Denied           ? exitcode::MqttDenied
                                                                 : exitcode::MqttUnreached;
    });
    return -1;
}

int mqttExitCode()
{
    return g_exitCode;
}

} // namespace tool
