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

QTextStream &out()
{
    static QTextStream stream(stdout);
    static const bool utf8 = (stream.setCodec("UTF-8"), true);
    Q_UNUSED(utf8)
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    static const bool utf8 = (stream.setCodec("UTF-8"), true);
    Q_UNUSED(utf8)
    return stream;
}

QString LinkHealth::text() const
{
    return QStringLiteral("frames accepted %1, checksum errors %2, receive time-outs %3, "
                          "cut frames %4, noise bytes %5, link losses %6, line losses %7, dropped writes %8")
            .arg(framesAccepted)
            .arg(checksumErrors)
            .arg(receiveTimeouts)
            .arg(cutFrames)
            .arg(noiseBytes)
            .arg(linkLosses)
            .arg(lineLosses)
            .arg(droppedWrites);
}

QJsonObject LinkHealth::toJson() const
{
    return {{"framesAccepted", framesAccepted}, {"checksumErrors", checksumErrors},
            {"receiveTimeouts", receiveTimeouts}, {"cutFrames", cutFrames},
            {"noiseBytes", noiseBytes},           {"linkLosses", linkLosses},
            {"lineLosses", lineLosses},         {"droppedWrites", droppedWrites}};
}

QString describeDeviceError(const QString &device, canservice::SerialPort::Error error,
                            const QString &reason, Failure *failure)
{
    using canservice::SerialPort;
    switch (error) {
    case SerialPort::DeviceNotFoundError:
        *failure = Failure::DeviceNotFound;
        return QStringLiteral("There is no serial device %1 (%2).").arg(device, reason);
    case SerialPort::NotSerialDeviceError:
        *failure = Failure::DeviceNotFound;
        return QStringLiteral("%1 is not a serial device (%2).").arg(device, reason);
    case SerialPort::PermissionError:
        *failure = Failure::DevicePermission;
        return QStringLiteral("No permission to open the serial device %1 (add yourself to its "
                              "group, often dialout).")
                .arg(device);
    case SerialPort::BusyError:
        *failure = Failure::DeviceBusy;
        return QStringLiteral("The serial device %1 is busy: another program has it open.")
                .arg(device);
    default:
        *failure = Failure::Other;
        return QStringLiteral("Cannot open the serial device %1: %2.").arg(device, reason);
    }
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
    m_chunkDone.setSingleShot(true);
    connect(&m_chunkDone, &QTimer::timeout, this, [this] {
        flushReceived(false);
        if (std::exchange(m_silentFrame, false)) {
            m_printer->silentFrameHandled();
            emit silentFrameHandled();
        }
    });
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
                    [this](const canbox::ReceiveModel::Item &item) { m_receivedItems.append(item); });
    if (!m_receivedItems.isEmpty() && !m_chunkDone.isActive())
        m_chunkDone.start(0);
    armReceiveTimeout();
}

void Session::flushReceived(bool toFirstFrame)
{
    while (!m_receivedItems.isEmpty()) {
        const canbox::ReceiveModel::Item item = m_receivedItems.takeFirst();
        receiverActed(item);
        if (toFirstFrame && item.isFrame())
            return;
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
        if (m_service && HeardSignals::of(m_service)->frameAccepted(item.id(), item.bytes.size() - canbox::FrameOverhead))
            m_silentFrame = true;
        if (isSignalConnected(QMetaMethod::fromSignal(&Session::frameAccepted)))
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

void Session::record(qint64 ms, bool inbound, const QByteArray &bytes, const QString &comment)
{
    if (m_options.pcapng.isEmpty() || m_writeFailed)
        return;
    const qint64 us = m_options.pcapngEpochUs + ms * 1000;
    if (!m_pcapng.write(us, inbound, bytes, comment))
        writeFailure(*m_pcapng.file(), "pcapng file");
}

// The files are checked before anything runs: a folder that is not there, a file that takes no
// writing, a full disk, each is said at once.
bool Session::openOutputs()
{
    // A run that cannot start leaves no file behind.
    const auto discardAll = [this] {
        if (m_pcapng.file())
            m_pcapng.file()->discard();
        if (m_capture)
            m_capture->discard();
    };
    if (!m_options.pcapng.isEmpty() && !m_pcapng.open(m_options.pcapng)) {
        tool::err() << "canservice: cannot write the pcapng file " << m_options.pcapng << ": "
                    << m_pcapng.errorString() << '\n';
        discardAll();
        return false;
    }
    if (!m_options.record.isEmpty()) {
        m_capture = std::make_unique<OutputFile>(m_options.record);
        const QByteArray header = CaptureReader::header()
                + (m_options.pcapngEpochUs > 0 ? CaptureReader::startLine(m_options.pcapngEpochUs) : QByteArray());
        if (!m_capture->open() || !m_capture->append(header) || !m_capture->flush()) {
            tool::err() << "canservice: cannot write the capture " << m_options.record << ": "
                        << m_capture->errorString() << '\n';
            discardAll();
            return false;
        }
    }
    if (m_options.printer.live) {
        connect(&m_flushTimer, &QTimer::timeout, this, [this] {
            if (m_capture && !m_writeFailed && !m_capture->flush())
                writeFailure(*m_capture, "capture");
            if (!m_options.pcapng.isEmpty() && !m_writeFailed && !m_pcapng.flush())
                writeFailure(*m_pcapng.file(), "pcapng file");
        });
        m_flushTimer.start(1000);
    }
    return true;
}

// A write failed: what was written stays whole under the partial name, and the run ends.
void Session::writeFailure(const OutputFile &file, const char *what)
{
    if (m_writeFailed)
        return;
    m_writeFailed = true;
    tool::err() << "canservice: writing the " << what << " " << file.target() << " failed: "
                << file.errorString() << "; what was written before is kept whole in "
                << file.partialName() << '\n';
    tool::err().flush();
    QTimer::singleShot(0, this, [this] { finish(false, false); });
}

void Session::closeOutputs(bool complete)
{
    m_flushTimer.stop();
    const auto close = [this, complete](OutputFile *file, const char *what) {
        if (!file || !file->isOpen())
            return;
        if (complete && file->commit())
            return;
        if (complete)
            return writeFailure(*file, what);
        file->flush();
        file->abandon();
        if (!m_writeFailed)
            tool::err() << "canservice: the " << what << " " << file->target()
                        << " is not complete; what was written is kept in " << file->partialName() << '\n';
    };
    close(m_capture.get(), "capture");
    if (!m_options.pcapng.isEmpty())
        close(m_pcapng.file(), "pcapng file");
}

} // namespace tool
