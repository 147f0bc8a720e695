#include "eventprinter.h"

#include "canservicebase.h"
#include "vehiclesnapshot.h"
#include "jsontext.h"
#include "printable.h"
#include "sessionmodel.h"
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

QString isoNow()
{
    return json::isoTime(QDateTime::currentMSecsSinceEpoch());
}

} // namespace

EventPrinter::EventPrinter(SessionModel &model, QTextStream &out, const Options &options, QObject *parent)
    : QObject(parent), m_model(model), m_out(out), m_options(options)
{
    m_toTerminal = ::isatty(STDOUT_FILENO) == 1;
    m_flushSoon.setSingleShot(true);
    m_flushSoon.setInterval(100);
    connect(&m_flushSoon, &QTimer::timeout, this, [this] {
        m_out.flush();
        m_sinceFlush.start();
    });

    CanServiceBase *s = model.service();
    connect(&model, &SessionModel::linkChanged, this, &EventPrinter::onLink);
    connect(&model, &SessionModel::lineStateChanged, this, &EventPrinter::lineChanged);
    connect(s, &CanServiceBase::keyEvent, this, [this](int key, int action, bool) { onKey(key, action); });
    connect(s, &CanServiceBase::messageChanged, this, &EventPrinter::onNotification);
    if (options.frames) {
        connect(&model, &SessionModel::itemReceived, this, &EventPrinter::received);
        connect(&model, &SessionModel::headUnitSent, this, &EventPrinter::sent);
        // Repeats change nothing: the changes view has nothing to say of them.
        if (!options.changesOnly)
            connect(&model, &SessionModel::headUnitRepeating, this, &EventPrinter::repeated);
        if (!options.changesOnly)
            connect(&model, &SessionModel::headUnitSentNoise, this, [this](const QByteArray &bytes) {
                note(QStringLiteral("hu > box  %1 noise").arg(QString::fromLatin1(bytes.toHex(' '))));
            });
    }
    // Every other signal says some of the vehicle state may have changed: print what did. A quiet
    // printer does not even look.
    if (!options.quiet) {
        m_state = model.vehicle();
        connect(m_state, &VehicleState::changed, this, &EventPrinter::vehicleChanged);
    }
}

QString EventPrinter::member(const char *key, const QJsonValue &value)
{
    return QLatin1Char('"') + QLatin1String(key) + QStringLiteral("\":") + json::text(value);
}

qint64 EventPrinter::wallNowMs() const
{
    return m_options.json && m_options.live ? QDateTime::currentMSecsSinceEpoch() : 0;
}

QString EventPrinter::begin(const char *type) const
{
    return begin(type, m_model.seconds());
}

QString EventPrinter::begin(const char *type, double seconds) const
{
    QString line;
    appendBegin(line, type, seconds);
    return line;
}

void EventPrinter::appendBegin(QString &line, const char *type, double seconds, qint64 wallMs) const
{
    // Lines come in runs at one instant: the start of the last is kept. In text a line starts
    // with its time alone, whatever its kind; a live line in JSON also with the wall clock's.
    const qint64 ms = std::llround(seconds * 1000);
    const char *kind = m_options.json ? type : nullptr;
    if (wallMs < 0)
        wallMs = wallNowMs();
    QString &begun = m_begun.text;
    if (m_begun.type != kind || m_begun.ms != ms || m_begun.wallMs != wallMs) {
        m_begun.type = kind;
        m_begun.ms = ms;
        m_begun.wallMs = wallMs;
        begun.resize(0);
        if (!m_options.json) {
            begun += QString::asprintf("%8.3f  ", seconds);
        } else {
            begun += QLatin1String("{\"type\":\"");
            begun += QLatin1String(type);
            begun += QLatin1String("\",\"time\":");
            json::appendMilliseconds(begun, ms);
            if (m_options.live) {
                begun += QLatin1String(",\"ts\":\"");
                json::appendIsoTime(begun, wallMs);
                begun += QLatin1Char('"');
            }
        }
    }
    line += begun;
}

void EventPrinter::end(QString line)
{
    write(line);
}

void EventPrinter::write(QString &line)
{
    if (m_options.quiet)
        return;
    if (m_options.json)
        line += QLatin1Char('}');
    else if (needsEscapes(line)) // a text of the box's, or a file name
        line = printable(line);
    line += QLatin1Char('\n');
    m_out << line;
    // Written in blocks: a person at a terminal sees every line at once, a program reading a live
    // run gets what there is at least every 100 ms, a replay's reader gets it when it is done.
    if (m_toTerminal) {
        m_out.flush();
    } else if (m_options.live || m_options.paced) {
        // On a busy line the lines themselves carry the block out (no wake-up of its own); the
        // timer, for the last lines before a quiet spell, is the latest it can be.
        if (m_sinceFlush.isValid() && m_sinceFlush.elapsed() >= FlushEarlyMs) {
            m_out.flush();
            m_sinceFlush.start();
            m_flushSoon.stop();
        } else if (!m_flushSoon.isActive()) {
            if (!m_sinceFlush.isValid())
                m_sinceFlush.start();
            m_flushSoon.start();
        }
    }
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
            json::appendString(prefix, info.name);
            names << prefix + QStringLiteral(",\"value\":");
        }
        return names;
    }();
    const QVector<Reading> &now = m_state->readings();
    // One line's room, kept from line to line; the changes of one signal are of one instant.
    QString &line = m_line;
    const double seconds = m_model.seconds();
    const qint64 wallMs = wallNowMs();
    for (const int i : entries) {
        line.resize(0);
        appendBegin(line, "event", seconds, wallMs);
        const Reading &r = now.at(i);
        if (m_options.json) {
            line += jsonNames.at(i);
            json::appendValue(line, r.value);
            if (!r.unit.isEmpty()) {
                line += QLatin1String(",\"unit\":");
                json::appendString(line, r.unit);
            }
        } else {
            line += textNames.at(i);
            line += r.text();
        }
        write(line);
    }
}

void EventPrinter::onLink(CanServiceBase::LinkStatus status)
{
    const QString state = status == CanServiceBase::LinkStatus::Up ? QStringLiteral("up") : QStringLiteral("lost");
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

void EventPrinter::printSummary()
{
    // The last changes, if any came without a signal, then the state they lead to.
    if (m_state)
        m_state->refreshAll();
    const QVector<Reading> now = m_state ? m_state->readings()
                                         : SignalCatalogue::read(VehicleSnapshot::read(*m_model.service()));
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
        m_out << "  " << catalogue.at(i).name.leftJustified(NameWidth) << ' ' << printable(now.at(i).text()) << '\n';
    m_out.flush();
}

void EventPrinter::printHealth()
{
    if (m_options.quiet && !m_options.healthWhenQuiet)
        return;
    if (!m_options.json) {
        m_out << "\nLink health: " << m_model.health().text() << '\n';
        m_out.flush();
        return;
    }
    const QJsonObject health = m_model.health().toJson();
    QString line = QLatin1Char('{') + member("type", QStringLiteral("health"));
    for (const char *key : {"framesAccepted", "checksumErrors", "receiveTimeouts", "cutFrames",
                            "noiseBytes", "boxAcknowledgements", "linkLosses", "lineLosses", "droppedWrites"})
        line += QLatin1Char(',') + member(key, health.value(QLatin1String(key)));
    end(line);
}

} // namespace tool
