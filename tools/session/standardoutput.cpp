#include "standardoutput.h"

#include "interrupt.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tool {

StandardOutput &StandardOutput::instance()
{
    // Never destroyed: what is written as the program ends still has somewhere to go.
    static StandardOutput *const output = new StandardOutput(STDOUT_FILENO);
    return *output;
}

StandardOutput &StandardOutput::error()
{
    static StandardOutput *const output = new StandardOutput(STDERR_FILENO);
    return *output;
}

StandardOutput::StandardOutput(int fd, QObject *parent) : QIODevice(parent), m_fd(fd)
{
    struct stat node = {};
    const bool known = ::fstat(fd, &node) == 0;
    m_regular = known && (S_ISREG(node.st_mode) || S_ISBLK(node.st_mode));
    m_socket = known && S_ISSOCK(node.st_mode);
    if (known && !m_regular && !m_socket) {
        // A pipe or a terminal, opened again: a description of our own, so that non-blocking
        // writes change nothing for the others that share the old one.
        const QByteArray path = "/proc/self/fd/" + QByteArray::number(fd);
        const int own = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (own >= 0) {
            m_fd = own;
            m_ownFd = true;
        }
    }
    QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

StandardOutput::~StandardOutput()
{
    if (m_ownFd)
        ::close(m_fd);
}

qint64 StandardOutput::writeData(const char *data, qint64 size)
{
    if (m_failed)
        return -1;
    if (m_live && m_queue.size() + size > QueueLimit) {
        m_droppedLines += std::count(data, data + size, '\n');
        return size;
    }
    m_queue.append(data, int(size));
    if (!writeSome())
        return -1;
    // From a file the reader is waited for, but never after a signal to end: the run is ending.
    while (!m_live && m_queue.size() > QueueLimit) {
        if (!waitForReader()) {
            m_unwrittenLines += m_queue.count('\n');
            m_queue.clear();
            break;
        }
        if (!writeSome())
            return -1;
    }
    return size;
}

bool StandardOutput::drain()
{
    QElapsedTimer waited;
    waited.start();
    while (!m_queue.isEmpty() && !m_failed) {
        if (!writeSome())
            return false;
        // A live run's reader gets a moment to take the end; one from a file is waited for.
        if (!m_queue.isEmpty() && (!waitForReader() || (m_live && waited.elapsed() > LiveEndMs))) {
            m_unwrittenLines += m_queue.count('\n');
            m_queue.clear();
            return false;
        }
    }
    return !m_failed;
}

bool StandardOutput::writeSome()
{
    const char *data = m_queue.constData();
    qint64 left = m_queue.size();
    while (left > 0) {
        // A socket (a service's journal) is asked not to wait on each write.
        const ssize_t n = m_socket ? ::send(m_fd, data, size_t(left), MSG_DONTWAIT) : ::write(m_fd, data, size_t(left));
        if (n > 0) {
            data += n;
            left -= n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // The reader went away (EPIPE, said by SIGPIPE too), or a disk is full.
        setErrorString(QString::fromLocal8Bit(std::strerror(n < 0 ? errno : EIO)));
        m_failed = true;
        m_queue.clear();
        watch(false);
        return false;
    }
    m_queue.remove(0, m_queue.size() - int(left));
    watch(!m_queue.isEmpty());
    return true;
}

bool StandardOutput::waitForReader()
{
    for (;;) {
        if (Interrupt::requests() > 0)
            return false;
        pollfd reader = {m_fd, POLLOUT, 0};
        if (::poll(&reader, 1, 100) == 1)
            return true;
    }
}

void StandardOutput::watch(bool on)
{
    if (!m_notifier) {
        if (!on || !QCoreApplication::instance() || !QAbstractEventDispatcher::instance())
            return;
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { writeSome(); });
    }
    m_notifier->setEnabled(on);
}

} // namespace tool
