#include "session.h"

#include "canservicebase.h"
#include "configmanager.h"
#include "capture.h"
#include "vehiclesnapshot.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QMetaMethod>
#include <QTimer>

namespace tool {

namespace {
const int StopGraceMs = 100;
}


Session::Session(const SessionOptions &options, QObject *parent)
    : QObject(parent), m_options(options)
{
    // The plugin's lines by the logging rules, never read: what it did to the bytes is the receive
    // model's to tell. QT_LOGGING_RULES still has the last word.
    if (!options.verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false\n"
                                                        "default.critical=false\n"
                                                        "canservice.serial=false"));
    m_receiveTimeout.setSingleShot(true);
    m_receiveTimeout.setTimerType(Qt::PreciseTimer);
    connect(&m_receiveTimeout, &QTimer::timeout, this, [this] {
        flushReceived(false);
        m_receiver.advance(m_printer->clockMs(),
                           [this](const canbox::ReceiveModel::Item &item) { receiverActed(item); });
        // On a live line the wall clock may read a millisecond short of the deadline.
        armReceiveTimeout();
    });
}

Session::~Session()
{
    m_printer.reset();
    delete m_service;
}

Failure Session::load(const QString &device)
{
    m_device = device;
    canservice::ConfigManager::instance()->setSerialDevice(device);
    const QString path =
            m_options.pluginPath.isEmpty() ? PluginHost::defaultPluginPath() : m_options.pluginPath;
    m_service = m_host.load(path);
    if (!m_service) {
        tool::err() << "canservice: " << m_host.error() << '\n';
        return m_host.failure();
    }
    m_heard = HeardSignals::of(m_service);
    // The plugin opened its line while it was made: a device it could not open ends here.
    watchLine();
    if (m_lineError != canservice::SerialPort::NoError) {
        Failure failure = Failure::Other;
        tool::err() << "canservice: " << describeDeviceError(device, m_lineError, m_lineReason, &failure)
                    << '\n';
        return failure;
    }
    if (!openOutputs())
        return Failure::CannotWrite;
    m_printer = std::make_unique<EventPrinter>(m_service, tool::out(), m_options.printer);
    m_printer->header();
    return Failure::None;
}

void Session::finishOnInterrupt(bool withSummary)
{
    m_interrupt = std::make_unique<Interrupt>();
    connect(m_interrupt.get(), &Interrupt::requested, this, [this, withSummary] {
        m_interrupted = true;
        finish(withSummary);
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
        flushReceived(false);
        m_receiver.finish(m_printer->clockMs(),
                          [this](const canbox::ReceiveModel::Item &item) { receiverActed(item); });
        closeOutputs(complete && !m_writeFailed);
        if (withSummary)
            m_printer->printSummary();
        m_health.linkLosses = m_printer->linkLosses();
        m_printer->printHealth(m_health.toJson(), m_health.text());
        tool::out().flush();
        QCoreApplication::quit();
    });
}

// What the host's serial line says of the plugin's device: every chunk it brought, every write
// of the head unit (one whole frame or one acknowledgement byte), its errors, its going down and
// coming back, and the writes it dropped meanwhile. The port is the one the plugin opened on the
// device while it was loaded; only that one is heard.
void Session::watchLine()
{
    using canservice::SerialPort;
    const QList<SerialPort *> ports = SerialPort::openPorts();
    const auto found = std::find_if(ports.crbegin(), ports.crend(),
                                    [this](SerialPort *port) { return port->deviceName() == m_device; });
    if (found == ports.crend())
        return;
    SerialPort *port = *found;
    m_lineError = port->error();
    m_lineReason = port->errorString();
    connect(port, &SerialPort::received, this, &Session::received);
    // The plugin took its reading slot when it opened the port, so this one runs once the plugin
    // has handled the chunk: what is left of it (noise, a refused frame) is shown then.
    connect(port, &SerialPort::read, this, [this] { chunkHandled(); });
    // The head unit's writes are shown in the frame view and recorded in a pcapng file, each
    // after the frame it answers; without either nothing listens, and the port does not tell.
    if (m_options.printer.frames || !m_options.pcapng.isEmpty())
        connect(port, &SerialPort::written, this, [this](const QByteArray &bytes) {
            if (!bytes.isEmpty())
                sent(bytes);
        });
    connect(port, &SerialPort::errorOccurred, this, [this, port](SerialPort::Error error) {
        m_lineError = error;
        m_lineReason = port->errorString();
    });
    connect(port, &SerialPort::lineStateChanged, this, [this](bool up) {
        if (!up)
            ++m_health.lineLosses;
        if (m_printer)
            m_printer->lineChanged(up, m_lineReason);
        // The plugin knows nothing of the line: it hears the box again at its next start command
        // or probe, up to 30 s later. Said once, so that the silence is explained.
        if (up && m_printer && !m_toldAboutProbe) {
            m_toldAboutProbe = true;
            m_printer->note(QStringLiteral("the line is back; the plugin hears the box again at its "
                                           "next start command or probe, within 30 seconds"));
        }
        emit lineStateChanged(up, m_lineReason);
    });
    connect(port, &SerialPort::dropped, this, [this] { ++m_health.droppedWrites; });
}

// A chunk reached the plugin: the model does with it what the plugin does, now.
void Session::received(const QByteArray &chunk)
{
    m_health.bytesReceived += chunk.size();
    if (!m_printer)
        return;
    if (m_capture && !m_writeFailed
        && !m_capture->append(CaptureReader::formatLine(m_printer->clockSeconds(), chunk).toLatin1()))
        writeFailure(*m_capture, "capture");
    m_receiver.feed(chunk, m_printer->clockMs(),
                    [this](canbox::ReceiveModel::Item &item) { m_receivedItems.push_back(std::move(item)); });
    armReceiveTimeout();
}

void Session::chunkHandled()
{
    flushReceived(false);
    if (std::exchange(m_silentFrame, false) && m_printer) {
        m_printer->silentFrameHandled();
        emit silentFrameHandled();
    }
}

void Session::flushReceived(bool toFirstFrame)
{
    while (m_nextItem < m_receivedItems.size()) {
        const canbox::ReceiveModel::Item &item = m_receivedItems[m_nextItem++];
        receiverActed(item);
        if (toFirstFrame && item.isFrame())
            break;
    }
    if (m_nextItem == m_receivedItems.size()) {
        m_receivedItems.clear();
        m_nextItem = 0;
    }
}

// The plugin's receive time-out runs from the chunk that found a frame open; the session's own
// timer, started after it, runs out at the same time and lets the model act then.
void Session::armReceiveTimeout()
{
    const qint64 deadline = m_receiver.deadline();
    if (deadline < 0) {
        m_receiveTimeout.stop();
        return;
    }
    if (!m_receiveTimeout.isActive())
        m_receiveTimeout.start(int(qMax<qint64>(1, deadline - m_printer->clockMs())));
}

void Session::receiverActed(const canbox::ReceiveModel::Item &item)
{
    using M = canbox::ReceiveModel;
    switch (item.kind) {
    case M::Accepted: {
        ++m_health.framesAccepted;
        // A frame that changes the vehicle without a signal: the printer looks once the chunk
        // is handled.
        if (m_heard && m_heard->frameAccepted(item.id(), item.bytes.size() - canbox::FrameOverhead))
            m_silentFrame = true;
        static const QMetaMethod acceptedSignal = QMetaMethod::fromSignal(&Session::frameAccepted);
        if (isSignalConnected(acceptedSignal))
            emit frameAccepted(item.id(), item.bytes.mid(3, item.bytes.size() - canbox::FrameOverhead));
        break;
    }
    case M::Refused:
        ++m_health.checksumErrors;
        break;
    case M::Noise:
        m_health.noiseBytes += item.size;
        break;
    case M::TimedOut:
        ++m_health.receiveTimeouts;
        break;
    default:
        break;
    }
    if (item.resumed || (item.kind == M::TimedOut && item.size > 0) || item.kind == M::Open)
        ++m_health.cutFrames;
    if (m_options.printer.frames)
        m_printer->received(item);
    emit itemReceived(item);
    // Bytes a reader of the file could take for something else carry the receiver's verdict.
    const bool plain = (item.kind == M::Accepted || item.kind == M::Refused) && !item.resumed;
    record(item.ms, true, item.bytes,
           plain ? QString()
                 : QLatin1String(EventPrinter::kindName(item.kind)) + QStringLiteral(": ")
                           + EventPrinter::describe(item));
}

void Session::sent(const QByteArray &bytes)
{
    // An acknowledgement answers the first frame the model has not shown yet.
    if (bytes.size() == 1 && (quint8(bytes.at(0)) == canbox::Accepted || quint8(bytes.at(0)) == canbox::Refused))
        flushReceived(true);
    if (m_options.hidePluginWrites)
        return;
    show(bytes);
}

void Session::show(const QByteArray &bytes)
{
    if (m_options.printer.frames)
        m_printer->sent(bytes);
    record(m_printer ? m_printer->clockMs() : 0, false, bytes);
}


} // namespace tool
