#include "commands.h"

#include "capturerun.h"
#include "exitcodes.h"
#include "interrupt.h"
#include "options.h"
#include "plotimage.h"
#include "replayer.h"
#include "signalcatalogue.h"
#include "sessionmodel.h"
#include "vehiclestate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>

namespace tool {

namespace {
// A signal as the plot follows it: its place in the catalogue, the series drawn, and the same
// changes as replay's events print them.
struct Followed
{
    int index = -1;
    Reading last;
    QStringList units;
    PlotSeries series;
};

double plotted(const Reading &r)
{
    bool ok = false;
    const double v = r.value.toDouble(&ok);
    return !r.isNull() && ok && r.value.type() != QVariant::String ? v : std::nan("");
}

bool parseSize(const QString &text, int *width, int *height)
{
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$")).match(text);
    *width = m.captured(1).toInt();
    *height = m.captured(2).toInt();
    return m.hasMatch() && *width >= 200 && *width <= 8000 && *height >= 100 && *height <= 8000;
}
} // namespace

int plot(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Draws signals over a capture's time as a PNG picture, one pane per signal with its "
            "unit: the values the plugin decodes as replay shows them, each held until it changes; "
            "no reading leaves a gap. Needs no display.\n\nExample: canservice plot drive.cap "
            "--signals Vehicle.Speed,Vehicle.Powertrain.CombustionEngine.Speed --png drive.png"));
    parser.addOption(pluginOption());
    parser.addOption({QStringLiteral("signals"),
                      QStringLiteral("The signals to draw, by the names of 'canservice signals', "
                                     "separated by commas: numbers or flags."),
                      QStringLiteral("names")});
    parser.addOption({QStringLiteral("png"), QStringLiteral("The PNG file to write."), QStringLiteral("file")});
    parser.addOption({QStringLiteral("size"),
                      QStringLiteral("The picture's size in pixels (default 1000 wide, 220 high a "
                                     "pane)."),
                      QStringLiteral("WxH")});
    parser.addOption({QStringLiteral("series"),
                      QStringLiteral("Print the series drawn as one JSON object: per signal its "
                                     "changes as [seconds, value], as replay --json's events.")});
    parser.addPositionalArgument(QStringLiteral("CAPTURE"), QStringLiteral("The capture, or - for standard input."));
    if (const int exit = parseArguments(parser, arguments, 1, QStringLiteral("one CAPTURE")); exit >= 0)
        return exit;
    const QString command = arguments.at(0);
    const bool printSeries = parser.isSet(QStringLiteral("series"));
    if (!parser.isSet(QStringLiteral("signals")) || (!parser.isSet(QStringLiteral("png")) && !printSeries)) {
        tool::err() << command << ": needs --signals NAMES and --png FILE; see --help\n";
        return exitcode::Usage;
    }
    QVector<Followed> followed;
    const auto &catalogue = SignalCatalogue::vehicleSignals();
    for (const QString &name : parser.value(QStringLiteral("signals")).split(QLatin1Char(','))) {
        const SignalInfo *info = SignalCatalogue::find(name.trimmed());
        const int index = info ? int(info - catalogue.constData()) : -1;
        if (!info) {
            tool::err() << command << ": there is no signal \"" << name
                        << "\" to draw; 'canservice signals' lists them\n";
            return exitcode::Usage;
        }
        if (index < 0 || index >= catalogue.size()) {
            tool::err() << command << ": " << info->name
                        << " is an event, not a value that holds over time; a plot draws the values "
                           "'canservice signals' lists first\n";
            return exitcode::Usage;
        }
        if (info->type == QLatin1String("string")) {
            tool::err() << command << ": " << info->name << " is a text; a plot draws numbers and flags\n";
            return exitcode::Usage;
        }
        Followed f;
        f.index = index;
        f.series.name = info->name;
        f.series.flag = info->type == QLatin1String("boolean");
        f.series.whole = info->type == QLatin1String("integer");
        if (info->unit != QLatin1String("varies"))
            f.units << info->unit;
        followed << f;
    }
    int width = 1000, height = 220 * int(followed.size()) + 10;
    if (parser.isSet(QStringLiteral("size")) && !parseSize(parser.value(QStringLiteral("size")), &width, &height)) {
        tool::err() << command << ": --size takes WIDTHxHEIGHT in pixels, 200x100 to 8000x8000\n";
        return exitcode::Usage;
    }
    if (height / followed.size() < 80) {
        tool::err() << command << ": " << height << " pixels are too few for " << followed.size()
                    << " panes; give each at least 80 (--size)\n";
        return exitcode::Usage;
    }
    // The picture's file is made before anything runs, so that a folder that is not there says so at once.
    QSaveFile png(parser.value(QStringLiteral("png")));
    if (parser.isSet(QStringLiteral("png")) && !png.open(QIODevice::WriteOnly)) {
        tool::err() << "canservice: cannot write the picture " << png.fileName() << ": " << png.errorString() << '\n';
        return exitcode::CannotWrite;
    }

    int exit = exitcode::Ok;
    const int result = runCaptureQuietly(
            parser.positionalArguments().at(0), parser.value(QStringLiteral("plugin")),
            [&followed, printSeries](Session &session, Replayer &replayer) {
                // The values as replay's events print them: the session's vehicle state, read
                // again only where the plugin said something changed.
                const VehicleState *state = session.model()->vehicle();
                for (Followed &f : followed) {
                    f.series.initial = plotted(f.last = state->readings().at(f.index));
                    if (printSeries)
                        f.series.bound = 0;
                }
                QObject::connect(state, &VehicleState::changed, &session,
                                 [&followed, &replayer, state](const QVector<int> &entries) {
                                     for (Followed &f : followed) {
                                         if (!std::binary_search(entries.cbegin(), entries.cend(), f.index))
                                             continue;
                                         const Reading &r = state->readings().at(f.index);
                                         if (r == f.last)
                                             continue;
                                         f.last = r;
                                         f.series.add(replayer.now(), plotted(r));
                                         if (!r.unit.isEmpty() && !f.units.contains(r.unit))
                                             f.units << r.unit;
                                     }
                                 });
            },
            [&](Session &, Replayer &replayer) {
                double start = qMax<qint64>(0, replayer.firstChunkMs()) / 1000.0;
                double end = qMax<qint64>(0, replayer.lastChunkMs()) / 1000.0;
                QVector<PlotSeries> series;
                QJsonArray json;
                for (Followed &f : followed) {
                    f.series.unit = f.units.join(QLatin1Char('/'));
                    if (!f.series.points.isEmpty())
                        end = qMax(end, f.series.points.constLast().first);
                    series << f.series;
                    // Every change, in the form replay --json gives the values; kept whole and made
                    // only when asked, as it takes memory in proportion to the capture.
                    if (!printSeries)
                        continue;
                    QJsonArray changes;
                    for (const auto &[time, value] : qAsConst(f.series.points))
                        changes.append(QJsonArray{time, !std::isfinite(value) ? QJsonValue()
                                                                : f.series.flag ? QJsonValue(value != 0)
                                                                                : QJsonValue(value)});
                    json.append(QJsonObject{{"name", f.series.name}, {"unit", f.series.unit}, {"changes", changes}});
                }
                if (printSeries) {
                    tool::out() << QJsonDocument(QJsonObject{{"start", start}, {"end", end}, {"signals", json}})
                                           .toJson(QJsonDocument::Compact)
                                << '\n';
                    tool::out().flush();
                }
                if (!png.isOpen())
                    return;
                const int requests = Interrupt::requests();
                const QImage image = drawPlot(series, start, end, width, height);
                // Ctrl-C while it drew: the picture is not wanted any more.
                if (Interrupt::requests() != requests) {
                    png.cancelWriting();
                    tool::err() << "canservice: ended while drawing; no picture was written\n";
                    exit = exitcode::Interrupted;
                    return;
                }
                if (!image.save(&png, "PNG") || !png.commit()) {
                    tool::err() << "canservice: cannot write the picture " << png.fileName() << ": "
                                << png.errorString() << '\n';
                    exit = exitcode::CannotWrite;
                }
            });
    return exit != exitcode::Ok ? exit : result;
}

} // namespace tool
