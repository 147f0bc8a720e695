#pragma once

#include "canservice_host_global.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

namespace canservice {

class SerialBackend;

// The serial line a CAN service talks to its box over.
//
// open() with an empty device name takes the device from the host configuration
// (ConfigManager::serialDevice()). A name of the form "virtual:NAME" selects an in-process
// VirtualSerialLine; anything else is a device path opened with QSerialPort at the given speed,
// 8N1, which may also be a pseudo-terminal. Writes while the port is closed are dropped.
class CANSERVICE_HOST_EXPORT SerialPort : public QObject
{
    Q_OBJECT

public:
    explicit SerialPort(QObject *parent = nullptr);
    ~SerialPort() override;

    bool open(const QString &device, int baudRate);
    // The flag asks for the bytes to leave at once; both backends write immediately anyway.
    qint64 writeData(const QByteArray &data, bool flag);
    void close();

    bool isOpen() const;
    QString deviceName() const;

signals:
    void read(const QByteArray &chunk);

private:
    std::unique_ptr<SerialBackend> m_backend;
    QString m_device;
};

} // namespace canservice
