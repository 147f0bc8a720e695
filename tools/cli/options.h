#pragma once

#include "boxsimulator.h"
#include "session.h"

#include <QCommandLineParser>
#include <QStringList>

#include <memory>

namespace tool {

// Command-line pieces the commands share.

// The options of every command that loads the plugin: --plugin, --json, --verbose.
// --plugin, as every command that loads the plugin takes it.
QCommandLineOption pluginOption();
void addPluginOptions(QCommandLineParser &parser);
SessionOptions sessionOptions(const QCommandLineParser &parser);
// --frames and --changes, for the commands that watch a line.
void addFrameOptions(QCommandLineParser &parser);
// --pcapng FILE.
void addPcapngOption(QCommandLineParser &parser);
// Parses, or answers --help, or says what is wrong: -1 when the command should go on, else its
// exit code. positionals < 0 leaves the count to the command.
int parseArguments(QCommandLineParser &parser, const QStringList &arguments, int positionals,
                   const QString &positionalName);

// The longest a simulated run, a silence or a time in it may be: a week.
constexpr double LongestRunSeconds = 7 * 86400.0;
// A finite number from low to high.
bool parseNumber(const QString &text, double low, double high, double *value);

// The simulated box's options: --scenario and the faults.
void addFaultOptions(QCommandLineParser &parser);
bool parseFaults(const QCommandLineParser &parser, FaultOptions *faults, QString *error);
// The scenario named by --scenario, or the built-in drive; false with the exit code set, already
// explained, when it cannot be read.
bool loadScenario(const QCommandLineParser &parser, Scenario *scenario, int *exit);
// The simulated box behind --sim: the scenario of --scenario (else the built-in drive) on a new
// pseudo-terminal. -1 when it runs, else the exit code, already explained.
int startSimulatedBox(const QCommandLineParser &parser, std::unique_ptr<BoxLine> *line,
                      std::unique_ptr<BoxSimulator> *box, QString *scenarioName = nullptr);

} // namespace tool
