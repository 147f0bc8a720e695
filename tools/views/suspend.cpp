#include "suspend.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tool {

int Suspend::s_fds[2] = {-1, -1};

void Suspend::catchStop()
{
    struct sigaction action = {};
    action.sa_handler = &Suspend::handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTSTP, &action, nullptr);
}

Suspend::Suspend(QObject *parent) : QObject(parent)
{
    if (s_fds[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, s_fds) != 0)
        return;
    ::fcntl(s_fds[0], F_SETFL, O_NONBLOCK);
    catchStop();
    m_notifier = new QSocketNotifier(s_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &Suspend::stop);
}

Suspend::~Suspend()
{
    ::signal(SIGTSTP, SIG_DFL);
}

void Suspend::stop()
{
    char byte;
    if (::read(s_fds[1], &byte, 1) != 1)
        return;
    emit suspending();
    // Stopped as the terminal asked, by the default action; the call returns when continued.
    ::signal(SIGTSTP, SIG_DFL);
    ::raise(SIGTSTP);
    catchStop();
    emit resumed();
}

void Suspend::handler(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(s_fds[0], &byte, 1);
}

} // namespace tool
