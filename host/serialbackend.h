#pragma once

#include "canservice_host_global.h"

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

    // On failure errorString() says why, in the system's words.
    virtual bool open(const QString &device, int baudRate) = 0;
    virtual qint64 write(const QByteArray &data, bool flag) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual QString errorString() const = 0;

signals:
    void received(const QByteArray &chunk);
};

} // namespace canservice
