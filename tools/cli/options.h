#pragma once

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

} // namespace tool
