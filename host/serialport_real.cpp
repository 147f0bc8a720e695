#include "serialport_real_p.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace canservice {

Q_LOGGING_CATEGORY(lcSerialLock, "canservice.serial.lock")

namespace {
// Where programs that share serial devices leave their lock files, as QSerialPort looks for them.
const char *const LockDirectories[] = {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp",
                                       "/tmp", "/var/tmp", "/var/lock/lockdev", "/run/lock"};

// A lock file that names no running program (empty, unreadable as a number, or a process that
// is gone, as after a crash or a power cut) holds the device for nobody: it is taken over, with
// one warning, instead of keeping the device busy for ever.
void removeStaleLocks(const QString &canonicalDevice)
{
    QString name = canonicalDevice;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char *dir : LockDirectories) {
        const QString path = QString::fromLatin1(dir) + QStringLiteral("/LCK..") + name;
        QFile lock(path);
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        bool ok = false;
        const qint64 pid = lock.read(64).trimmed().split('\n').value(0).trimmed().toLongLong(&ok);
        lock.close();
        const bool alive = ok && pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
        if (alive)
            continue;
        if (QFile::remove(path))
            qCWarning(lcSerialLock).noquote()
                    << QStringLiteral("canservice: the lock file %1 named no running program (%2); "
                                      "it was removed and the device is taken")
                               .arg(path, ok ? QStringLiteral("process %1 is gone").arg(pid)
                                             : QStringLiteral("it is empty or unreadable"));
    }
}

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
} // namespace

RealSerialLine::RealSerialLine(QObject *parent) : SerialBackend(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, [this] {
        const QByteArray chunk = m_port.readAll();
        if (chunk.isEmpty())
            return;
        // What is written while the chunk is handled (an acknowledgement for every frame in it)
        // leaves in one system call once it has been: the same bytes in the same order, a few
        // microseconds later.
        m_holding = true;
        received(chunk);
        m_holding = false;
        writeHeld();
    });
    m_held.reserve(64);
    connect(&m_port, &QSerialPort::errorOccurred, this, &RealSerialLine::onError);
    // Putting the old settings back on close would change the line speed under bytes that the
    // UART has not sent yet; the line is the box's alone, so it keeps its settings.
    // Qt 5.15 marks the setter deprecated without offering another way to say this.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    m_port.setSettingsRestoredOnClose(false);
    QT_WARNING_POP
}

bool RealSerialLine::open(const QString &device, int baudRate)
{
    m_error = SerialPort::NoError;
    m_errorString.clear();
    m_device = device;
    // Locks go by the device's own path, so that a link to a device is the same device; the link
    // is followed again at every open, as udev moves it when an adapter comes back.
    const QFileInfo node(device);
    const QString canonical = node.exists() ? node.canonicalFilePath() : device;
    removeStaleLocks(canonical);
    m_port.setPortName(canonical);
    if (!m_port.open(QIODevice::ReadWrite)) {
        failOpen(m_port.error());
        return false;
    }
    // Settings after open: QSerialPort applies them to the open descriptor. A pseudo-terminal
    // accepts them like a UART does.
    const bool configured = m_port.setBaudRate(baudRate) && m_port.setDataBits(QSerialPort::Data8)
            && m_port.setParity(QSerialPort::NoParity) && m_port.setStopBits(QSerialPort::OneStop)
            && m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        m_error = SerialPort::NotSerialDeviceError;
        m_errorString = m_port.errorString();
        m_port.close();
        return false;
    }
    return true;
}

// QSerialPort tells what failed but not always why: a held lock reads as a permission error and
// its text then blames permission. The device node itself tells the cases apart.
void RealSerialLine::failOpen(QSerialPort::SerialPortError error)
{
    const QByteArray path = m_device.toLocal8Bit();
    struct stat node = {};
    if (::stat(path.constData(), &node) != 0) {
        const int reason = errno;
        m_error = reason == EACCES ? SerialPort::PermissionError : SerialPort::DeviceNotFoundError;
        m_errorString = systemText(reason);
    } else if (!S_ISCHR(node.st_mode)) {
        m_error = SerialPort::NotSerialDeviceError;
        m_errorString = systemText(S_ISDIR(node.st_mode) ? EISDIR : ENOTTY);
    } else if (::access(path.constData(), R_OK | W_OK) != 0) {
        const int reason = errno;
        m_error = SerialPort::PermissionError;
        m_errorString = systemText(reason);
    } else if (error == QSerialPort::PermissionError) {
        // Allowed to open it, yet refused: another program holds the device.
        m_error = SerialPort::BusyError;
        m_errorString = systemText(EBUSY);
    } else if (error == QSerialPort::UnsupportedOperationError) {
        m_error = SerialPort::NotSerialDeviceError;
        m_errorString = systemText(ENOTTY);
    } else {
        m_error = error == QSerialPort::DeviceNotFoundError ? SerialPort::DeviceNotFoundError
                                                            : SerialPort::UnknownError;
        m_errorString = m_port.errorString();
    }
}

qint64 RealSerialLine::write(const QByteArray &data, bool flag)
{
    Q_UNUSED(flag)
    if (!m_port.isOpen())
        return -1;
    if (m_holding) {
        m_held.append(data);
        return data.size();
    }
    return writeNow(data.constData(), data.size());
}

void RealSerialLine::writeHeld()
{
    if (m_held.isEmpty())
        return;
    if (m_port.isOpen())
        writeNow(m_held.constData(), m_held.size());
    m_held.resize(0); // keeps its capacity: reserved
}

// With nothing queued, the bytes go straight to the descriptor: an acknowledgement would
// otherwise cost a trip through the event loop for QSerialPort's write notifier. What the
// descriptor does not take now is queued behind, in order.
qint64 RealSerialLine::writeNow(const char *data, qint64 size)
{
    if (m_port.bytesToWrite() == 0 && size > 0) {
        const ssize_t n = ::write(int(m_port.handle()), data, size_t(size));
        if (n == size)
            return n;
        if (n > 0)
            return m_port.write(data + n, size - n) < 0 ? -1 : size;
    }
    return m_port.write(data, size);
}

// QSerialPort queues writes until the event loop runs again, and close() throws the queue away:
// the stop command a service writes just before closing would never leave. Wait for the queue,
// within a bound, so a dead line cannot hang the head unit.
void RealSerialLine::close()
{
    if (!m_port.isOpen())
        return;
    // Closed while a chunk is handled (a stop in a slot): what it wrote goes first.
    m_holding = false;
    writeHeld();
    QElapsedTimer clock;
    clock.start();
    while (m_port.bytesToWrite() > 0) {
        const qint64 left = SerialPort::FlushTimeoutMs - clock.elapsed();
        if (left <= 0 || !m_port.waitForBytesWritten(int(left)))
            break;
    }
    if (const qint64 unsent = m_port.bytesToWrite(); unsent > 0)
        qCWarning(lcSerialLine).noquote()
                << QStringLiteral("canservice: serial device %1 took no more bytes within %2 ms; "
                                  "%3 bytes were not sent")
                           .arg(m_device)
                           .arg(SerialPort::FlushTimeoutMs)
                           .arg(unsent);
    m_port.close();
}

bool RealSerialLine::isOpen() const
{
    return m_port.isOpen();
}

void RealSerialLine::onError(QSerialPort::SerialPortError error)
{
    // A device that vanished (an adapter pulled out, the far end of a pseudo-terminal closed)
    // shows as read, write or resource errors that repeat for as long as the port stays open:
    // close it once and say so once.
    if ((error != QSerialPort::ResourceError && error != QSerialPort::ReadError
         && error != QSerialPort::WriteError)
        || !m_port.isOpen())
        return;
    // QSerialPort's text carries a stale errno here; a read on the descriptor tells the real
    // reason. A terminal that was hung up (a removed adapter, a closed pseudo-terminal master)
    // reads as end of file; other failures leave their errno.
    // What the device sent before it went is still in the descriptor: it is delivered first.
    char buffer[4096];
    ssize_t n;
    int reason = 0;
    do {
        n = ::read(int(m_port.handle()), buffer, sizeof buffer);
        reason = errno;
        if (n > 0)
            received(QByteArray(buffer, int(n)));
    } while (n > 0 && m_port.isOpen());
    QString why;
    if (n < 0 && reason != EAGAIN)
        why = systemText(reason);
    else if (n == 0)
        why = QStringLiteral("the device hung up");
    else
        why = m_port.errorString();
    if (!m_port.isOpen())
        return;
    m_port.clearError();
    m_port.close();
    m_error = SerialPort::DeviceLostError;
    m_errorString = why;
    emit lost(m_error, why);
}

} // namespace canservice
