#include "commands.h"

#include "capturerun.h"
#include "exitcodes.h"
#include "messagetally.h"
#include "options.h"
#include "replayer.h"
#include "sessionmodel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>

namespace tool {

namespace {
QJsonValue seconds(qint64 ms)
{
    return ms < 0 ? QJsonValue() : QJsonValue(ms / 1000.0);
}

QString secondsText(const QJsonValue &value, int width, int decimals = 3)
{
    return (value.isNull() ? QStringLiteral("-") : QString::number(value.toDouble(), 'f', decimals))
            .rightJustified(width);
}

// The gaps run between frames the receiver accepted, the ones the plugin decoded, at the times it
// took them.
QJsonObject toJson(const MessageTally &tally, const QString &name, const SessionModel &model,
                   const Replayer &replayer)
{
    const qint64 first = replayer.firstChunkMs(), last = replayer.lastChunkMs();
    const qint64 spanMs = first < 0 ? 0 : last - first;
    QJsonArray messages;
    int accepted = 0, refused = 0, cut = 0;
    for (const auto &[id, s] : tally.counts()) {
        const int NoIdentifier = MessageTally::NoIdentifier;
        const char *message = id == NoIdentifier ? nullptr : canbox::messageName(quint8(id), canbox::Direction::FromBox);
        messages.append(QJsonObject{
                {"id", id == NoIdentifier ? QJsonValue() : QJsonValue(id)},
                {"name", message ? QJsonValue(QLatin1String(message)) : QJsonValue()},
                {"frames", s.frames},
                {"rate", spanMs > 0 ? QJsonValue(s.frames * 1000.0 / spanMs) : QJsonValue()},
                {"shortestGap", seconds(s.shortestGapMs)},
                {"longestGap", seconds(s.longestGapMs)},
                {"checksumErrors", s.checksumErrors},
                {"cutFrames", s.cutFrames}});
        accepted += s.frames;
        refused += s.checksumErrors;
        cut += s.cutFrames;
    }
    return {{"capture", name},
            {"start", seconds(first)},
            {"end", seconds(last)},
            {"span", spanMs / 1000.0},
            {"messages", messages},
            {"framesAccepted", accepted},
            {"checksumErrors", refused},
            {"cutFrames", cut},
            {"noiseBytes", model.health().noiseBytes},
            {"boxAcknowledgements", model.health().boxAcknowledgements},
            {"receiveTimeouts", model.health().receiveTimeouts},
            {"linkLosses", model.health().linkLosses}};
}

void printText(const QJsonObject &o)
{
    QTextStream &s = tool::out();
    s << "Capture " << o.value("capture").toString() << ": from " << secondsText(o.value("start"), 0)
      << " s to " << secondsText(o.value("end"), 0) << " s, span " << secondsText(o.value("span"), 0)
      << " s\n\n";
    s << "id    message                 frames   rate/s  shortest gap s  longest gap s  "
         "checksum errors  cut frames\n";
    for (const QJsonValue &value : o.value("messages").toArray()) {
        const QJsonObject m = value.toObject();
        const QJsonValue id = m.value("id");
        s << (id.isNull() ? QStringLiteral("-") : QStringLiteral("0x%1").arg(id.toInt(), 2, 16, QLatin1Char('0'))).leftJustified(6)
          << (id.isNull() ? QStringLiteral("(identifier lost)")
                          : m.value("name").isNull() ? QStringLiteral("(not in the protocol)")
                                                     : m.value("name").toString())
                     .leftJustified(22)
          << QString::number(m.value("frames").toInt()).rightJustified(8)
          << secondsText(m.value("rate"), 9, 2) << secondsText(m.value("shortestGap"), 16)
          << secondsText(m.value("longestGap"), 15)
          << QString::number(m.value("checksumErrors").toInt()).rightJustified(17)
          << QString::number(m.value("cutFrames").toInt()).rightJustified(12) << '\n';
    }
    s << "\nframes accepted " << o.value("framesAccepted").toInt() << ", checksum errors "
      << o.value("checksumErrors").toInt() << ", cut frames " << o.value("cutFrames").toInt()
      << ", noise bytes " << qint64(o.value("noiseBytes").toDouble()) << ", box acknowledgements "
      << qint64(o.value("boxAcknowledgements").toDouble()) << ", receive time-outs "
      << o.value("receiveTimeouts").toInt() << ", link losses " << o.value("linkLosses").toInt() << '\n';
}
} // namespace

int stats(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Sums up what the head unit's receiver made of a capture, message by message: frames "
            "accepted, their rate over the capture's span, the shortest and longest gap between "
            "them, checksum errors and cut frames; then noise bytes, receive time-outs and link "
            "losses. The capture runs through the plugin on its own clock, as in replay, so the "
            "figures are replay's.\n\nExample: canservice stats drive.cap --json"));
    parser.addOption(pluginOption());
    parser.addOption({QStringLiteral("json"), QStringLiteral("One JSON object instead of the table.")});
    parser.addPositionalArgument(QStringLiteral("CAPTURE"), QStringLiteral("The capture, or - for standard input."));
    if (const int exit = parseArguments(parser, arguments, 1, QStringLiteral("one CAPTURE")); exit >= 0)
        return exit;
    const QString name = parser.positionalArguments().at(0);
    MessageTally tally;
    return runCaptureQuietly(
            name, parser.value(QStringLiteral("plugin")),
            [&tally](Session &session, Replayer &) {
                QObject::connect(session.model(), &SessionModel::itemReceived,
                                 [&tally](const canbox::ReceiveModel::Item &item) { tally.add(item); });
            },
            [&](Session &session, Replayer &replayer) {
                const QJsonObject o = toJson(tally, name, *session.model(), replayer);
                if (parser.isSet(QStringLiteral("json")))
                    tool::out() << QJsonDocument(o).toJson(QJsonDocument::Compact) << '\n';
                else
                    printText(o);
                tool::out().flush();
            });
}

} // namespace tool
