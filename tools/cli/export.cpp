#include "commands.h"

#include "exitcodes.h"
#include "options.h"

namespace tool {

int exportCapture(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Writes a capture as a pcapng file for Wireshark: every frame the box sent, every "
            "acknowledgement the plugin wrote, noise and cut frames as they came, with the "
            "capture's times and directions, and the receiver's verdict where the bytes alone do not tell it. The plugin decodes it on the way, on the capture's clock. "
            "A capture that says when it started (monitor --record writes '# start TIME') is "
            "dated from then; one that does not, from 1970-01-01.\n\n"
            "Example: canservice export run.cap --pcapng run.pcapng"));
    parser.addOption(pluginOption());
    parser.addOption({QStringLiteral("pcapng"), QStringLiteral("The pcapng file to write."),
                      QStringLiteral("file")});
    parser.addPositionalArgument(QStringLiteral("CAPTURE"), QStringLiteral("The capture, or - for standard input."));
    if (const int exit = parseArguments(parser, arguments, 1, QStringLiteral("one CAPTURE")); exit >= 0)
        return exit;
    if (!parser.isSet(QStringLiteral("pcapng"))) {
        tool::err() << arguments.at(0) << ": needs --pcapng FILE; see --help\n";
        return exitcode::Usage;
    }
    SessionOptions options = sessionOptions(parser);
    options.printer.quiet = true;
    options.pcapng = parser.value(QStringLiteral("pcapng"));
    return replayCapture(parser.positionalArguments().at(0), options, 0.0);
}

} // namespace tool
