#include "serialport_real_p.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QLoggingCategory>
#include <QSysInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace canservice {

Q_LOGGING_CATEGORY(lcSerialLock, "canservice.serial.lock")

namespace {
// Where programs that share serial devices leave their lock files, in the order QSerialPort
// looks: the first folder this user can read that holds the device's lock or takes new files.
const char *const LockDirectories[] = {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp",
                                       "/tmp", "/var/tmp", "/var/lock/lockdev", "/run/lock"};

// QLockFile's age for a lock that names nobody to count as stale.
const qint64 StaleEmptyLockMs = 30000;

QString lockPathOf(const QString &canonicalDevice)
{
    QString name = canonicalDevice;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char *dir : LockDirectories) {
        const QFileInfo folder(QString::fromLatin1(dir));
        const QString path = folder.filePath() + QStringLiteral("/LCK..") + name;
        if (folder.isReadable() && (QFileInfo::exists(path) || folder.isWritable()))
            return path;
    }
    return QString();
}

// Who a device's lock file names. QSerialPort takes the lock with QLockFile, which removes a lock
// whose program is gone when this user may; the rest is for telling the user who holds the device.
struct LockHolder
{
    bool present = false;
    qint64 ageMs = 0;
    bool named = false; // the lock names a process on this machine
    qint64 pid = 0;
    QString program;    // empty in the older form, which holds only the process number
    QString user;

    // Whether the process the lock names still runs: a process of another user that may not be
    // signalled runs too.
    bool alive() const { return named && (::kill(pid_t(pid), 0) == 0 || errno == EPERM); }
    // As QLockFile judges it: the process is gone, or its number now belongs to another program.
    bool gone() const
    {
        if (!named)
            return false;
        if (!alive())
            return true;
        const QString running = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
        return !program.isEmpty() && !running.isEmpty()
                && QFileInfo(running).fileName() != QFileInfo(program).fileName();
    }
    QString describe() const
    {
        return QStringLiteral("process %1%2 of user %3")
                .arg(pid)
                .arg(program.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(program),
                     user.isEmpty() ? QStringLiteral("unknown") : user);
    }
    // Why it holds nobody: its process ended, or its number now belongs to another program.
    QString why() const
    {
        return alive() ? QStringLiteral("whose number now belongs to another program") : QStringLiteral("which is gone");
    }
};

LockHolder holderOf(const QString &lockPath)
{
    LockHolder holder;
    if (lockPath.isEmpty() || !QFileInfo::exists(lockPath))
        return holder;
    holder.present = true;
    holder.user = QFileInfo(lockPath).owner();
    holder.ageMs = QFileInfo(lockPath).lastModified().msecsTo(QDateTime::currentDateTime());
    // The process number as the first line holds it, spaces and all: QLockFile drops the line's
    // last character, which is a digit when an older-form lock has no newline.
    QFile file(lockPath);
    if (!file.open(QIODevice::ReadOnly))
        return holder;
    bool number = false;
    holder.pid = file.readLine(64).trimmed().toLongLong(&number);
    file.close();
    QString host;
    qint64 chopped = 0;
    const QLockFile lock(lockPath);
    lock.getLockInfo(&chopped, &host, &holder.program);
    holder.named = number && holder.pid > 0 && (host.isEmpty() || host == QSysInfo::machineHostName());
    return holder;
}

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
} // namespace

RealSerialLine::RealSerialLine(QObject *parent) : SerialBackend(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, [this] {
        // Exactly what has come, into the chunk kept from the last time: no allocation while its
        // receivers keep no copy. (readAll() sized a buffer of 16 kB or more a chunk, grew it again
        // to find the end, and shrank it.) Taken out while it is handled, so that a chunk
        // read meanwhile gets a buffer of its own.
        const qint64 available = m_port.bytesAvailable();
        if (available <= 0)
            return;
        QByteArray chunk = std::move(m_chunk);
        chunk.resize(int(available));
        chunk.resize(int(qMax<qint64>(0, m_port.read(chunk.data(), available))));
        if (chunk.isEmpty())
            return;
        // What is written while the chunk is handled (an acknowledgement for every frame in it)
        // leaves in one system call once it has been: the same bytes in the same order, a few
        // microseconds later.
        m_holding = true;
        received(chunk);
        m_holding = false;
        writeHeld();
        m_chunk = std::move(chunk);
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
    m_lockPath = lockPathOf(canonical);
    const LockHolder before = holderOf(m_lockPath);
    // QLockFile takes a lock in the older form (a process number alone) for stale even while its
    // process runs, since it cannot compare program names: such a lock is never taken over.
    if (before.named && before.program.isEmpty() && before.alive()) {
        m_error = SerialPort::BusyError;
        m_errorString = QStringLiteral("%1 holds its lock %2").arg(before.describe(), m_lockPath);
        return false;
    }
    m_port.setPortName(canonical);
    if (!m_port.open(QIODevice::ReadWrite)) {
        failOpen(m_port.error());
        return false;
    }
    if (before.gone())
        qCWarning(lcSerialLock).noquote()
                << QStringLiteral("canservice: the lock file %1 named %2, %3; the device is taken over")
                           .arg(m_lockPath, before.describe(), before.why());
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
        // Allowed to open it, yet refused: its lock is held, or was left by a program that is gone
        // and may not be removed by this user (another user's, in a sticky folder).
        const LockHolder holder = holderOf(m_lockPath);
        if (holder.gone()) {
            m_error = SerialPort::StaleLockError;
            m_errorString = QStringLiteral("its lock %1 names %2, %3, and this user may not remove it")
                                    .arg(m_lockPath, holder.describe(), holder.why());
        } else if (holder.present && !holder.named && holder.ageMs > StaleEmptyLockMs) {
            // Empty or unreadable, as a program that died while writing it leaves it: Qt takes such
            // a lock for stale after 30 s, when this user may remove it.
            m_error = SerialPort::StaleLockError;
            m_errorString = QStringLiteral("its lock %1 of user %2 names no process and is older than 30 s, and this "
                                           "user may not remove it")
                                    .arg(m_lockPath, holder.user);
        } else if (holder.present && !holder.named) {
            m_error = SerialPort::BusyError;
            m_errorString = QStringLiteral("its lock %1 names no process yet; it counts as left behind after 30 s")
                                    .arg(m_lockPath);
        } else {
            m_error = SerialPort::BusyError;
            m_errorString = holder.named ? QStringLiteral("%1 holds its lock %2").arg(holder.describe(), m_lockPath)
                                         : QStringLiteral("another program has it open");
        }
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
