#include "simoptions.h"

#include "boxline.h"
#include "exitcodes.h"
#include "options.h"
#include "session.h"

#include <QFile>

namespace tool {

bool parseFaults(const QCommandLineParser &parser, FaultOptions *faults, QString *error)
{
    bool ok = true;
    if (parser.isSet(QStringLiteral("corrupt"))
        && !parseNumber(parser.value(QStringLiteral("corrupt")), 0, 1, &faults->corruptRate)) {
        *error = QStringLiteral("--corrupt takes a share between 0 and 1.");
        return false;
    }
    if (parser.isSet(QStringLiteral("noise"))
        && !parseNumber(parser.value(QStringLiteral("noise")), 0, 1, &faults->noiseRate)) {
        *error = QStringLiteral("--noise takes a share between 0 and 1.");
        return false;
    }
    faults->splitChunks = parser.isSet(QStringLiteral("split"));
    if (parser.isSet(QStringLiteral("seed"))) {
        faults->seed = parser.value(QStringLiteral("seed")).toUInt(&ok);
        if (!ok) {
            *error = QStringLiteral("--seed takes a whole number.");
            return false;
        }
    }
    for (const QString &silence : parser.values(QStringLiteral("silence"))) {
        const QStringList parts = silence.split(QLatin1Char(':'));
        double at = 0, seconds = 0;
        if (parts.size() != 2 || !parseNumber(parts.value(0), 0, LongestRunSeconds, &at)
            || !parseNumber(parts.value(1), 0.001, LongestRunSeconds, &seconds)) {
            *error = QStringLiteral("--silence takes AT:SECONDS, for example 5:35, each at most a week.");
            return false;
        }
        faults->silences.append({at, seconds});
    }
    return true;
}

void addFaultOptions(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("scenario"),
                      QStringLiteral("A JSON timeline of vehicle changes (default: the built-in "
                                     "drive). See the README for the format."),
                      QStringLiteral("file")});
    parser.addOption({QStringLiteral("silence"),
                      QStringLiteral("Fall silent AT seconds after the start, for SECONDS "
                                     "(a link loss needs more than 31). May be repeated."),
                      QStringLiteral("at:seconds")});
    parser.addOption({QStringLiteral("corrupt"),
                      QStringLiteral("Send this share (0 to 1) of frames with a wrong checksum."),
                      QStringLiteral("share")});
    parser.addOption({QStringLiteral("noise"),
                      QStringLiteral("Put noise bytes before this share (0 to 1) of frames."),
                      QStringLiteral("share")});
    parser.addOption({QStringLiteral("split"),
                      QStringLiteral("Cut what the box sends into random pieces.")});
    parser.addOption({QStringLiteral("seed"),
                      QStringLiteral("Seed of the fault generator, for a run that repeats."),
                      QStringLiteral("n")});
}

bool loadScenario(const QCommandLineParser &parser, Scenario *scenario, int *exit)
{
    if (!parser.isSet(QStringLiteral("scenario"))) {
        *scenario = Scenario::builtInDrive();
        return true;
    }
    const QString path = parser.value(QStringLiteral("scenario"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        tool::err() << "canservice: cannot read the scenario " << path << ": "
                    << file.errorString() << '\n';
        *exit = exitcode::CannotRead;
        return false;
    }
    QString error;
    if (!scenario->parse(file.readAll(), path, &error)) {
        tool::err() << "canservice: " << error << '\n';
        *exit = exitcode::BadScenario;
        return false;
    }
    for (const QString &warning : qAsConst(scenario->warnings))
        tool::err() << "canservice: warning: " << warning << '\n';
    tool::err().flush();
    return true;
}

int startSimulatedBox(const QCommandLineParser &parser, std::unique_ptr<BoxLine> *line,
                      std::unique_ptr<BoxSimulator> *box, QString *scenarioName)
{
    Scenario scenario;
    int exit = exitcode::Ok;
    if (!loadScenario(parser, &scenario, &exit))
        return exit;
    QString error;
    line->reset(BoxLine::createPty(&error));
    if (!*line) {
        tool::err() << "canservice: " << error << '\n';
        return exitcode::NoPseudoTerminal;
    }
    *box = std::make_unique<BoxSimulator>(line->get(), scenario, FaultOptions());
    if (scenarioName)
        *scenarioName = scenario.name;
    return -1;
}

} // namespace tool
