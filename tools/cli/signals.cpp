#include "commands.h"

#include "exitcodes.h"
#include "options.h"
#include "signalcatalogue.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace tool {

int signalList(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Lists every value the tools name: its dotted name (a COVESA VSS 6.0 path where VSS "
            "has the signal, else CanBox.*), type, unit, what no reading looks like, and what it "
            "is."));
    parser.addOption({QStringLiteral("json"), QStringLiteral("One JSON object per signal and line.")});
    if (const int exit = parseArguments(parser, arguments, 0, QString()); exit >= 0)
        return exit;
    const bool json = parser.isSet(QStringLiteral("json"));
    for (const auto *list : {&SignalCatalogue::vehicleSignals(), &SignalCatalogue::eventSignals()}) {
        for (const SignalInfo &s : *list) {
            if (json) {
                const QJsonObject o{{"name", s.name},           {"type", s.type},
                                    {"unit", s.unit},           {"noReading", s.noReading},
                                    {"description", s.description}};
                tool::out() << QJsonDocument(o).toJson(QJsonDocument::Compact) << '\n';
            } else {
                tool::out() << s.name << "  (" << s.type << (s.unit.isEmpty() ? QString() : QStringLiteral(", ") + s.unit)
                            << "; no reading: " << s.noReading << ")\n    " << s.description << '\n';
            }
        }
    }
    tool::out().flush();
    return exitcode::Ok;
}

} // namespace tool
