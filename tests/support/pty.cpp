#include "pty.h"

#include <QElapsedTimer>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace testsupport {

Pty::Pty()
{
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
        slave = QString::fromLocal8Bit(ptsname(master));
}

void Pty::close()
{
    if (master >= 0)
        ::close(master);
    master = -1;
}

bool Pty::send(const QByteArray &bytes) const
{
    return ::write(master, bytes.constData(), size_t(bytes.size())) == ssize_t(bytes.size());
}

QByteArray Pty::readAvailable() const
{
    QByteArray got;
    char buf[256];
    ssize_t n;
    while ((n = ::read(master, buf, sizeof buf)) > 0)
        got.append(buf, int(n));
    return got;
}

QByteArray Pty::readUntil(int expected, bool *closed) const
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < expected && clock.elapsed() < 5000) {
        char buf[256];
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n > 0) {
            got.append(buf, int(n));
        } else if (n < 0 && errno != EAGAIN) {
            if (closed)
                *closed = true;
            break;
        } else {
            QTest::qWait(5);
        }
    }
    return got;
}

} // namespace testsupport
