#include "boxline.h"

#include "virtualserialline.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace tool {

BoxLine::BoxLine(QObject *parent) : QObject(parent) { }

BoxLine::~BoxLine()
{
    // What the box still had to say goes out if the head unit's end takes it at once.
    if (m_master >= 0 && !m_pending.isEmpty())
        writeMaster();
    if (m_master >= 0)
        ::close(m_master);
    if (m_slaveKeeper >= 0)
        ::close(m_slaveKeeper);
}

BoxLine *BoxLine::createPty(QString *error, QObject *parent)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        *error = QStringLiteral("Cannot create a pseudo-terminal: %1.")
                         .arg(QString::fromLocal8Bit(std::strerror(errno)));
        if (master >= 0)
            ::close(master);
        return nullptr;
    }
    auto *line = new BoxLine(parent);
    line->m_master = master;
    line->m_deviceName = QString::fromLocal8Bit(::ptsname(master));

    // Hold the slave open in raw mode: no echo of what the box sends before the head unit has
    // opened it, and the line survives the head unit closing and opening it again.
    line->m_slaveKeeper = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    if (line->m_slaveKeeper >= 0) {
        termios raw;
        if (::tcgetattr(line->m_slaveKeeper, &raw) == 0) {
            ::cfmakeraw(&raw);
            ::tcsetattr(line->m_slaveKeeper, TCSANOW, &raw);
        }
    }

    line->m_readNotifier = new QSocketNotifier(master, QSocketNotifier::Read, line);
    connect(line->m_readNotifier, &QSocketNotifier::activated, line, &BoxLine::readMaster);
    line->m_writeNotifier = new QSocketNotifier(master, QSocketNotifier::Write, line);
    line->m_writeNotifier->setEnabled(false);
    connect(line->m_writeNotifier, &QSocketNotifier::activated, line, &BoxLine::flushMaster);
    return line;
}

BoxLine *BoxLine::openDevice(const QString &device, canservice::SerialPort::Error *error,
                             QString *reason, QObject *parent)
{
    auto *line = new BoxLine(parent);
    line->m_deviceName = device;
    line->m_serial = new canservice::SerialPort(line);
    if (!line->m_serial->open(device, 38400)) {
        *error = line->m_serial->error();
        *reason = line->m_serial->errorString();
        delete line;
        return nullptr;
    }
    connect(line->m_serial, &canservice::SerialPort::read, line, &BoxLine::received);
    connect(line->m_serial, &canservice::SerialPort::lineStateChanged, line, &BoxLine::lineStateChanged);
    return line;
}

BoxLine *BoxLine::attach(canservice::VirtualSerialLine *line, QObject *parent)
{
    auto *box = new BoxLine(parent);
    box->m_deviceName = QStringLiteral("virtual:") + line->name();
    box->m_virtual = line;
    connect(line, &canservice::VirtualSerialLine::written, box, &BoxLine::received, Qt::QueuedConnection);
    return box;
}

bool BoxLine::write(const QByteArray &bytes)
{
    if (m_virtual) {
        QMetaObject::invokeMethod(m_virtual, [line = m_virtual, bytes] { line->deliver(bytes); },
                                  Qt::QueuedConnection);
    } else if (m_serial) {
        if (m_serial->writeData(bytes, false) < 0)
            return false;
    } else {
        m_pending += bytes;
        flushMaster();
        return true;
    }
    m_taken += bytes.size();
    emit taken();
    return true;
}

void BoxLine::flushMaster()
{
    const qint64 took = writeMaster();
    m_writeNotifier->setEnabled(!m_pending.isEmpty());
    if (took > 0)
        emit taken();
}

qint64 BoxLine::writeMaster()
{
    qint64 took = 0;
    while (!m_pending.isEmpty()) {
        const ssize_t n = ::write(m_master, m_pending.constData(), size_t(m_pending.size()));
        if (n <= 0)
            break;
        m_pending.remove(0, int(n));
        took += n;
    }
    m_taken += took;
    return took;
}

void BoxLine::readMaster()
{
    char buffer[4096];
    const ssize_t n = ::read(m_master, buffer, sizeof buffer);
    if (n > 0)
        emit received(QByteArray(buffer, int(n)));
}

} // namespace tool
