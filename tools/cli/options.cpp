#include "options.h"

#include "exitcodes.h"
#include "session.h"

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
