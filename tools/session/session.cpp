#include "session.h"

#include "canservicebase.h"
#include "configmanager.h"
#include "exitcodes.h"
#include "serialtap.h"

#include <cmath>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QTimer>

Session *Session::s_current = nullptr;

namespace {
const int StopGraceMs = 100;
}

namespace tool {
QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

QString LinkHealth::text() const
{
    return QStringLiteral("frames accepted %1, checksum errors %2, receive time-outs %3, "
                          "link losses %4, line losses %5, dropped writes %6")
            .arg(framesAccepted)
            .arg(checksumErrors)
            .arg(receiveTimeouts)
            .arg(linkLosses)
            .arg(lineLosses)
            .arg(droppedWrites);
}

QJsonObject LinkHealth::toJson() const
{
    return {{"framesAccepted", framesAccepted}, {"checksumErrors", checksumErrors},
            {"receiveTimeouts", receiveTimeouts}, {"linkLosses", linkLosses},
            {"lineLosses", lineLosses},         {"droppedWrites", droppedWrites}};
}
} // namespace tool

QString describeDeviceError(const QString &device, canservice::SerialPort::Error error,
                            const QString &reason, int *exitCode)
{
    using canservice::SerialPort;
    switch (error) {
    case SerialPort::DeviceNotFoundError:
        *exitCode = exitcode::DeviceNotFound;
        return QStringLiteral("There is no serial device %1 (%2).").arg(device, reason);
    case SerialPort::NotSerialDeviceError:
        *exitCode = exitcode::DeviceNotFound;
        return QStringLiteral("%1 is not a serial device (%2).").arg(device, reason);
    case SerialPort::PermissionError:
        *exitCode = exitcode::DevicePermission;
        return QStringLiteral("No permission to open the serial device %1 (add yourself to its "
                              "group, often dialout).")
                .arg(device);
    case SerialPort::BusyError:
        *exitCode = exitcode::DeviceBusy;
        return QStringLiteral("The serial device %1 is busy: another program has it open.")
                .arg(device);
    default:
        *exitCode = exitcode::Failure;
        return QStringLiteral("Cannot open the serial device %1: %2.").arg(device, reason);
    }
}

Session::Session(const SessionOptions &options, QObject *parent)
    : QObject(parent), m_options(options)
{
    s_current = this;
    m_previousHandler = qInstallMessageHandler(&Session::messageHandler);
    watchLine();
}

Session::~Session()
{
    m_printer.reset();
    delete m_service;
    qInstallMessageHandler(m_previousHandler);
    s_current = nullptr;
}

// The plugin's own lines go to standard error only when asked for, and the host's line messages
// are events the printer shows; the receive time-outs are counted from the plugin's line for them.
void Session::messageHandler(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    const bool verbose = s_current && s_current->m_options.verbose;
    if (qstrcmp(context.category, "canservice.serial") == 0 && !verbose)
        return;
    if (qstrcmp(context.file, "simpleservice") == 0) {
        if (s_current && message.contains(QLatin1String(" -- parse out!!!")))
            ++s_current->m_health.receiveTimeouts;
        if (!verbose)
            return;
    }
    tool::err() << message << '\n';
    tool::err().flush();
}

int Session::load(const QString &device)
{
    m_device = device;
    canservice::ConfigManager::instance()->setSerialDevice(device);
    const QString path =
            m_options.pluginPath.isEmpty() ? PluginHost::defaultPluginPath() : m_options.pluginPath;
    m_service = m_host.load(path);
    if (!m_service) {
        tool::err() << "canservice: " << m_host.error() << '\n';
        return m_host.exitCode();
    }
    // The plugin opened its line while it was made: a device it could not open ends here.
    if (m_lineError != canservice::SerialPort::NoError) {
        int exit = exitcode::Failure;
        tool::err() << "canservice: " << describeDeviceError(device, m_lineError, m_lineReason, &exit)
                    << '\n';
        return exit;
    }
    if (!m_options.pcapng.isEmpty() && !m_pcapng.open(m_options.pcapng)) {
        tool::err() << "canservice: cannot write the pcapng file " << m_options.pcapng << ": "
                    << m_pcapng.errorString() << '\n';
        return exitcode::CannotWrite;
    }
    m_printer = std::make_unique<EventPrinter>(m_service, tool::out(), m_options.printer);
    m_printer->header();
    if (m_options.printer.frames || !m_options.pcapng.isEmpty())
        watchFrames();
    return -1;
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

void Session::finish(bool withSummary)
{
    if (m_finishing)
        return;
    m_finishing = true;
    if (m_started)
        m_service->stop();
    // A moment for the far end to take the stop command (a simulated box says so) before the
    // summary closes the output.
    QTimer::singleShot(m_started ? StopGraceMs : 0, this, [this, withSummary] {
        m_scanner.flush([this](const canbox::FrameScanner::Item &item) { frameSeen(true, item); });
        if (!m_options.pcapng.isEmpty())
            m_pcapng.flush();
        if (withSummary)
            m_printer->printSummary();
        m_health.linkLosses = m_printer->linkLosses();
        m_printer->printHealth(m_health.toJson(), m_health.text());
        QCoreApplication::quit();
    });
}

// What the host's serial line says of the plugin's device: the head unit's acknowledgements (one
// per frame: FF accepted, F0 refused), the line's errors, its going down and coming back, the
// writes it dropped meanwhile, and every byte it brought.
void Session::watchLine()
{
    using canservice::SerialPort;
    using canservice::SerialTap;
    SerialTap *tap = SerialTap::instance();
    connect(tap, &SerialTap::written, this, [this](const QString &device, const QByteArray &bytes) {
        if (device != m_device || bytes.size() != 1)
            return;
        if (bytes.at(0) == '\xff')
            ++m_health.framesAccepted;
        else if (bytes.at(0) == '\xf0')
            ++m_health.checksumErrors;
    });
    connect(tap, &SerialTap::errorOccurred, this,
            [this](const QString &device, SerialPort::Error error, const QString &reason) {
                if (device != m_device)
                    return;
                m_lineError = error;
                m_lineReason = reason;
            });
    connect(tap, &SerialTap::lineStateChanged, this, [this](const QString &device, bool up) {
        if (device != m_device)
            return;
        if (!up)
            ++m_health.lineLosses;
        if (m_printer)
            m_printer->lineChanged(up, m_lineReason);
        emit lineStateChanged(up, m_lineReason);
    });
    connect(tap, &SerialTap::dropped, this, [this](const QString &device) {
        if (device == m_device)
            ++m_health.droppedWrites;
    });
    connect(tap, &SerialTap::received, this, [this](const QString &device, const QByteArray &chunk) {
        if (device == m_device)
            m_health.bytesReceived += chunk.size();
    });
}

// Every frame both ways: what the box sent, cut into frames as a receiver does, and every write of
// the head unit, which is always one whole frame or one acknowledgement byte.
void Session::watchFrames()
{
    using canservice::SerialTap;
    SerialTap *tap = SerialTap::instance();
    connect(tap, &SerialTap::received, this, [this](const QString &device, const QByteArray &chunk) {
        if (device != m_device)
            return;
        m_scanner.feed(chunk, m_printer->clockMs(),
                       [this](const canbox::FrameScanner::Item &item) { frameSeen(true, item); });
    });
    connect(tap, &SerialTap::written, this, [this](const QString &device, const QByteArray &bytes) {
        if (device != m_device || bytes.isEmpty())
            return;
        canbox::FrameScanner outbound;
        outbound.feed(bytes, 0, [this](const canbox::FrameScanner::Item &item) { frameSeen(false, item); });
        outbound.flush([this](const canbox::FrameScanner::Item &item) { frameSeen(false, item); });
    });
}

void Session::frameSeen(bool inbound, const canbox::FrameScanner::Item &item)
{
    if (m_options.printer.frames)
        m_printer->frame(inbound, item);
    if (m_options.pcapng.isEmpty() || m_pcapngFailed)
        return;
    const qint64 us = m_options.pcapngEpochUs + qint64(std::llround(m_printer->clockSeconds() * 1e6));
    if (!m_pcapng.write(us, inbound, item.bytes)) {
        m_pcapngFailed = true;
        tool::err() << "canservice: writing the pcapng file " << m_options.pcapng
                    << " failed: " << m_pcapng.errorString() << '\n';
    }
}
