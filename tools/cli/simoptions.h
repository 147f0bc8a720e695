#pragma once

#include "boxsimulator.h"

#include <QCommandLineParser>

#include <memory>

namespace tool {

// Command-line pieces of the commands that run the simulated box.

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
