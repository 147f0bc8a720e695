#include "commands.h"

#include "capture.h"
#include "exitcodes.h"
#include "options.h"
#include "sessionmodel.h"
#include "views.h"
#include "mqttoptions.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

namespace tool {
namespace {
const int NoDataWarningMs = 5000;
}

int monitor(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Watches a real CAN box on DEVICE (/dev/ttyUSB0, /dev/ttyS1 or a pseudo-terminal): "
            "starts the plugin and prints what it decodes and the link's changes until Ctrl-C, "
            "then the link's health."));
    addPluginOptions(parser);
    addFrameOptions(parser);
    addPcapngOption(parser);
    addViewOptions(parser);
    addMqttOptions(parser);
    parser.addOption({QStringLiteral("quiet"),
                      QStringLiteral("Print nothing but the link's health at the end.")});
    parser.addOption({QStringLiteral("record"),
                      QStringLiteral("Also write every received chunk with its time to FILE, in the "
                                     "capture format that replay reads."),
                      QStringLiteral("file")});
    parser.addPositionalArgument(QStringLiteral("DEVICE"), QStringLiteral("The serial device."));
    if (const int exit = parseArguments(parser, arguments, 1, QStringLiteral("one DEVICE"));
        exit >= 0)
        return exit;
    const QString device = parser.positionalArguments().at(0);

    SessionOptions options = sessionOptions(parser);
    options.printer.source = device;
    options.printer.quiet = options.printer.healthWhenQuiet = parser.isSet(QStringLiteral("quiet"));
    options.pcapng = parser.value(QStringLiteral("pcapng"));
    // Second 0 of the run's times is this moment: the pcapng's dates and the recording's start.
    QElapsedTimer sinceStart;
    sinceStart.start();
    options.pcapngEpochUs = QDateTime::currentMSecsSinceEpoch() * 1000;
    options.record = parser.value(QStringLiteral("record"));
    ViewChoice view;
    if (const int exit = chooseView(parser, arguments.at(0), &options, &view); exit >= 0)
        return exit;
    MqttPublisher::Options mqtt;
    bool publish = false;
    if (const int exit = chooseMqtt(parser, arguments.at(0), &mqtt, &publish); exit >= 0)
        return exit;
    Session session(options);
    if (const Failure failure = session.load(device); failure != Failure::None)
        return exitcode::of(failure);
    session.model()->setClock([sinceStart] { return sinceStart.elapsed() / 1000.0; });
    attachView(view, session, device);
    if (publish)
        if (const int exit = attachMqtt(mqtt, session, true, -1); exit >= 0)
            return exit;

    if (!parser.isSet(QStringLiteral("json")) && !parser.isSet(QStringLiteral("quiet")))
        session.printer()->note(QStringLiteral("watching %1; Ctrl-C ends").arg(device));

    // A box that sends nothing is the first thing an installer meets: say what to check, once.
    QTimer::singleShot(NoDataWarningMs, session.printer(), [&session, device] {
        if (session.model()->health().bytesReceived == 0)
            session.printer()->note(QStringLiteral(
                    "nothing received from %1 in %2 seconds: check that it is the CAN box's line, "
                    "the wiring (the box's TX to the adapter's RX, and ground) and that the line "
                    "runs at 38400 8N1")
                                          .arg(device)
                                          .arg(NoDataWarningMs / 1000));
    });

    session.finishOnInterrupt(false);
    session.start();
    QCoreApplication::exec();
    if (session.writeFailed())
        return exitcode::CannotWrite;
    if (session.model()->health().bytesReceived == 0) {
        tool::err() << "canservice: the CAN box sent nothing on " << device << ".\n";
        return exitcode::NoDataFromBox;
    }
    return exitcode::ofEnd(session);
}

} // namespace tool
