#include "serialport.h"

#include "configmanager.h"
#include "serialport_p.h"
#include "serialport_real_p.h"
#include "virtualserialline_p.h"

#include <QMetaMethod>
#include <QTimer>

namespace canservice {

Q_LOGGING_CATEGORY(lcSerialLine, "canservice.serial")

namespace {
const QLatin1String virtualPrefix("virtual:");
} // namespace

SerialBackend::~SerialBackend() = default;

SerialPort::SerialPort(QObject *parent) : QObject(parent), d(std::make_unique<SerialPortPrivate>(this))
{
    qRegisterMetaType<SerialPort::Error>("canservice::SerialPort::Error");
    d->retryTimer = new QTimer(this);
    d->retryTimer->setSingleShot(true);
    connect(d->retryTimer, &QTimer::timeout, this, [this] { d->retryOpen(); });
}

SerialPort::~SerialPort()
{
    close();
}

bool SerialPort::open(const QString &device, int baudRate)
{
    close();
    d->backend = nullptr;
    d->line.reset();
    d->baudRate = baudRate;
    d->retryDelay = FirstRetryMs;

    const bool configured = device.isEmpty();
    d->device = configured ? ConfigManager::instance()->serialDevice() : device;
    if (d->device.isEmpty()) {
        qCWarning(lcSerialLine).noquote()
                << "canservice: no serial device configured; set CANSERVICE_SERIAL_DEVICE to the"
                << "CAN box's line (for example /dev/ttyUSB0)";
        d->setError(NotConfiguredError, QStringLiteral("no serial device configured"));
        return false;
    }

    if (d->device.startsWith(virtualPrefix)) {
        std::unique_ptr<VirtualSerialLine> line =
                VirtualSerialLinePrivate::create(d->device.mid(virtualPrefix.size()));
        d->backend = VirtualSerialLinePrivate::get(line.get());
        d->line = std::move(line);
    } else {
        auto line = std::make_unique<RealSerialLine>();
        connect(line.get(), &SerialBackend::lost, this,
                [this](Error error, const QString &reason) { d->lineLost(error, reason); });
        d->backend = line.get();
        d->line = std::move(line);
    }
    d->backend->setReceiver(d.get());

    const bool opened = d->backend->open(d->device, baudRate);
    if (!opened) {
        qCWarning(lcSerialLine).noquote()
                << QStringLiteral("canservice: cannot open serial device %1: %2; trying again "
                                  "until it can be opened")
                           .arg(d->device, d->backend->errorString());
        d->down = true;
        d->setError(d->backend->error(), d->backend->errorString());
        d->retryTimer->start(d->retryDelay);
    } else {
        d->error = NoError;
        d->errorString.clear();
    }
    // The watcher learns of the port once it is what it will be: open, or retrying with its error.
    if (configured) {
        if (const ConfigManager::PortWatcher watcher = ConfigManager::instance()->portWatcher())
            watcher(this);
    }
    return opened;
}

qint64 SerialPort::writeData(const QByteArray &data, bool flag)
{
    // A closed backend refuses the write: one call for the common case, an open line.
    const qint64 written = d->backend ? d->backend->write(data, flag) : -1;
    if (Q_UNLIKELY(written < 0 || d->hearsWritten()))
        return d->wrote(data, flag, written);
    return written;
}

// What a write tells the recorders: refused while the line is down, or written.
qint64 SerialPortPrivate::wrote(const QByteArray &data, bool flag, qint64 written)
{
    if (written >= 0) {
        emit q->written(data, flag);
        return written;
    }
    if (down) {
        ++droppedWrites;
        emit q->dropped(data);
    }
    return -1;
}

void SerialPort::close()
{
    d->retryTimer->stop();
    d->down = false;
    if (d->backend)
        d->backend->close();
}

bool SerialPort::isOpen() const
{
    return d->backend && d->backend->isOpen();
}

QString SerialPort::deviceName() const
{
    return d->device;
}

SerialPort::Error SerialPort::error() const
{
    return d->error;
}

QString SerialPort::errorString() const
{
    return d->errorString;
}

qint64 SerialPort::droppedWrites() const
{
    return d->droppedWrites;
}

VirtualSerialLine *SerialPort::virtualLine() const
{
    return d->device.startsWith(virtualPrefix) ? static_cast<VirtualSerialLine *>(d->line.get()) : nullptr;
}

void SerialPort::connectNotify(const QMetaMethod &signal)
{
    if (signal == QMetaMethod::fromSignal(&SerialPort::received))
        ++d->receivedListeners;
    else if (signal == QMetaMethod::fromSignal(&SerialPort::written))
        ++d->writtenListeners;
}

void SerialPortPrivate::setError(SerialPort::Error error, const QString &reason)
{
    this->error = error;
    errorString = reason;
    emit q->errorOccurred(error);
}

void SerialPortPrivate::lineLost(SerialPort::Error error, const QString &reason)
{
    qCWarning(lcSerialLine).noquote()
            << QStringLiteral("canservice: serial device %1 was lost: %2; writes are dropped "
                              "until it is back, trying to open it again")
                       .arg(device, reason);
    down = true;
    ++lineLosses;
    retryDelay = SerialPort::FirstRetryMs;
    setError(error, reason);
    emit q->lineStateChanged(false);
    retryTimer->start(retryDelay);
}

// One attempt per expiry, with the delay doubling: a missing device costs a few system calls a
// few times a second at first and one every five seconds after that.
void SerialPortPrivate::retryOpen()
{
    if (!down || !backend)
        return;
    if (!backend->open(device, baudRate)) {
        retryDelay = qMin(retryDelay * 2, int(SerialPort::LastRetryMs));
        retryTimer->start(retryDelay);
        return;
    }
    qCInfo(lcSerialLine).noquote()
            << QStringLiteral("canservice: serial device %1 is open again").arg(device);
    down = false;
    retryDelay = SerialPort::FirstRetryMs;
    error = SerialPort::NoError;
    errorString.clear();
    emit q->lineStateChanged(true);
}

} // namespace canservice
