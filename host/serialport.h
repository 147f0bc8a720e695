#pragma once

#include "canservice_host_export.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class QTimer;

namespace canservice {

class SerialBackend;
class SerialTap;

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
    Error error() const { return m_error; }
    // The system's reason for the last error, for example "No such file or directory".
    QString errorString() const { return m_errorString; }
    // Writes dropped because the line was down, and how often it went down.
    qint64 droppedWrites() const { return m_droppedWrites; }
    int lineLosses() const { return m_lineLosses; }

signals:
    void read(const QByteArray &chunk);
    void errorOccurred(canservice::SerialPort::Error error);
    // The line went down (lost, or not there to open) or came back.
    void lineStateChanged(bool up);

private:
    friend class SerialBackend;
    // A chunk from the backend, to the tap and to read(); defined with the backend.
    inline void receive(const QByteArray &chunk);
    qint64 wrote(const QByteArray &data, bool flag, qint64 written);
    void setError(Error error, const QString &reason);
    void lineLost(Error error, const QString &reason);
    void retryOpen();

    std::unique_ptr<SerialBackend> m_backend;
    SerialTap *const m_tap;
    QTimer *m_retryTimer = nullptr;
    QString m_device;
    int m_baudRate = 0;
    int m_retryDelay = FirstRetryMs;
    bool m_down = false;
    Error m_error = NoError;
    QString m_errorString;
    qint64 m_droppedWrites = 0;
    int m_lineLosses = 0;
};

} // namespace canservice
