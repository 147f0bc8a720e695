#include "commands.h"

#include "exitcodes.h"
#include "fleetmodel.h"
#include "interrupt.h"
#include "jsontext.h"
#include "mqttlink.h"
#include "mqttoptions.h"
#include "options.h"
#include "printable.h"
#include "screen.h"
#include "session.h"
#include "standardoutput.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

#include <set>

#include <unistd.h>

namespace tool {

namespace {
const int RedrawMs = 200; // the screen and --json's lines, five times a second at most
const int SnapshotMs = 1000; // the log
const int UnreachableMs = 2000; // a first connection that takes longer is said on standard error

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// What the cars on one broker say, as a table on a terminal, a log of snapshots, or JSON Lines.
class FleetView : public QObject
{
public:
    enum Kind { Terminal, Log, Json };

    FleetView(const FleetModel &model, const QString &broker, const QString &filter, Kind kind)
        : m_model(model), m_broker(broker), m_filter(filter), m_kind(kind), m_sinceMs(now())
    {
        connect(&model, &FleetModel::carChanged, this, [this](const QString &id) {
            m_dirty.insert(id);
            m_heardSince = true;
        });
        connect(&m_timer, &QTimer::timeout, this, &FleetView::tick);
        m_timer.start(m_kind == Log ? SnapshotMs : RedrawMs);
        if (m_kind == Terminal) {
            m_screen = new Screen(tool::out(), this);
            m_screen->enter();
            connect(m_screen, &Screen::resumed, this, &FleetView::tick);
            tick();
        }
    }

    void setConnected(bool connected, const QString &why)
    {
        m_connected = connected;
        m_why = why;
        m_sinceMs = now();
        m_heardSince = true;
    }

    // The view's last word: the table where the screen was, the last snapshot, the rows not yet written.
    void finish()
    {
        m_timer.stop();
        if (m_screen)
            m_screen->leave();
        if (m_kind == Json) {
            writeRows();
            return;
        }
        if (m_kind == Log && !m_heardSince && m_snapshots > 0)
            return;
        print(render(m_kind == Terminal ? Screen::size().width() : 0, 0));
    }

    QStringList render(int width, int height) const
    {
        const qint64 at = now();
        const auto &cars = m_model.cars();
        int idWidth = 7;
        for (const auto &car : cars)
            idWidth = qBound(idWidth, int(printable(car.first).size()), 24);
        QString state;
        const qint64 forS = (at - m_sinceMs) / 1000;
        if (m_connected)
            state = QStringLiteral("connected");
        else if (m_why.isEmpty())
            state = forS * 1000 < UnreachableMs ? QStringLiteral("connecting")
                                                 : QStringLiteral("broker unreachable for %1 s, trying again").arg(forS);
        else
            state = QStringLiteral("broker lost for %1 s (%2), trying again").arg(forS).arg(m_why);
        const int online = int(std::count_if(cars.cbegin(), cars.cend(), [](const auto &c) { return c.second.online == 1; }));
        QStringList lines{printable(QStringLiteral("%1  %2  %3  %4 cars, %5 online  %6")
                                            .arg(m_broker, m_filter, state)
                                            .arg(cars.size())
                                            .arg(online)
                                            .arg(QDateTime::fromMSecsSinceEpoch(at).toString(QStringLiteral("HH:mm:ss")))),
                          QString(),
                          QStringLiteral("vehicle").leftJustified(idWidth) + QStringLiteral("  online  link        ")
                                  + QStringLiteral("speed").rightJustified(16) + QStringLiteral("  last change s  queued  dropped")};
        const int room = height > 0 ? qMax(1, height - int(lines.size())) : int(cars.size());
        int shown = 0;
        for (const auto &[id, car] : cars) {
            if (shown == room - 1 && int(cars.size()) > room) {
                lines << QStringLiteral("... %1 more: a taller window").arg(cars.size() - shown);
                break;
            }
            ++shown;
            const QString speed = car.speed.isUndefined() ? QStringLiteral("-")
                    : car.speed.isDouble()
                    ? QString::number(car.speed.toDouble(), 'f', 1) + QLatin1Char(' ') + car.speedUnit
                    : QStringLiteral("no reading");
            const double age = (at - car.lastChangeMs) / 1000.0;
            const QString ageText = car.lastChangeMs < 0 ? QStringLiteral("-")
                                                          : QString::number(age, 'f', qAbs(age) < 100 ? 1 : 0);
            const auto counter = [](double n) { return n < 0 ? QStringLiteral("-") : QString::number(n, 'f', 0); };
            lines << printable(cut(id, idWidth).leftJustified(idWidth) + QStringLiteral("  ")
                               + QString(car.online < 0 ? "-" : car.online ? "yes" : "no").leftJustified(6)
                               + QStringLiteral("  ") + cut(car.link.isEmpty() ? QStringLiteral("-") : car.link, 10).leftJustified(10)
                               + cut(speed, 16).rightJustified(18) + ageText.rightJustified(15)
                               + counter(car.queued).rightJustified(8) + counter(car.dropped).rightJustified(9));
        }
        if (width > 0)
            for (QString &line : lines)
                line = cut(line, width);
        return lines;
    }

private:
    static QString cut(const QString &text, int width)
    {
        return text.size() <= width ? text : text.left(width - 1) + QLatin1Char('~');
    }

    void print(const QStringList &lines)
    {
        for (const QString &line : lines)
            tool::out() << line << '\n';
        tool::out().flush();
    }

    void tick()
    {
        switch (m_kind) {
        case Terminal: {
            const QSize size = Screen::size();
            m_screen->draw(render(size.width(), size.height()));
            break;
        }
        case Log:
            if (!std::exchange(m_heardSince, false))
                return;
            ++m_snapshots;
            print(render(0, 0) << QString());
            break;
        case Json:
            writeRows();
            break;
        }
    }

    // A line for each car whose row changed since the last, the newest row of each.
    void writeRows()
    {
        for (const QString &id : m_dirty) {
            const FleetModel::Car &car = m_model.cars().at(id);
            QString line = QStringLiteral("{\"vehicle\":");
            json::appendString(line, id);
            line += QLatin1String(",\"online\":")
                    + QLatin1String(car.online < 0 ? "null" : car.online ? "true" : "false");
            line += QLatin1String(",\"link\":");
            if (car.link.isEmpty())
                line += QLatin1String("null");
            else
                json::appendString(line, car.link);
            line += QLatin1String(",\"speed\":");
            json::appendValue(line, car.speed.toVariant());
            line += QLatin1String(",\"unit\":");
            if (car.speedUnit.isEmpty())
                line += QLatin1String("null");
            else
                json::appendString(line, car.speedUnit);
            line += QLatin1String(",\"lastChange\":");
            if (car.lastChangeMs < 0) {
                line += QLatin1String("null");
            } else {
                line += QLatin1Char('"');
                json::appendIsoTime(line, car.lastChangeMs);
                line += QLatin1Char('"');
            }
            const auto counter = [](double n) { return n < 0 ? QStringLiteral("null") : QString::number(n, 'f', 0); };
            line += QLatin1String(",\"queued\":") + counter(car.queued) + QLatin1String(",\"dropped\":")
                    + counter(car.dropped) + QLatin1String("}\n");
            tool::out() << line;
        }
        if (!m_dirty.empty())
            tool::out().flush();
        m_dirty.clear();
    }

    const FleetModel &m_model;
    QString m_broker;
    QString m_filter;
    Kind m_kind;
    Screen *m_screen = nullptr;
    QTimer m_timer;
    std::set<QString> m_dirty;
    bool m_heardSince = false;
    int m_snapshots = 0;
    bool m_connected = false;
    QString m_why; // why the broker was lost; empty: never reached yet
    qint64 m_sinceMs;
};
} // namespace

int fleet(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "The cars that publish on an MQTT broker (replay or monitor --mqtt), live: one row a car with "
            "whether it is online, its link, its speed, the age of its newest value, and its queue. On a "
            "terminal the table is redrawn in place until Ctrl-C; elsewhere a snapshot for every second "
            "in which a message came, and one at the end."));
    parser.addPositionalArgument(QStringLiteral("URL"),
                                 QStringLiteral("The broker: mqtt://[USER@]HOST[:PORT] or mqtts:// (TLS). The "
                                                "password comes from --mqtt-password-file or the environment's "
                                                "CANSERVICE_MQTT_PASSWORD."));
    parser.addOptions({
            {QStringLiteral("json"),
             QStringLiteral("JSON Lines instead: a line for each car whose row changed, at most five times a second, "
                            "with the time of its newest value (lastChange) in place of its age.")},
            {QStringLiteral("for"), QStringLiteral("End after this many seconds (default: at Ctrl-C)."),
             QStringLiteral("SECONDS")},
            {QStringLiteral("mqtt-prefix"), QStringLiteral("The topics' first level (default canservice)."),
             QStringLiteral("PREFIX"), QStringLiteral("canservice")},
    });
    addMqttLinkOptions(parser);
    if (const int exit = parseArguments(parser, arguments, 1, QStringLiteral("the broker's URL")); exit >= 0)
        return exit;
    MqttLink::Settings settings;
    if (const int exit = chooseMqttLink(parser, arguments.at(0), parser.positionalArguments().at(0),
                                        QStringLiteral("URL"), &settings);
        exit >= 0)
        return exit;
    const QString prefix = parser.value(QStringLiteral("mqtt-prefix"));
    double seconds = 0;
    if (!isTopicLevel(prefix)
        || (parser.isSet(QStringLiteral("for"))
            && !parseNumber(parser.value(QStringLiteral("for")), 0.001, LongestRunSeconds, &seconds))) {
        tool::err() << arguments.at(0) << ": --mqtt-prefix is one topic level (no '/', '+', '#' or control "
                    << "characters), --for a number of seconds up to a week; see --help\n";
        return exitcode::Usage;
    }
    const QString filter = prefix + QStringLiteral("/+/#");
    settings.subscriptions = {filter.toUtf8()};
    settings.clientId = QStringLiteral("canservice-fleet-%1").arg(::getpid());
    const QString broker = QStringLiteral("%1:%2").arg(settings.host).arg(settings.port);

    StandardOutput::instance().setLive(true);
    StandardOutput::error().setLive(true);
    FleetModel model(prefix);
    MqttLink link(settings);
    QObject::connect(&link, &MqttLink::message, &model, [&model](const QByteArray &topic, const QByteArray &payload, bool retained) {
        model.take(topic, payload, retained, now());
    });
    QString error;
    if (!link.start(&error)) {
        tool::err() << "canservice fleet: " << error << '\n';
        return exitcode::Failure;
    }
    const QByteArray term = qgetenv("TERM");
    const bool terminal = ::isatty(STDOUT_FILENO) == 1 && !term.isEmpty() && term != "dumb";
    FleetView view(model, parser.positionalArguments().at(0), filter,
                   parser.isSet(QStringLiteral("json")) ? FleetView::Json
                           : terminal                  ? FleetView::Terminal
                                                       : FleetView::Log);

    int code = exitcode::Ok;
    bool ended = false;
    const auto end = [&](int exit) {
        if (std::exchange(ended, true))
            return;
        code = exit;
        view.finish();
        QCoreApplication::exit(code);
    };
    bool reached = false;
    bool complained = false;
    QObject::connect(&link, &MqttLink::connected, &view, [&] {
        if (std::exchange(complained, false))
            tool::err() << "canservice fleet: connected to the MQTT broker " << broker << '\n';
        reached = true;
        view.setConnected(true, QString());
    });
    QObject::connect(&link, &MqttLink::disconnected, &view, [&](const QString &why) {
        tool::err() << "canservice fleet: lost the MQTT broker " << broker << " (" << why << "); trying again\n";
        complained = true;
        view.setConnected(false, why);
    });
    QTimer unreachable;
    unreachable.setSingleShot(true);
    QObject::connect(&unreachable, &QTimer::timeout, &view, [&] {
        if (link.isConnected() || reached)
            return;
        tool::err() << "canservice fleet: cannot reach the MQTT broker " << broker << "; trying again\n";
        complained = true;
    });
    QObject::connect(&link, &MqttLink::refused, &view, [&](MqttLink::Refusal refusal, const QString &why) {
        const bool login = refusal == MqttLink::Refusal::Login;
        tool::err() << "canservice fleet: " << (login ? "the MQTT broker " + broker + " refused the login"
                                                      : "the TLS handshake with the MQTT broker " + broker + " failed")
                    << " (" << why << "): "
                    << (login ? "check the user in the URL and the password" : "check --mqtt-ca and the client certificate")
                    << '\n';
        end(login ? exitcode::MqttRefused : exitcode::MqttCertificate);
    });
    Interrupt interrupt;
    QObject::connect(&interrupt, &Interrupt::requested, &view, [&] { end(exitcode::Interrupted); });
    QObject::connect(&interrupt, &Interrupt::outputLost, &view, [&] { end(exitcode::BrokenPipe); });
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, &view, [&] {
        // A bounded run that never heard the broker has nothing to show for it.
        if (!reached)
            tool::err() << "canservice fleet: the MQTT broker " << broker << " was not reached in " << seconds << " s\n";
        end(reached ? exitcode::Ok : exitcode::Failure);
    });

    unreachable.start(UnreachableMs);
    if (seconds > 0)
        bound.start(int(seconds * 1000));
    QCoreApplication::exec();
    link.stop();
    return code;
}

} // namespace tool
