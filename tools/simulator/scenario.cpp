#include "scenario.h"

#include "boxsimulator.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>

// Resources are initialised from the global namespace.
static void initSimulatorResources()
{
    Q_INIT_RESOURCE(simulator);
}

namespace tool {

namespace {
const double LongestScenarioSeconds = 7 * 86400.0;

int lineAt(const QByteArray &json, int offset)
{
    return int(json.left(offset).count('\n')) + 1;
}

} // namespace

// QJsonDocument keeps no positions, and an error about an event is no use without its line: this
// walk over the text finds where each object of the top-level "events" array starts, skipping
// what strings hold. The text has already been read by QJsonDocument, so it is valid JSON.
QList<int> Scenario::eventLines(const QByteArray &json)
{
    QList<int> lines;
    int depth = 0, line = 1, eventsDepth = -1;
    bool inString = false, escaped = false;
    QByteArray lastKey, string;
    for (const char c : json) {
        if (c == '\n')
            ++line;
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            else
                string += c;
            continue;
        }
        if (c == '"') {
            inString = true;
            string.clear();
        } else if (c == ':') {
            lastKey = string;
        } else if (c == '{' || c == '[') {
            if (c == '[' && depth == 1 && lastKey == "events")
                eventsDepth = depth + 1;
            else if (c == '{' && depth == eventsDepth)
                lines << line;
            ++depth;
        } else if (c == '}' || c == ']') {
            --depth;
            if (depth < eventsDepth)
                eventsDepth = -1;
        }
    }
    return lines;
}

bool Scenario::parse(const QByteArray &json, const QString &source, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (doc.isNull()) {
        const int offset = parseError.offset;
        const int lineStart = int(json.lastIndexOf('\n', offset - 1)) + 1;
        *error = QStringLiteral("%1:%2:%3: not valid JSON: %4.")
                         .arg(source)
                         .arg(lineAt(json, offset))
                         .arg(offset - lineStart + 1)
                         .arg(parseError.errorString());
        return false;
    }
    const QJsonObject root = doc.object();
    if (!doc.isObject() || !root.value(QLatin1String("events")).isArray()) {
        *error = QStringLiteral("%1: a scenario is an object with an \"events\" array.").arg(source);
        return false;
    }
    for (auto it = root.begin(); it != root.end(); ++it) {
        if (it.key() != QLatin1String("events") && it.key() != QLatin1String("name")) {
            *error = QStringLiteral("%1: unknown key \"%2\"; a scenario has \"name\" and \"events\".")
                             .arg(source, it.key());
            return false;
        }
    }
    name = root.value(QLatin1String("name")).toString(source);
    steps.clear();
    warnings.clear();
    QStringList places;
    const QJsonArray events = root.value(QLatin1String("events")).toArray();
    const QList<int> lines = eventLines(json);
    for (int i = 0; i < events.size(); ++i) {
        const QString place = QStringLiteral("%1:%2: event %3").arg(source).arg(lines.value(i, 1)).arg(i + 1);
        const QJsonObject event = events.at(i).toObject();
        const double at = event.value(QLatin1String("at")).toDouble(-1);
        if (!events.at(i).isObject() || !event.value(QLatin1String("at")).isDouble() || !std::isfinite(at)
            || at < 0 || at > LongestScenarioSeconds) {
            *error = QStringLiteral("%1 needs \"at\", its time in seconds from 0 to %2.")
                             .arg(place)
                             .arg(LongestScenarioSeconds);
            return false;
        }
        for (auto it = event.begin(); it != event.end(); ++it) {
            if (it.key() == QLatin1String("at"))
                continue;
            const QString problem = BoxSimulator::checkScenarioValue(it.key(), it.value());
            if (!problem.isEmpty()) {
                *error = QStringLiteral("%1, key \"%2\": %3.").arg(place, it.key(), problem);
                return false;
            }
        }
        steps.append({at, event});
        places.append(place);
    }
    warnAboutHeldKeys(places);
    std::stable_sort(steps.begin(), steps.end(),
                     [](const ScenarioStep &a, const ScenarioStep &b) { return a.at < b.at; });
    return true;
}

// A car can hold two keys at once, and the box then reports both; the plugin keeps one held key
// and its long press at a time, so the second press ends the first one's. Played all the same.
void Scenario::warnAboutHeldKeys(const QStringList &places)
{
    struct Hold
    {
        double from, to;
        int code, step;
    };
    QList<Hold> holds;
    for (int i = 0; i < steps.size(); ++i) {
        for (const char *key : {"key", "carKey"}) {
            const QJsonObject k = steps.at(i).change.value(QLatin1String(key)).toObject();
            if (!k.isEmpty())
                holds.append({steps.at(i).at, steps.at(i).at + k.value(QLatin1String("hold")).toDouble(),
                              k.value(QLatin1String("code")).toInt(), i});
        }
    }
    for (int a = 0; a < holds.size(); ++a) {
        for (int b = a + 1; b < holds.size(); ++b) {
            const Hold &first = holds.at(a), &second = holds.at(b);
            if (second.from < first.to && first.from < second.to)
                warnings << QStringLiteral("%1: key %2 is pressed while key %3 is held; the plugin "
                                           "reports one held key at a time.")
                                    .arg(places.at(second.step))
                                    .arg(second.code)
                                    .arg(first.code);
        }
    }
}

Scenario Scenario::builtInDrive()
{
    // The drive is compiled into the tool's static library, whose resources need a nudge.
    initSimulatorResources();
    QFile file(QStringLiteral(":/simulator/drive.json"));
    file.open(QIODevice::ReadOnly);
    Scenario scenario;
    QString error;
    if (!scenario.parse(file.readAll(), QStringLiteral("built-in drive"), &error))
        qFatal("%s", qPrintable(error));
    return scenario;
}

} // namespace tool
