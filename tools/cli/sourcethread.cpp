#include "sourcethread.h"

#include "boxline.h"
#include "boxsimulator.h"
#include "captureclock.h"
#include "replayer.h"
#include "sessionmodel.h"

#include <memory>

namespace tool {

SourceThread::SourceThread(const SessionOptions &options, QFile &capture, CaptureReader &reader, qint64 stopMs)
    : m_options(options), m_capture(&capture), m_reader(&reader), m_stopMs(stopMs)
{
    setEventDispatcher(new CaptureClock);
}

SourceThread::SourceThread(const SessionOptions &options, const Scenario &scenario, qint64 stopMs)
    : m_options(options), m_scenario(scenario), m_stopMs(stopMs)
{
    setEventDispatcher(new CaptureClock);
}

SourceThread::~SourceThread()
{
    if (isRunning()) {
        m_go.release();
        quit();
        wait();
    }
}

Failure SourceThread::load()
{
    start();
    m_loaded.acquire();
    return m_failure;
}

void SourceThread::run()
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
    connect(clock, &CaptureClock::stopped, this, &SourceThread::reached, Qt::DirectConnection);
    clock->stopAt(m_stopMs);
    canservice::VirtualSerialLine *line = session.port()->virtualLine();
    std::unique_ptr<Replayer> replayer;
    std::unique_ptr<BoxLine> boxLine;
    std::unique_ptr<BoxSimulator> box;
    if (m_capture) {
        replayer = std::make_unique<Replayer>(*m_capture, *m_reader, line);
        // The capture's end leaves the last state, and the plugin's timers go on to the instant.
        replayer->finished = [this, r = replayer.get()] { m_error = r->error(); };
        session.model()->setClock([r = replayer.get()] { return r->now(); });
        replayer->start();
    } else {
        boxLine.reset(BoxLine::attach(line));
        box = std::make_unique<BoxSimulator>(boxLine.get(), m_scenario, FaultOptions());
        session.model()->setClock([clock] { return clock->nowMs() / 1000.0; });
        session.start();
        box->begin();
    }
    exec();
    m_session = nullptr;
}

} // namespace tool
