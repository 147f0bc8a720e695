#pragma once

#include "serialbackend_p.h"
#include "serialport.h"

#include <QLoggingCategory>
#include <QMetaMethod>

#include <memory>

class QTimer;

namespace canservice {

Q_DECLARE_LOGGING_CATEGORY(lcSerialLine)

class SerialPortPrivate
{
public:
    explicit SerialPortPrivate(SerialPort *port) : q(port) { }

    // For the project's tests: the port's private part.
    static SerialPortPrivate *get(SerialPort *port) { return port->d.get(); }

    // Every chunk of a busy line passes here: to the port's recorders when it has any, to
    // read(), and to the recorders again once read() is done. A count kept by connectNotify
    // answers the common case, nobody, without a call; automatic disconnections are not counted,
    // so a positive count is checked with Qt.
    void receive(const QByteArray &chunk)
    {
        const bool recorded = Q_UNLIKELY(receivedListeners > 0)
                && q->isSignalConnected(QMetaMethod::fromSignal(&SerialPort::received));
        if (recorded)
            emit q->received(chunk);
        emit q->read(chunk);
        if (recorded)
            emit q->handled(chunk);
    }
    bool hearsWritten() const
    {
        return writtenListeners > 0 && q->isSignalConnected(QMetaMethod::fromSignal(&SerialPort::written));
    }

    qint64 wrote(const QByteArray &data, bool flag, qint64 written);
    void setError(SerialPort::Error error, const QString &reason);
    void lineLost(SerialPort::Error error, const QString &reason);
    void retryOpen();

    SerialPort *const q;
    // What owns the backend: the backend itself for a device, the in-process line for a
    // virtual one (the backend is then that line's private part).
    std::unique_ptr<QObject> line;
    SerialBackend *backend = nullptr;
    QTimer *retryTimer = nullptr;
    QString device;
    int baudRate = 0;
    int retryDelay = SerialPort::FirstRetryMs;
    bool down = false;
    SerialPort::Error error = SerialPort::NoError;
    QString errorString;
    qint64 droppedWrites = 0;
    // How often the line went down while open.
    int lineLosses = 0;
    int receivedListeners = 0;
    int writtenListeners = 0;
};

void SerialBackend::received(const QByteArray &chunk)
{
    if (m_port)
        m_port->receive(chunk);
}

} // namespace canservice
