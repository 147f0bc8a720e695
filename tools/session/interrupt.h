#pragma once

#include <QObject>

class QSocketNotifier;

namespace tool {

// SIGINT and SIGTERM turned into a Qt signal: the handler only writes a byte to a socket pair,
// and a QSocketNotifier brings it into the event loop.
class Interrupt : public QObject
{
    Q_OBJECT

public:
    // Catches the signals from now on, before any Interrupt exists: the tool calls it first thing,
    // so that a Ctrl-C at any moment ends a run with its summary and leaves no lock behind.
    static void catchSignals();

    explicit Interrupt(QObject *parent = nullptr);
    ~Interrupt() override;

signals:
    void requested();

private:
    static void handler(int);
    static int s_fds[2];
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace tool
