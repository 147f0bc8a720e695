#pragma once

#include <QByteArray>
#include <QIODevice>

class QSocketNotifier;

namespace tool {

// Standard output (and standard error) as the tool writes it: through a queue that is written as fast as its reader
// takes it, without ever blocking, and drained by the event loop when the reader is slow. A reader
// that stops reading (`| sleep 60`, a terminal held with Ctrl-S) then never stops the line:
//
// - a live run (a box on the line) drops what does not fit in the queue, whole writes at a time,
//   and counts the lines dropped;
// - a run from a file waits for its reader when the queue is full, and a Ctrl-C, SIGTERM or SIGHUP
//   ends the wait at once, dropping the rest.
//
// A pipe or terminal is written through a descriptor of its own opened non-blocking, so that the
// reader's other writers (a shell sharing the terminal) are not changed; a socket (a service's
// journal) is asked not to wait on each write; a regular file is written directly, where nothing
// waits for a reader. A pipe that has lost its reader is written as it is, and says so (EPIPE).
class StandardOutput : public QIODevice
{
    Q_OBJECT

public:
    // Behind what the pipe or terminal itself holds (64 KiB for a pipe): at the line's full rate a
    // second or two of lines, all a reader that catches up can still want to see.
    static constexpr int QueueLimit = 64 << 10;

    // The ones for descriptors 1 and 2, made on first use.
    static StandardOutput &instance();
    static StandardOutput &error();

    explicit StandardOutput(int fd, QObject *parent = nullptr);
    ~StandardOutput() override;

    // Live: drop rather than wait when the reader does not keep up.
    void setLive(bool live) { m_live = live; }
    // Writes what is queued, waiting for the reader until it is written or a Ctrl-C, SIGTERM or
    // SIGHUP comes, and a live run's reader for LiveEndMs at most; false if some was dropped.
    bool drain();
    static constexpr int LiveEndMs = 2000;
    // Lines dropped while a live run's reader did not keep up, and lines still queued when the
    // run ended and a signal said not to wait.
    qint64 droppedLines() const { return m_droppedLines; }
    qint64 unwrittenLines() const { return m_unwrittenLines; }
    // A write failed (the reader went away, a disk is full); errorString() says why.
    bool failed() const { return m_failed; }
    qint64 queued() const { return m_queue.size(); }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    // Writes what the descriptor takes now; false when the reader is gone or the write failed.
    bool writeSome();
    // Waits until the descriptor takes more; false at once when a signal to end has come.
    bool waitForReader();
    void watch(bool on);

    int m_fd;
    bool m_ownFd = false;
    bool m_regular = false;
    bool m_socket = false;
    bool m_live = false;
    bool m_failed = false;
    QByteArray m_queue;
    qint64 m_droppedLines = 0;
    qint64 m_unwrittenLines = 0;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace tool
