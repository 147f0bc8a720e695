#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace tool {

// One scheduled change of a scenario: at a time, a JSON object of what changes.
struct ScenarioStep
{
    double at = 0.0;
    QJsonObject change;
};

// A timeline of vehicle changes for the simulated box, read from JSON: {"name": ..., "events":
// [{"at": seconds, key: value, ...}, ...]}. The keys are the box's (BoxSimulator::scenarioKeys()).
struct Scenario
{
    QString name;
    QList<ScenarioStep> steps;
    // What will be played but not as the author may expect, one sentence each with file:line.
    QStringList warnings;

    // On failure returns false and sets error to one sentence naming the place.
    bool parse(const QByteArray &json, const QString &source, QString *error);
    // The drive the demo plays, read from the same JSON form as a user's scenario.
    static Scenario builtInDrive();
    // The line on which each object of the top-level "events" array starts, in valid JSON.
    static QList<int> eventLines(const QByteArray &json);
    void warnAboutHeldKeys(const QStringList &places);
    double duration() const { return steps.isEmpty() ? 0.0 : steps.last().at; }
};

} // namespace tool
