#include "interrupt.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tool {

int Interrupt::s_fds[2] = {-1, -1};

namespace {
volatile sig_atomic_t requestCount = 0;
volatile sig_atomic_t brokenPipe = 0;
const char RequestByte = 1;
const char PipeByte = 2;
} // namespace

void Interrupt::catchSignals()
{
    if (s_fds[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, s_fds) != 0)
        return;
    // The handler never blocks: a full pair has enough bytes in it already.
    ::fcntl(s_fds[0], F_SETFL, O_NONBLOCK);
    struct sigaction action = {};
    action.sa_handler = &Interrupt::handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    // A reader that went away makes the write fail with EPIPE rather than end the tool unheard.
    action.sa_handler = &Interrupt::pipeHandler;
    ::sigaction(SIGPIPE, &action, nullptr);
    // Whatever the starter blocked, these are the tool's to take; one already pending comes now.
    sigset_t mine;
    sigemptyset(&mine);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        sigaddset(&mine, signal);
    ::sigprocmask(SIG_UNBLOCK, &mine, nullptr);
}

Interrupt::Interrupt(QObject *parent) : QObject(parent)
{
    catchSignals();
    if (s_fds[1] < 0)
        return;
    // A signal that came before is waiting in the pair, and is heard as soon as the loop runs.
    m_notifier = new QSocketNotifier(s_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        m_notifier->setEnabled(false);
        char byte;
        if (::read(s_fds[1], &byte, 1) == 1) {
            if (byte == RequestByte)
                emit requested();
            else if (outputGone())
                emit outputLost();
        }
        m_notifier->setEnabled(true);
    });
}

// The signals stay caught: one that comes while the tool winds down waits, unheard, and the tool
// ends as it was ending.
Interrupt::~Interrupt() = default;

int Interrupt::requests()
{
    return requestCount;
}

bool Interrupt::pipeBroke()
{
    return brokenPipe != 0;
}

bool Interrupt::outputGone()
{
    pollfd out = {STDOUT_FILENO, POLLOUT, 0};
    return ::poll(&out, 1, 0) == 1 && (out.revents & POLLERR);
}

void Interrupt::handler(int)
{
    // Nothing but async-signal-safe work here.
    requestCount = requestCount + 1;
    [[maybe_unused]] const ssize_t n = ::write(s_fds[0], &RequestByte, 1);
}

void Interrupt::pipeHandler(int)
{
    brokenPipe = 1;
    [[maybe_unused]] const ssize_t n = ::write(s_fds[0], &PipeByte, 1);
}

} // namespace tool
