#include "options.h"

#include "boxline.h"
#include "exitcodes.h"
#include "session.h"

#include <QFile>

#include <cmath>

namespace tool {

QCommandLineOption pluginOption()
{
    return {QStringLiteral("plugin"),
            QStringLiteral("The CAN service plugin to load (default: the one installed next to this "
                           "tool, or $CANSERVICE_PLUGIN)."),
            QStringLiteral("path")};
}

void addPluginOptions(QCommandLineParser &parser)
{
    parser.addOption(pluginOption());
    parser.addOption({QStringLiteral("json"),
                      QStringLiteral("JSON Lines: one record a line, named values with units "
                                     "(see the README for the schema).")});
    parser.addOption({QStringLiteral("verbose"),
                      QStringLiteral("Also show the plugin's own log lines, on standard error.")});
}

void addFrameOptions(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("frames"),
                      QStringLiteral("Also print every frame both ways in hex, with its direction "
                                     "and message name; checksum errors, acknowledgements and "
                                     "noise as they come.")});
    parser.addOption({QStringLiteral("changes"),
                      QStringLiteral("Print a frame only when its bytes differ from the last frame "
                                     "of the same identifier, with the changed bytes in brackets.")});
}

void addPcapngOption(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("pcapng"),
                      QStringLiteral("Also write every frame both ways, acknowledgements and noise to "
                                     "FILE as pcapng, for Wireshark (see tools/wireshark/)."),
                      QStringLiteral("file")});
}

// Parses or says why not; returns -1 when the command should go on.
int parseArguments(QCommandLineParser &parser, const QStringList &arguments, int positionals,
                   const QString &positionalName)
{
    parser.addHelpOption();
    if (!parser.parse(arguments)) {
        tool::err() << arguments.at(0) << ": " << parser.errorText() << '\n';
        return exitcode::Usage;
    }
    // --help-all as --help: the tool takes none of Qt's own options.
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        // The usage line names the command, not the path the tool was started by.
        QString help = parser.helpText();
        help.replace(0, help.indexOf(QLatin1Char('[')), QStringLiteral("Usage: %1 ").arg(arguments.at(0)));
        tool::out() << help;
        return exitcode::Ok;
    }
    const QStringList given = parser.positionalArguments();
    if (positionals >= 0 && given.size() > positionals) {
        tool::err() << arguments.at(0) << ": unexpected argument \"" << given.at(positionals)
                    << "\"; see --help\n";
        return exitcode::Usage;
    }
    if (positionals >= 0 && given.size() < positionals) {
        tool::err() << arguments.at(0) << ": expects " << positionalName << "; see --help\n";
        return exitcode::Usage;
    }
    if (given.contains(QString())) {
        tool::err() << arguments.at(0) << ": an empty name where " << positionalName
                    << " was expected; see --help\n";
        return exitcode::Usage;
    }
    return -1;
}

bool parseNumber(const QString &text, double low, double high, double *value)
{
    bool ok = false;
    *value = text.toDouble(&ok);
    // toDouble takes "nan" and "inf"; neither is a time or a share.
    return ok && std::isfinite(*value) && *value >= low && *value <= high;
}

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

SessionOptions sessionOptions(const QCommandLineParser &parser)
{
    SessionOptions options;
    options.pluginPath = parser.optionNames().contains(QStringLiteral("plugin"))
            ? parser.value(QStringLiteral("plugin")) : QString();
    // Not every command has every option; optionNames() holds what was given.
    const QStringList given = parser.optionNames();
    options.verbose = given.contains(QStringLiteral("verbose"));
    options.printer.json = given.contains(QStringLiteral("json"));
    options.printer.changesOnly = given.contains(QStringLiteral("changes"));
    options.printer.frames = given.contains(QStringLiteral("frames")) || options.printer.changesOnly;
    return options;
}

} // namespace tool
