#pragma once

#include "failure.h"
#include "session.h"

#include <QSemaphore>
#include <QThread>

class QFile;

namespace tool {

class CaptureReader;

// A capture replayed on the capture clock in a thread of its own, up to an instant of the
// capture's time, then held there: the dashboard's screenshot shows the vehicle exactly as the
// plugin left it at that instant, the same in every run, while the window lives on Qt's own
// dispatcher in the main thread. The session, its plugin and the line are made, run and
// destroyed in the thread; the main thread reads them only while the thread is held: before
// go(), and once reached() has come.
class ReplayThread : public QThread
{
    Q_OBJECT

public:
    ReplayThread(const SessionOptions &options, QFile &capture, CaptureReader &reader, qint64 stopMs);
    ~ReplayThread() override;

    // Starts the thread and waits until it has loaded the plugin on the line: Failure::None, or
    // why it could not (said on standard error).
    Failure load();
    Session *session() const { return m_session; }
    // The replay runs, up to the instant.
    void go() { m_go.release(); }

signals:
    // Everything up to the instant has happened (emitted in the thread).
    void reached();

protected:
    void run() override;

private:
    SessionOptions m_options;
    QFile &m_capture;
    CaptureReader &m_reader;
    qint64 m_stopMs;
    Session *m_session = nullptr;
    Failure m_failure = Failure::None;
    QSemaphore m_loaded;
    QSemaphore m_go;
};

} // namespace tool
