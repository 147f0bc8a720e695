#pragma once

#include "failure.h"
#include "scenario.h"
#include "session.h"

#include <QSemaphore>
#include <QThread>

class QFile;

namespace tool {

class CaptureReader;

// The dashboard's source (a capture, or the simulated box with its drive) run on the capture
// clock in a thread of its own, up to an instant, then held there: the screenshot shows the
// vehicle exactly as the plugin left it at that instant, the same in every run, while the window
// lives on Qt's own dispatcher in the main thread. The session, its plugin, the line and the box
// are made, run and destroyed in the thread; the main thread reads them only while the thread is
// held: before go(), and once reached() has come.
class SourceThread : public QThread
{
    Q_OBJECT

public:
    // A capture, replayed from its time 0.
    SourceThread(const SessionOptions &options, QFile &capture, CaptureReader &reader, qint64 stopMs);
    // The simulated box with this scenario, on a line inside the process, from its start.
    SourceThread(const SessionOptions &options, const Scenario &scenario, qint64 stopMs);
    ~SourceThread() override;

    // Starts the thread and waits until it has loaded the plugin on its line: Failure::None, or
    // why it could not (said on standard error).
    Failure load();
    Session *session() const { return m_session; }
    // Why the capture could not be read to the end, once reached() has come; empty when it could.
    QString error() const { return m_error; }
    // The source runs, up to the instant.
    void go() { m_go.release(); }

signals:
    // Everything up to the instant has happened (emitted in the thread).
    void reached();

protected:
    void run() override;

private:
    SessionOptions m_options;
    QFile *m_capture = nullptr;
    CaptureReader *m_reader = nullptr;
    Scenario m_scenario;
    qint64 m_stopMs;
    Session *m_session = nullptr;
    Failure m_failure = Failure::None;
    QString m_error;
    QSemaphore m_loaded;
    QSemaphore m_go;
};

} // namespace tool
