#pragma once

#include "canservice_host_export.h"
#include "serialport.h"
#include "serialtap.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace canservice {

// What canservice::SerialPort forwards to: one line to a CAN box, real or simulated.
class CANSERVICE_HOST_EXPORT SerialBackend : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~SerialBackend() override;

    // On failure error() and errorString() say why, the latter in the system's words.
    virtual bool open(const QString &device, int baudRate) = 0;
    // -1 when the line is not open, or the system refused the bytes.
    virtual qint64 write(const QByteArray &data, bool flag) = 0;
    // Writes out what is still queued, within SerialPort::FlushTimeoutMs, then closes.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual SerialPort::Error error() const { return SerialPort::NoError; }
    virtual QString errorString() const { return QString(); }

    // Where received chunks go: the port that owns the backend. A call, not a signal: it runs
    // for every chunk of a busy line.
    void setReceiver(SerialPort *port) { m_port = port; }

signals:
    // The device went away underneath an open line; the backend has closed it.
    void lost(canservice::SerialPort::Error error, const QString &reason);

protected:
    void received(const QByteArray &chunk)
    {
        if (m_port)
            m_port->receive(chunk);
    }

private:
    SerialPort *m_port = nullptr;
};

// Every chunk of a busy line passes here: to the tap when it listens, and to read().
inline void SerialPort::receive(const QByteArray &chunk)
{
    if (m_tap->hearsReceived())
        emit m_tap->received(m_device, chunk);
    emit read(chunk);
}

} // namespace canservice
