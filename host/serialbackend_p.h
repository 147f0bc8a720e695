#pragma once

#include "serialport.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace canservice {

class SerialPortPrivate;

// What canservice::SerialPort forwards to: one line to a CAN box, real or simulated.
class SerialBackend : public QObject
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
    void setReceiver(SerialPortPrivate *port) { m_port = port; }

signals:
    // The device went away underneath an open line; the backend has closed it.
    void lost(canservice::SerialPort::Error error, const QString &reason);

protected:
    // Defined with the port's private part, which it calls.
    inline void received(const QByteArray &chunk);

private:
    SerialPortPrivate *m_port = nullptr;
};

} // namespace canservice
