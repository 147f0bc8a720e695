#pragma once

#include <QByteArray>
#include <QString>

namespace testsupport {

// A pseudo-terminal pair: the test plays the box on the master side, the head unit opens slave.
// The master is not inherited by child processes, so closing it hangs the line up for them too.
class Pty
{
public:
    Pty();
    ~Pty() { close(); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool isValid() const { return !slave.isEmpty(); }
    void close();
    bool send(const QByteArray &bytes) const;
    // What the head unit wrote so far, without waiting.
    QByteArray readAvailable() const;
    // What the head unit wrote, until `expected` bytes came, its end closed (closed is then set)
    // or five seconds passed; the event loop runs meanwhile.
    QByteArray readUntil(int expected, bool *closed = nullptr) const;

    int master = -1;
    QString slave;
};

} // namespace testsupport
