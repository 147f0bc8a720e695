#include "session.h"

#include "standardoutput.h"

#include "canservicebase.h"
#include "capture.h"
#include "sessionmodel.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTimer>

namespace tool {

namespace {
const int StopGraceMs = 100;
}

Session::Session(const SessionOptions &options, QObject *parent)
    : QObject(parent), m_options(options)
{
    // A live line never waits for the reader of the output; a file does.
    StandardOutput::instance().setLive(options.printer.live);
    StandardOutput::error().setLive(options.printer.live);
    // The plugin's lines by the logging rules, never read: what it did to the bytes is the receive
    // model's to tell. QT_LOGGING_RULES still has the last word.
    if (!options.verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false\n"
                                                        "default.critical=false\n"
                                                        "canservice.serial=false"));
}

Session::~Session()
{
    m_printer.reset();
    delete m_model;
    delete m_service;
}

Failure Session::load(const QString &device)
{
    const QString path =
            m_options.pluginPath.isEmpty() ? PluginHost::defaultPluginPath() : m_options.pluginPath;
    m_service = m_host.load(path, device);
    if (!m_service) {
        tool::err() << "canservice: " << m_host.error() << '\n';
        return m_host.failure();
    }
    m_model = new SessionModel(m_service);
    // The plugin opened its line while it was made: a device it could not open ends here.
    if (canservice::SerialPort *port = m_host.port())
        watchLine(port);
    if (m_lineError != canservice::SerialPort::NoError) {
        Failure failure = Failure::Other;
        tool::err() << "canservice: " << describeDeviceError(device, m_lineError, m_lineReason, &failure)
                    << '\n';
        return failure;
    }
    if (!openOutputs())
        return Failure::CannotWrite;
    m_printer = std::make_unique<EventPrinter>(*m_model, tool::out(), m_options.printer);
    m_printer->header();
    // The recordings hear the model after the printer, as the printer hears it: item by item. The
    // model tells of every frame; without a pcapng file nothing here listens.
    if (!m_options.pcapng.isEmpty())
        connect(m_model, &SessionModel::itemReceived, this, &Session::recordItem);
    connect(m_model, &SessionModel::headUnitSent, this,
            [this](const QByteArray &bytes) { record(m_model->ms(), false, bytes); });
    // Repeats the clock jumped: the first of them in full, the first write carrying what followed.
    connect(m_model, &SessionModel::headUnitRepeating, this, [this](const RepeatedWrites &repeat) {
        const int after = repeat.writes.size() - 1;
        const QString told = (after == 0 ? QStringLiteral("this write")
                              : after == 1 ? QStringLiteral("this write and the next")
                                           : QStringLiteral("this write and the next %1").arg(after))
                + QStringLiteral(" again every %1 s, %2 times in all, the last time at %3 s; the repeats after "
                                 "this one are not written")
                          .arg(repeat.periodMs / 1000.0, 0, 'f', 3)
                          .arg(repeat.times)
                          .arg(repeat.lastMs() / 1000.0, 0, 'f', 3);
        for (int i = 0; i < repeat.writes.size(); ++i)
            record(repeat.firstMs + repeat.writes.at(i).first, false, repeat.writes.at(i).second,
                   i == 0 ? told : QString());
    });
    connect(m_model, &SessionModel::headUnitSentNoise, this,
            [this](const QByteArray &bytes) { record(m_model->ms(), false, bytes, QStringLiteral("noise")); });
    connect(m_model, &SessionModel::lineStateChanged, this, [this](bool up) {
        // The plugin knows nothing of the line: it hears the box again at its next start command
        // or probe, up to 30 s later. Said once, so that the silence is explained.
        if (up && !m_toldAboutProbe) {
            m_toldAboutProbe = true;
            m_printer->note(QStringLiteral("the line is back; the plugin hears the box again at its "
                                           "next start command or probe, within 30 seconds"));
        }
    });
    return Failure::None;
}

void Session::finishOnInterrupt(bool withSummary)
{
    m_interrupt = std::make_unique<Interrupt>();
    connect(m_interrupt.get(), &Interrupt::requested, this, [this, withSummary] {
        m_interrupted = true;
        finish(withSummary, m_options.printer.live);
    });
    connect(m_interrupt.get(), &Interrupt::outputLost, this, [this, withSummary] {
        m_outputLost = true;
        dropOutput();
        finish(withSummary, m_options.printer.live);
    });
}

void Session::start()
{
    m_service->start();
    m_started = true;
}

void Session::finish(bool withSummary, bool complete)
{
    if (m_finishing)
        return;
    m_finishing = true;
    if (m_started)
        m_service->stop();
    // A moment for the far end to take the stop command (a simulated box says so) before the
    // summary closes the output.
    QTimer::singleShot(m_started ? StopGraceMs : 0, this, [this, withSummary, complete] {
        m_model->finish();
        if (m_outputLost)
            sendOutputToError();
        closeOutputs(complete && !m_writeFailed);
        if (withSummary)
            m_printer->printSummary();
        m_printer->printHealth();
        tool::out().flush();
        QCoreApplication::quit();
    });
}

// What the port the plugin opened says: every chunk it brought, before the plugin reads it and
// once the plugin has handled it; every write of the head unit (one whole frame or one
// acknowledgement byte); its errors, its going down and coming back, and the writes it dropped
// meanwhile. All of it goes to the model, one path each.
void Session::watchLine(canservice::SerialPort *port)
{
    using canservice::SerialPort;
    m_lineError = port->error();
    m_lineReason = port->errorString();
    connect(port, &SerialPort::received, this, [this](const QByteArray &chunk) {
        appendCapture(QByteArray(), chunk);
        m_model->chunkReceived(chunk);
    });
    connect(port, &SerialPort::handled, m_model, &SessionModel::chunkHandled);
    // The head unit's writes are shown in the frame view and recorded in a pcapng file, each
    // after the frame it answers; without either nothing listens, and the port does not tell.
    if (!m_options.hidePluginWrites && (m_options.printer.frames || !m_options.pcapng.isEmpty()))
        connect(port, &SerialPort::written, m_model, &SessionModel::headUnitWrote);
    connect(port, &SerialPort::errorOccurred, this, [this, port](SerialPort::Error error) {
        m_lineError = error;
        m_lineReason = port->errorString();
    });
    connect(port, &SerialPort::lineStateChanged, this,
            [this](bool up) { m_model->lineChanged(up, m_lineReason); });
    connect(port, &SerialPort::dropped, m_model, &SessionModel::writeDropped);
}

// Bytes a reader of the file could take for something else carry the receiver's verdict.
void Session::recordItem(const canbox::ReceiveModel::Item &item)
{
    using M = canbox::ReceiveModel;
    const bool plain = (item.kind == M::Accepted || item.kind == M::Refused) && !item.resumed;
    record(item.ms, true, item.bytes,
           plain ? QString()
                 : QLatin1String(EventPrinter::kindName(item.kind)) + QStringLiteral(": ")
                           + EventPrinter::describe(item));
}

// On a tap the head unit's writes come from a line of their own, not from the plugin: in the same
// frame view, recording and pcapng file, at the time they were heard.
void Session::headUnitWrote(const QByteArray &bytes, bool noise)
{
    if (!m_model || bytes.isEmpty())
        return;
    appendCapture(QByteArrayLiteral("# head unit "), bytes);
    if (noise)
        m_model->headUnitNoise(bytes);
    else
        m_model->headUnitWrote(bytes);
}

void Session::appendCapture(const QByteArray &prefix, const QByteArray &bytes)
{
    if (m_capture && !m_writeFailed
        && !m_capture->append(prefix + CaptureReader::formatLine(m_model->seconds(), bytes).toLatin1()))
        writeFailure(*m_capture, "capture");
}

} // namespace tool
