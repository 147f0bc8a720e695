#include "interrupt.h"

#include <QSocketNotifier>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

int Interrupt::s_fds[2] = {-1, -1};

Interrupt::Interrupt(QObject *parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, s_fds) != 0)
        return;
    m_notifier = new QSocketNotifier(s_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        m_notifier->setEnabled(false);
        char byte;
        if (::read(s_fds[1], &byte, 1) == 1)
            emit requested();
        m_notifier->setEnabled(true);
    });

    struct sigaction action = {};
    action.sa_handler = &Interrupt::handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

Interrupt::~Interrupt()
{
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    for (int &fd : s_fds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void Interrupt::handler(int)
{
    const char byte = 1;
    // Nothing but an async-signal-safe write here.
    [[maybe_unused]] const ssize_t n = ::write(s_fds[0], &byte, 1);
}
