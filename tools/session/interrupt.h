#pragma once

#include <QObject>

class QSocketNotifier;

namespace tool {

// SIGINT, SIGTERM and SIGHUP, and SIGPIPE, turned into Qt signals: the handler only counts and
// writes a byte to a socket pair, and a QSocketNotifier brings it into the event loop.
class Interrupt : public QObject
{
    Q_OBJECT

public:
    // Catches the signals from now on, before any Interrupt exists: the tool calls it first thing,
    // so that a Ctrl-C at any moment ends a run with its summary and leaves no lock behind.
    static void catchSignals();

    explicit Interrupt(QObject *parent = nullptr);
    ~Interrupt() override;

    // How many of SIGINT, SIGTERM and SIGHUP came so far: long work that does not return to the
    // event loop asks whether the number grew.
    static int requests();
    // Whether a write to a pipe or socket found no reader (SIGPIPE).
    static bool pipeBroke();
    // Whether standard output is a pipe or socket that nobody reads any more.
    static bool outputGone();

signals:
    // Ctrl-C, SIGTERM or SIGHUP.
    void requested();
    // Standard output's reader went away (`| head`). A write to an output file that found no
    // reader fails where it was made instead.
    void outputLost();

private:
    static void handler(int);
    static void pipeHandler(int);
    static int s_fds[2];
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace tool
