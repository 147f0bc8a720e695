#pragma once

#include "canservice_host_export.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

namespace canservice {

class SerialPortPrivate;
class VirtualSerialLine;

// The serial line a CAN service talks to its box over.
//
// open() with an empty device name takes the device from the host configuration
// (ConfigManager::serialDevice()). A name of the form "virtual:NAME" selects an in-process
// VirtualSerialLine; anything else is a device path opened with QSerialPort at the given speed,
// 8N1, which may also be a pseudo-terminal.
//
// A device that cannot be opened, or that vanishes while open (an adapter pulled out, the far
// end of a pseudo-terminal closed), is reported once and then opened again on the same path with
// a back-off until it is there: the service above sees only a silent box and then a box that
// answers again. Writes while the line is down are dropped and counted. close() writes out
// what is still queued, within a bound, and ends any retrying.
//
// Whoever records or watches the line (a head unit's diagnostics, a monitor) is handed the port
// by the host configuration's port watcher when a service opens the configured device, and hears
// every chunk, write and drop from the port itself; a port that nobody listens to pays nothing
// for it.
class CANSERVICE_HOST_EXPORT SerialPort : public QObject
{
    Q_OBJECT

public:
    enum Error {
        NoError,
        NotConfiguredError,
        DeviceNotFoundError,
        PermissionError,
        BusyError,
        NotSerialDeviceError,
        DeviceLostError,
        WriteError,
        UnknownError,
        // Its lock was left by a program that is gone, and this user may not remove it.
        StaleLockError,
    };
    Q_ENUM(Error)

    // How long close() waits for queued bytes to leave; 5 bytes take about 1.3 ms at 38400.
    static constexpr int FlushTimeoutMs = 200;
    // The reopen back-off: the first retry after this, doubling up to the ceiling.
    static constexpr int FirstRetryMs = 250;
    static constexpr int LastRetryMs = 5000;

    explicit SerialPort(QObject *parent = nullptr);
    ~SerialPort() override;

    bool open(const QString &device, int baudRate);
    // The flag asks for the bytes to leave at once; both backends write immediately anyway.
    qint64 writeData(const QByteArray &data, bool flag);
    void close();

    bool isOpen() const;
    QString deviceName() const;

    // The last error; NoError again once a lost line is back.
    Error error() const;
    // The system's reason for the last error, for example "No such file or directory".
    QString errorString() const;
    // Writes dropped because the line was down.
    qint64 droppedWrites() const;

    // The in-process line under the port when its device is "virtual:NAME"; null otherwise.
    VirtualSerialLine *virtualLine() const;

signals:
    void read(const QByteArray &chunk);
    void errorOccurred(canservice::SerialPort::Error error);
    // The line went down (lost, or not there to open) or came back.
    void lineStateChanged(bool up);

    // For recorders: every chunk received, just before read() hands it on, so that what the
    // service writes in answer comes after it; the same chunk once every receiver of read() has
    // handled it; every write the line took; every write dropped while the line was down.
    void received(const QByteArray &chunk);
    void handled(const QByteArray &chunk);
    void written(const QByteArray &bytes, bool flag);
    void dropped(const QByteArray &bytes);

protected:
    void connectNotify(const QMetaMethod &signal) override;

private:
    friend class SerialPortPrivate;
    std::unique_ptr<SerialPortPrivate> const d;
};

} // namespace canservice
