#pragma once

#include "canservice_host_export.h"
#include "serialport.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

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
    virtual qint64 write(const QByteArray &data, bool flag) = 0;
    // Writes out what is still queued, within SerialPort::FlushTimeoutMs, then closes.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual SerialPort::Error error() const { return SerialPort::NoError; }
    virtual QString errorString() const { return QString(); }

    // Where received chunks go: the port that owns the backend. A call, not a signal: it runs
    // for every chunk of a busy line.
    void setReceiver(std::function<void(const QByteArray &)> receiver) { m_receiver = std::move(receiver); }

signals:
    // The device went away underneath an open line; the backend has closed it.
    void lost(canservice::SerialPort::Error error, const QString &reason);

protected:
    void received(const QByteArray &chunk)
    {
        if (m_receiver)
            m_receiver(chunk);
    }

private:
    std::function<void(const QByteArray &)> m_receiver;
};

} // namespace canservice
