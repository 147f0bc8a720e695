#include "serialport.h"

#include "configmanager.h"
#include "serialport_real_p.h"
#include "serialtap.h"
#include "virtualserialline.h"

#include <QMetaMethod>
#include <QTimer>

namespace canservice {

Q_LOGGING_CATEGORY(lcSerialLine, "canservice.serial")

namespace {
const QLatin1String virtualPrefix("virtual:");
}

SerialBackend::~SerialBackend() = default;

// Never destroyed, for the same reason as the in-process lines: ports may close at exit.
SerialTap *SerialTap::instance()
{
    static auto *tap = new SerialTap;
    return tap;
}

bool SerialTap::hears(Kind kind) const
{
    static const QMetaMethod received = QMetaMethod::fromSignal(&SerialTap::received);
    static const QMetaMethod written = QMetaMethod::fromSignal(&SerialTap::written);
    return isSignalConnected(kind == Received ? received : written);
}

void SerialTap::connectNotify(const QMetaMethod &signal)
{
    if (signal == QMetaMethod::fromSignal(&SerialTap::received))
        ++m_receivedListeners;
    else if (signal == QMetaMethod::fromSignal(&SerialTap::written))
        ++m_writtenListeners;
}

SerialPort::SerialPort(QObject *parent) : QObject(parent), m_tap(SerialTap::instance())
{
    qRegisterMetaType<SerialPort::Error>("canservice::SerialPort::Error");
    m_retryTimer = new QTimer(this);
    m_retryTimer->setSingleShot(true);
    connect(m_retryTimer, &QTimer::timeout, this, &SerialPort::retryOpen);
}

SerialPort::~SerialPort()
{
    close();
}

bool SerialPort::open(const QString &device, int baudRate)
{
    close();
    m_backend.reset();
    m_baudRate = baudRate;
    m_retryDelay = FirstRetryMs;

    m_device = device.isEmpty() ? ConfigManager::instance()->serialDevice() : device;
    if (m_device.isEmpty()) {
        qCWarning(lcSerialLine).noquote()
                << "canservice: no serial device configured; set CANSERVICE_SERIAL_DEVICE to the"
                << "CAN box's line (for example /dev/ttyUSB0)";
        setError(NotConfiguredError, QStringLiteral("no serial device configured"));
        return false;
    }

    if (m_device.startsWith(virtualPrefix)) {
        m_backend = std::make_unique<VirtualSerialLine>(m_device.mid(virtualPrefix.size()));
    } else {
        m_backend = std::make_unique<RealSerialLine>();
        connect(m_backend.get(), &SerialBackend::lost, this, &SerialPort::lineLost);
    }
    m_backend->setReceiver(this);

    if (!m_backend->open(m_device, baudRate)) {
        qCWarning(lcSerialLine).noquote()
                << QStringLiteral("canservice: cannot open serial device %1: %2; trying again "
                                  "until it can be opened")
                           .arg(m_device, m_backend->errorString());
        m_down = true;
        setError(m_backend->error(), m_backend->errorString());
        m_retryTimer->start(m_retryDelay);
        return false;
    }
    m_error = NoError;
    m_errorString.clear();
    return true;
}

qint64 SerialPort::writeData(const QByteArray &data, bool flag)
{
    // A closed backend refuses the write: one call for the common case, an open line.
    const qint64 written = m_backend ? m_backend->write(data, flag) : -1;
    if (Q_UNLIKELY(written < 0 || m_tap->hearsWritten()))
        return wrote(data, flag, written);
    return written;
}

// What a write tells the tap: refused while the line is down, or written.
qint64 SerialPort::wrote(const QByteArray &data, bool flag, qint64 written)
{
    if (written >= 0) {
        emit m_tap->written(m_device, data, flag);
        return written;
    }
    if (m_down) {
        ++m_droppedWrites;
        emit m_tap->dropped(m_device, data);
    }
    return -1;
}

void SerialPort::close()
{
    m_retryTimer->stop();
    m_down = false;
    if (m_backend)
        m_backend->close();
}

bool SerialPort::isOpen() const
{
    return m_backend && m_backend->isOpen();
}

QString SerialPort::deviceName() const
{
    return m_device;
}

void SerialPort::setError(Error error, const QString &reason)
{
    m_error = error;
    m_errorString = reason;
    emit errorOccurred(error);
    emit m_tap->errorOccurred(m_device, error, reason);
}

void SerialPort::lineLost(Error error, const QString &reason)
{
    qCWarning(lcSerialLine).noquote()
            << QStringLiteral("canservice: serial device %1 was lost: %2; writes are dropped "
                              "until it is back, trying to open it again")
                       .arg(m_device, reason);
    m_down = true;
    ++m_lineLosses;
    m_retryDelay = FirstRetryMs;
    setError(error, reason);
    emit lineStateChanged(false);
    emit m_tap->lineStateChanged(m_device, false);
    m_retryTimer->start(m_retryDelay);
}

// One attempt per expiry, with the delay doubling: a missing device costs a few system calls a
// few times a second at first and one every five seconds after that.
void SerialPort::retryOpen()
{
    if (!m_down || !m_backend)
        return;
    if (!m_backend->open(m_device, m_baudRate)) {
        m_retryDelay = qMin(m_retryDelay * 2, LastRetryMs);
        m_retryTimer->start(m_retryDelay);
        return;
    }
    qCInfo(lcSerialLine).noquote()
            << QStringLiteral("canservice: serial device %1 is open again").arg(m_device);
    m_down = false;
    m_retryDelay = FirstRetryMs;
    m_error = NoError;
    m_errorString.clear();
    emit lineStateChanged(true);
    emit m_tap->lineStateChanged(m_device, true);
}

} // namespace canservice
