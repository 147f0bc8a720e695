#include "eventprinter.h"

#include "canservicebase.h"
#include "vehiclesnapshot.h"
#include "vehiclestate.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>

#include <unistd.h>

namespace tool {

namespace {
const char *const KeyActions[] = {"press", "short release", "long press", "long release"};
const int NameWidth = 55;

QString isoNow()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

QString messageName(quint8 id, bool inbound)
{
    const char *name = canbox::messageName(id, inbound ? canbox::Direction::FromBox : canbox::Direction::ToBox);
    return name ? QString::fromLatin1(name) : QStringLiteral("unknown 0x%1").arg(id, 2, 16, QLatin1Char('0'));
}

QString seconds(qint64 ms)
{
    return QString::number(ms / 1000.0, 'f', 3);
}

} // namespace

// What the receiver did with an item, in words: the message's name for a frame, and how a frame
// that stopped arriving part-way ended.
QString EventPrinter::describe(const canbox::ReceiveModel::Item &item)
{
    using M = canbox::ReceiveModel;
    const QString name = item.size > 1 ? messageName(item.id(), true) : QStringLiteral("a frame");
    switch (item.kind) {
    case M::Accepted:
    case M::Refused: {
        QString text = name;
        if (item.kind == M::Refused)
            text += QStringLiteral(", CHECKSUM ERROR");
        if (item.resumed) {
            text += QStringLiteral(": cut off at %1, completed %2 s later by the first %3 bytes of this chunk")
                            .arg(seconds(item.stoppedMs), seconds(item.ms - item.stoppedMs))
                            .arg(item.lastBytes);
            if (item.swallowedHeader())
                text += QStringLiteral("; the frame those bytes began is lost");
        }
        return text;
    }
    case M::Noise: {
        // The box acknowledges the head unit's frames with FF (F0 for a bad one); one that shares
        // its chunk with other bytes is dropped like any byte between frames.
        const bool acknowledgements = std::all_of(item.bytes.cbegin(), item.bytes.cend(), [](char c) {
            return quint8(c) == canbox::Accepted || quint8(c) == canbox::Refused;
        });
        return acknowledgements && item.size == item.bytes.size()
                ? QStringLiteral("noise, dropped: the box's acknowledgements, not alone in their chunk")
                : QStringLiteral("noise, dropped");
    }
    case M::BoxAnswer:
        return QStringLiteral("acknowledgement from the box (link up)");
    case M::TimedOut:
        if (item.size == 0)
            return QStringLiteral("receive time-out, no frame open");
        return QStringLiteral("receive time-out: %1 cut off, dropped (%2 bytes since %3)")
                .arg(name)
                .arg(item.size)
                .arg(seconds(item.firstMs));
    case M::Open:
        return QStringLiteral("%1 cut off: the input ends inside it").arg(name);
    }
    return name;
}

const char *EventPrinter::kindName(canbox::ReceiveModel::Kind kind)
{
    using M = canbox::ReceiveModel;
    switch (kind) {
    case M::Accepted:
        return "frame";
    case M::Refused:
        return "bad-checksum";
    case M::Noise:
        return "noise";
    case M::BoxAnswer:
        return "ack";
    case M::TimedOut:
        return "timeout";
    case M::Open:
        return "cut";
    }
    return "frame";
}

EventPrinter::EventPrinter(CanServiceBase *service, QTextStream &out, const Options &options,
                           QObject *parent)
    : QObject(parent), m_service(service), m_out(out), m_options(options)
{
    m_started.start();
    m_clock = [this] { return m_started.elapsed() / 1000.0; };
    m_toTerminal = ::isatty(STDOUT_FILENO) == 1;
    m_flushSoon.setSingleShot(true);
    m_flushSoon.setInterval(100);
    connect(&m_flushSoon, &QTimer::timeout, this, [this] { m_out.flush(); });

    CanServiceBase *s = service;
    connect(s, &CanServiceBase::notifyCanbusStatus, this, &EventPrinter::onStatus);
    connect(s, &CanServiceBase::keyEvent, this, [this](int key, int action, bool) { onKey(key, action); });
    connect(s, &CanServiceBase::messageChanged, this, &EventPrinter::onNotification);
    // Every other signal says some of the vehicle state may have changed: print what did. A quiet
    // printer does not even look.
    if (!options.quiet) {
        m_state = new VehicleState(s, this);
        connect(m_state, &VehicleState::changed, this, &EventPrinter::vehicleChanged);
    }
}

namespace {
// Numbers and texts as QJsonDocument's compact form writes them.
void appendJsonNumber(QString &out, double d)
{
    if (!std::isfinite(d)) {
        out += QLatin1String("null");
        return;
    }
    const double magnitude = std::abs(d);
    out += QString::number(d, magnitude == double(quint64(magnitude)) ? 'f' : 'g',
                           QLocale::FloatingPointShortest);
}

void appendJsonString(QString &out, const QString &text)
{
    out.reserve(out.size() + text.size() + 2);
    out += QLatin1Char('"');
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const ushort u = c.unicode();
        if (u == '"' || u == '\\') {
            out += QLatin1Char('\\');
            out += c;
        } else if (u < 0x20) {
            static const char names[] = "btn\0fr"; // 8 to 13; 11 has no short name
            if (u >= 8 && u <= 13 && u != 11) {
                out += QLatin1Char('\\');
                out += QLatin1Char(names[u - 8]);
            } else {
                out += QString::asprintf("\\u%04x", u);
            }
        } else if (c.isSurrogate()
                   && !(c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())) {
            // A lone half of a pair has no UTF-8 form.
            out += QString::asprintf("\\u%04x", u);
        } else {
            out += c;
            if (c.isHighSurrogate())
                out += text.at(++i);
        }
    }
    out += QLatin1Char('"');
}

// A reading's value: null, a bool, a number or a text.
void appendJsonValue(QString &out, const QVariant &value)
{
    switch (int(value.type())) {
    case QMetaType::UnknownType:
        out += QLatin1String("null");
        break;
    case QMetaType::Bool:
        out += value.toBool() ? QLatin1String("true") : QLatin1String("false");
        break;
    case QMetaType::QString:
        appendJsonString(out, value.toString());
        break;
    default:
        appendJsonNumber(out, value.toDouble());
        break;
    }
}
} // namespace

QString EventPrinter::jsonText(const QJsonValue &value)
{
    QString out;
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double:
        appendJsonNumber(out, value.toDouble());
        return out;
    case QJsonValue::String:
        appendJsonString(out, value.toString());
        return out;
    default: {
        const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
        return QString::fromUtf8(array.mid(1, array.size() - 2));
    }
    }
}

QString EventPrinter::member(const char *key, const QJsonValue &value)
{
    return QLatin1Char('"') + QLatin1String(key) + QStringLiteral("\":") + jsonText(value);
}

QString EventPrinter::begin(const char *type, double seconds) const
{
    // Lines come in runs at one instant: the start of the last is kept. In text a line starts
    // with its time alone, whatever its kind; a live line in JSON also with the wall clock's.
    const qint64 ms = std::llround(seconds * 1000);
    const char *kind = m_options.json ? type : nullptr;
    const qint64 wallMs = m_options.json && m_options.live ? QDateTime::currentMSecsSinceEpoch() : 0;
    if (m_begun.type == kind && m_begun.ms == ms && m_begun.wallMs == wallMs)
        return m_begun.text;
    QString line;
    if (!m_options.json) {
        line = QString::asprintf("%8.3f  ", seconds);
    } else {
        line = QLatin1Char('{') + member("type", QLatin1String(type)) + QLatin1Char(',')
                + member("time", std::round(seconds * 1000) / 1000);
        if (m_options.live)
            line += QLatin1Char(',')
                    + member("ts", QDateTime::fromMSecsSinceEpoch(wallMs, Qt::UTC).toString(Qt::ISODateWithMs));
    }
    m_begun = {kind, ms, wallMs, line};
    return line;
}

void EventPrinter::end(QString line)
{
    if (m_options.quiet)
        return;
    if (m_options.json)
        line += QLatin1Char('}');
    m_out << line << '\n';
    // Written in blocks: a person at a terminal sees every line at once, a program reading a live
    // run gets what there is at least every 100 ms, a replay's reader gets it when it is done.
    if (m_toTerminal)
        m_out.flush();
    else if ((m_options.live || m_options.paced) && !m_flushSoon.isActive())
        m_flushSoon.start();
}

void EventPrinter::header()
{
    if (!m_options.json)
        return;
    end(QLatin1Char('{') + member("type", QStringLiteral("header")) + QLatin1Char(',')
        + member("schema", SchemaVersion) + QLatin1Char(',')
        + member("tool", QCoreApplication::applicationVersion()) + QLatin1Char(',')
        + member("source", m_options.source)
        // A replay is the same in every run: only a live run has a wall-clock start.
        + (m_options.live ? QLatin1Char(',') + member("start", isoNow()) : QString()));
}

void EventPrinter::note(const QString &text)
{
    QString line = begin("note");
    if (m_options.json)
        line += QLatin1Char(',') + member("text", text);
    else
        line += text;
    end(line);
}

void EventPrinter::vehicleChanged(const QVector<int> &entries)
{
    // What each line of a value says before the value, made once.
    static const QVector<QString> textNames = [] {
        QVector<QString> names;
        for (const SignalInfo &info : SignalCatalogue::vehicleSignals())
            names << info.name.leftJustified(NameWidth) + QLatin1Char(' ');
        return names;
    }();
    static const QVector<QString> jsonNames = [] {
        QVector<QString> names;
        for (const SignalInfo &info : SignalCatalogue::vehicleSignals()) {
            QString prefix = QStringLiteral(",\"name\":");
            appendJsonString(prefix, info.name);
            names << prefix + QStringLiteral(",\"value\":");
        }
        return names;
    }();
    const QVector<Reading> &now = m_state->readings();
    for (const int i : entries) {
        QString line = begin("event");
        const Reading &r = now.at(i);
        if (m_options.json) {
            line += jsonNames.at(i);
            appendJsonValue(line, r.value);
            if (!r.unit.isEmpty()) {
                line += QLatin1String(",\"unit\":");
                appendJsonString(line, r.unit);
            }
        } else {
            line += textNames.at(i) + r.text();
        }
        end(line);
    }
}

void EventPrinter::silentFrameHandled()
{
    if (m_state)
        m_state->refreshSilent();
}

// The service reports 3 for every frame; only a change of the link is an event.
void EventPrinter::onStatus(int status)
{
    if (status == m_linkStatus)
        return;
    m_linkStatus = status;
    if (status == 0)
        ++m_linkLosses;
    const QString state = status == 3 ? QStringLiteral("up") : QStringLiteral("lost");
    QString line = begin("link");
    if (m_options.json)
        line += QLatin1Char(',') + member("state", state);
    else
        line += QStringLiteral("CanBox.Link").leftJustified(NameWidth) + QLatin1Char(' ') + state;
    end(line);
}

void EventPrinter::onKey(int key, int action)
{
    const QString what = action >= 0 && action < 4 ? QLatin1String(KeyActions[action])
                                                   : QStringLiteral("action %1").arg(action);
    QString line = begin("key");
    if (m_options.json)
        line += QLatin1Char(',') + member("code", key) + QLatin1Char(',') + member("action", what);
    else
        line += QStringLiteral("CanBox.Key").leftJustified(NameWidth)
                + QStringLiteral(" %1 %2").arg(key).arg(what);
    end(line);
}

void EventPrinter::onNotification(int id)
{
    QString line = begin("event");
    if (m_options.json)
        line += QLatin1Char(',') + member("name", QStringLiteral("CanBox.Notification"))
                + QLatin1Char(',') + member("value", id);
    else
        line += QStringLiteral("CanBox.Notification").leftJustified(NameWidth)
                + QLatin1Char(' ') + QString::number(id);
    end(line);
}

void EventPrinter::lineChanged(bool up, const QString &reason)
{
    QString line = begin("line");
    if (m_options.json) {
        line += QLatin1Char(',') + member("state", up ? QStringLiteral("up") : QStringLiteral("down"));
        if (!up)
            line += QLatin1Char(',') + member("reason", reason);
    } else {
        line += QStringLiteral("CanBox.Line").leftJustified(NameWidth) + QLatin1Char(' ')
                + (up ? QStringLiteral("up") : QStringLiteral("down: ") + reason);
    }
    end(line);
}

void EventPrinter::received(const canbox::ReceiveModel::Item &item)
{
    frameRecord(item.ms, true, kindName(item.kind), item.bytes, describe(item), item.isFrame());
}

void EventPrinter::sent(const QByteArray &bytes)
{
    const auto first = quint8(bytes.at(0));
    if (bytes.size() == 1 && (first == canbox::Accepted || first == canbox::Refused)) {
        const bool accepted = first == canbox::Accepted;
        frameRecord(clockMs(), false, accepted ? "ack" : "nak", bytes,
                    accepted ? QStringLiteral("acknowledgement") : QStringLiteral("refusal (checksum error)"),
                    false);
        return;
    }
    const bool whole = bytes.size() >= canbox::FrameOverhead && first == canbox::Header
            && bytes.size() == canbox::FrameOverhead + quint8(bytes.at(2));
    const bool good = whole && canbox::checksum(bytes.constData() + 1, bytes.size() - 2) == quint8(bytes.back());
    frameRecord(clockMs(), false, good ? "frame" : "bad-checksum", bytes,
                messageName(bytes.size() > 1 ? quint8(bytes.at(1)) : 0, false)
                        + (good ? QString() : QStringLiteral(", CHECKSUM ERROR")),
                whole);
}

void EventPrinter::frameRecord(qint64 ms, bool inbound, const char *kind, const QByteArray &bytes,
                               const QString &name, bool isFrame)
{
    QList<int> changed;
    if (m_options.changesOnly) {
        if (!isFrame)
            return;
        const int key = (inbound ? 0x100 : 0) | quint8(bytes.at(1));
        const auto last = m_lastFrames.constFind(key);
        if (last != m_lastFrames.constEnd() && *last == bytes)
            return;
        // A first frame of its identifier is new as a whole: nothing is marked.
        for (int i = 0; last != m_lastFrames.constEnd() && i < bytes.size(); ++i)
            if (i >= last->size() || last->at(i) != bytes.at(i))
                changed << i;
        m_lastFrames.insert(key, bytes);
    }
    QString line = begin("frame", ms / 1000.0);
    if (m_options.json) {
        line += QLatin1Char(',') + member("direction", inbound ? QStringLiteral("in") : QStringLiteral("out"))
                + QLatin1Char(',') + member("kind", QLatin1String(kind));
        if (isFrame)
            line += QLatin1Char(',') + member("id", quint8(bytes.at(1)));
        line += QLatin1Char(',') + member("name", name) + QLatin1Char(',')
                + member("bytes", QString::fromLatin1(bytes.toHex()));
        if (m_options.changesOnly) {
            QJsonArray indices;
            for (int i : qAsConst(changed))
                indices << i;
            line += QLatin1Char(',') + member("changed", indices);
        }
    } else {
        static const char digits[] = "0123456789abcdef";
        line.reserve(line.size() + 12 + qMax(NameWidth, bytes.size() * 4) + name.size());
        line += inbound ? QLatin1String("box > hu  ") : QLatin1String("hu > box  ");
        const int start = line.size();
        for (int i = 0; i < bytes.size(); ++i) {
            if (i)
                line += QLatin1Char(' ');
            const bool marked = m_options.changesOnly && changed.contains(i);
            if (marked)
                line += QLatin1Char('[');
            const auto b = quint8(bytes.at(i));
            line += QLatin1Char(digits[b >> 4]);
            line += QLatin1Char(digits[b & 15]);
            if (marked)
                line += QLatin1Char(']');
        }
        if (line.size() - start < NameWidth)
            line += QString(NameWidth - (line.size() - start), QLatin1Char(' '));
        line += QLatin1Char(' ');
        line += name;
    }
    end(line);
}

void EventPrinter::printSummary()
{
    // The last changes, if any came without a signal, then the state they lead to.
    if (m_state)
        m_state->refreshAll();
    const QVector<Reading> now = m_state ? m_state->readings()
                                         : SignalCatalogue::read(VehicleSnapshot::read(*m_service));
    const auto &catalogue = SignalCatalogue::vehicleSignals();
    if (m_options.json) {
        QString values;
        for (int i = 0; i < now.size(); ++i)
            values += (i ? QStringLiteral(",") : QString())
                    + member(catalogue.at(i).name.toUtf8().constData(), now.at(i).json());
        end(begin("state") + QStringLiteral(",\"values\":{") + values + QLatin1Char('}'));
        return;
    }
    if (m_options.quiet)
        return;
    m_out << "\nFinal vehicle state\n";
    for (int i = 0; i < now.size(); ++i)
        m_out << "  " << catalogue.at(i).name.leftJustified(NameWidth) << ' ' << now.at(i).text() << '\n';
    m_out.flush();
}

void EventPrinter::printHealth(const QJsonObject &health, const QString &text)
{
    if (m_options.quiet && !m_options.healthWhenQuiet)
        return;
    if (!m_options.json) {
        m_out << "\nLink health: " << text << '\n';
        m_out.flush();
        return;
    }
    QString line = QLatin1Char('{') + member("type", QStringLiteral("health"));
    for (const char *key : {"framesAccepted", "checksumErrors", "receiveTimeouts", "cutFrames",
                            "noiseBytes", "linkLosses", "lineLosses", "droppedWrites"})
        line += QLatin1Char(',') + member(key, health.value(QLatin1String(key)));
    end(line);
}

} // namespace tool
