#pragma once

#include "serialport.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;
namespace canservice {
class VirtualSerialLine;
}

namespace tool {

// The CAN box's end of the serial line: the master side of a pseudo-terminal that a head unit
// opens as its device, or a real serial device wired to one.
class BoxLine : public QObject
{
    Q_OBJECT

public:
    // A new pseudo-terminal; the head unit opens deviceName().
    static BoxLine *createPty(QString *error, QObject *parent = nullptr);
    // A serial device at 38400 8N1, through the host's serial line. On failure, error and reason
    // say why.
    static BoxLine *openDevice(const QString &device, canservice::SerialPort::Error *error,
                               QString *reason, QObject *parent = nullptr);
    // The far end of a line inside the process, which a head unit has opened: each side's bytes
    // reach the other once what wrote them has returned, so that neither runs inside the other.
    static BoxLine *attach(canservice::VirtualSerialLine *line, QObject *parent = nullptr);
    ~BoxLine() override;

    QString deviceName() const { return m_deviceName; }
    // Bytes after those written before; false when the line refuses them (a serial device that is
    // down drops them).
    bool write(const QByteArray &bytes);
    // How many of the bytes it accepted the line has taken: a pseudo-terminal's once the head
    // unit's end has room for them, a device's once its port has them, an in-process line's at
    // once. The rest wait in order for the head unit to read; what still waits when the line
    // closes is lost with it.
    qint64 bytesTaken() const { return m_taken; }
    qint64 bytesWaiting() const { return m_pending.size(); }

    // Why a serial device went down, while it is (the host reopens it when it is back).
    QString lineError() const { return m_serial ? m_serial->errorString() : QString(); }

signals:
    void received(const QByteArray &chunk);
    // The line took bytes it had accepted (bytesTaken() says how many so far).
    void taken();
    // A serial device went down or came back.
    void lineStateChanged(bool up);

private:
    explicit BoxLine(QObject *parent);
    void readMaster();
    void flushMaster();
    // Writes what waits, as much as the pseudo-terminal takes now; the bytes it took.
    qint64 writeMaster();

    QString m_deviceName;
    int m_master = -1;
    int m_slaveKeeper = -1;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QByteArray m_pending;
    qint64 m_taken = 0;
    canservice::SerialPort *m_serial = nullptr;
    canservice::VirtualSerialLine *m_virtual = nullptr;
};

} // namespace tool
