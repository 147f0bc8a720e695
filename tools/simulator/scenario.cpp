#include "scenario.h"

#include "boxsimulator.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

bool Scenario::parse(const QByteArray &json, const QString &source, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (doc.isNull()) {
        *error = QStringLiteral("%1: not valid JSON at offset %2: %3.")
                         .arg(source).arg(parseError.offset).arg(parseError.errorString());
        return false;
    }
    const QJsonObject root = doc.object();
    if (!doc.isObject() || !root.value(QLatin1String("events")).isArray()) {
        *error = QStringLiteral("%1: a scenario is an object with an \"events\" array.").arg(source);
        return false;
    }
    name = root.value(QLatin1String("name")).toString(source);
    steps.clear();
    const QJsonArray events = root.value(QLatin1String("events")).toArray();
    for (int i = 0; i < events.size(); ++i) {
        const QJsonObject event = events.at(i).toObject();
        if (!events.at(i).isObject() || !event.value(QLatin1String("at")).isDouble()
            || event.value(QLatin1String("at")).toDouble() < 0) {
            *error = QStringLiteral("%1: event %2 needs \"at\", its time in seconds.")
                             .arg(source).arg(i + 1);
            return false;
        }
        for (auto it = event.begin(); it != event.end(); ++it) {
            if (it.key() != QLatin1String("at") && !BoxSimulator::scenarioKeys().contains(it.key())) {
                *error = QStringLiteral("%1: event %2: unknown key \"%3\".")
                                 .arg(source).arg(i + 1).arg(it.key());
                return false;
            }
        }
        steps.append({event.value(QLatin1String("at")).toDouble(), event});
    }
    std::stable_sort(steps.begin(), steps.end(),
                     [](const ScenarioStep &a, const ScenarioStep &b) { return a.at < b.at; });
    return true;
}

Scenario Scenario::builtInDrive()
{
    // The drive is compiled into the tool's static library, whose resources need a nudge.
    Q_INIT_RESOURCE(simulator);
    QFile file(QStringLiteral(":/simulator/drive.json"));
    file.open(QIODevice::ReadOnly);
    Scenario scenario;
    QString error;
    if (!scenario.parse(file.readAll(), QStringLiteral("built-in drive"), &error))
        qFatal("%s", qPrintable(error));
    return scenario;
}
