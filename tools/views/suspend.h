#pragma once

#include <QObject>

class QSocketNotifier;

namespace tool {

// Ctrl-Z (SIGTSTP) for a program that changes the terminal: the handler only writes a byte to a
// socket pair; in the event loop, suspending() lets the program give the terminal back, then the
// process stops as it would have; once it is continued (fg), resumed() lets it take the terminal
// again.
class Suspend : public QObject
{
    Q_OBJECT

public:
    explicit Suspend(QObject *parent = nullptr);
    ~Suspend() override;

signals:
    void suspending();
    void resumed();

private:
    static void handler(int);
    static void catchStop();
    void stop();

    static int s_fds[2];
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace tool
