#include "replaythread.h"

#include "captureclock.h"
#include "replayer.h"
#include "virtualserialline.h"

namespace tool {

ReplayThread::ReplayThread(const SessionOptions &options, QFile &capture, CaptureReader &reader, qint64 stopMs)
    : m_options(options), m_capture(capture), m_reader(reader), m_stopMs(stopMs)
{
    setEventDispatcher(new CaptureClock);
}

ReplayThread::~ReplayThread()
{
    if (isRunning()) {
        m_go.release();
        quit();
        wait();
    }
}

Failure ReplayThread::load()
{
    start();
    m_loaded.acquire();
    return m_failure;
}

void ReplayThread::run()
{
    Session session(m_options);
    m_failure = session.load(QStringLiteral("virtual:dashboard"));
    if (m_failure == Failure::None)
        m_session = &session;
    m_loaded.release();
    if (m_failure != Failure::None)
        return;
    m_go.acquire();

    auto *clock = static_cast<CaptureClock *>(eventDispatcher());
    Replayer replayer(m_capture, m_reader, canservice::VirtualSerialLine::find(QStringLiteral("dashboard")));
    // The capture's end leaves the last state, and the plugin's timers go on to the instant.
    replayer.finished = [] {};
    session.printer()->setClock([&replayer] { return replayer.now(); });
    connect(clock, &CaptureClock::stopped, this, &ReplayThread::reached, Qt::DirectConnection);
    clock->stopAt(m_stopMs);
    replayer.start();
    exec();
    m_session = nullptr;
}

} // namespace tool
