#include "commands.h"

#include "mqttoptions.h"

#include "boxline.h"
#include "boxsimulator.h"
#include "canservicebase.h"
#include "exitcodes.h"
#include "options.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

#include <functional>
#include <memory>

namespace tool {

int demo(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Runs a simulated CAN box on a pseudo-terminal and the plugin against it through a "
            "real serial line, plays a 20-second drive with the head unit's commands, and prints "
            "every event and the final vehicle state."));
    addPluginOptions(parser);
    addMqttOptions(parser);
    if (const int exit = parseArguments(parser, arguments, 0, QString()); exit >= 0)
        return exit;
    MqttPublisher::Options mqtt;
    bool publish = false;
    if (const int exit = chooseMqtt(parser, arguments.at(0), &mqtt, &publish); exit >= 0)
        return exit;

    SessionOptions options = sessionOptions(parser);
    options.printer.source = QStringLiteral("built-in drive");
    Session session(options);
    QString error;
    std::unique_ptr<BoxLine> line(BoxLine::createPty(&error));
    if (!line) {
        tool::err() << "canservice: " << error << '\n';
        return exitcode::NoPseudoTerminal;
    }
    BoxSimulator box(line.get(), Scenario::builtInDrive(), FaultOptions());
    if (const Failure failure = session.load(line->deviceName()); failure != Failure::None)
        return exitcode::of(failure);
    if (publish)
        if (const int exit = attachMqtt(mqtt, session, true, -1); exit >= 0)
            return exit;
    CanServiceBase *service = session.service();
    EventPrinter &printer = *session.printer();
    QObject::connect(&box, &BoxSimulator::report, &printer, &EventPrinter::note);
    printer.note(QStringLiteral("simulated box on %1, plugin %2")
                         .arg(line->deviceName(), session.pluginFile()));

    // What the head unit does during the drive, at seconds from the start.
    const auto at = [&](double seconds, const QString &what, std::function<void()> action) {
        QTimer::singleShot(int(seconds * 1000), Qt::PreciseTimer, &printer, [&printer, what, action] {
            printer.note(QStringLiteral("head unit -> %1").arg(what));
            action();
        });
    };
    at(10.3, QStringLiteral("climate key temperature up"), [service] { service->sendAcKey(19, 0); });
    at(12.2, QStringLiteral("climate key temperature up"), [service] { service->sendAcKey(19, 0); });
    at(17.5, QStringLiteral("unit command: distance"), [service] { service->setUnitCmd(1); });
    at(18.6, QStringLiteral("radio source FM1 87.5 MHz with track texts"), [service] {
        service->onRadioSourceInformation(QStringLiteral("FM1"),
                                          {QStringLiteral("87.5 MHz"), QStringLiteral("Night Drive")}, 0);
    });
    at(19.2, QStringLiteral("GPS time"), [service, &printer] {
        const QDateTime now = QDateTime::currentDateTime();
        GPSTime time;
        time.year = quint16(now.date().year());
        time.month = quint8(now.date().month());
        time.day = quint8(now.date().day());
        time.hour = quint8(now.time().hour());
        time.minute = quint8(now.time().minute());
        const GPSTimePacket packet = service->GPSTimeSend(time);
        printer.note(QStringLiteral("GPS time for the box: year %1, %2:%3 (12-hour), packet header 0x%4")
                             .arg(time.year)
                             .arg(time.hour)
                             .arg(time.minute, 2, 10, QLatin1Char('0'))
                             .arg(packet.header, 2, 16, QLatin1Char('0')));
    });

    QTimer::singleShot(21000, Qt::PreciseTimer, &printer, [&session] { session.finish(true); });

    session.finishOnInterrupt(true);
    session.start();
    box.begin();
    QCoreApplication::exec();
    return exitcode::ofEnd(session);
}

} // namespace tool
