#pragma once

#include "serialport_p.h"

#include <QSerialPort>

namespace canservice {

// A device line through QSerialPort: a USB-serial adapter, a UART or a pseudo-terminal.
class RealSerialLine : public SerialBackend
{
    Q_OBJECT

public:
    explicit RealSerialLine(QObject *parent = nullptr);

    bool open(const QString &device, int baudRate) override;
    qint64 write(const QByteArray &data, bool flag) override;
    void close() override;
    bool isOpen() const override;
    SerialPort::Error error() const override { return m_error; }
    QString errorString() const override { return m_errorString; }

private:
    void onError(QSerialPort::SerialPortError error);
    void failOpen(QSerialPort::SerialPortError error);
    qint64 writeNow(const char *data, qint64 size);
    void writeHeld();

    QSerialPort m_port;
    QByteArray m_chunk; // the last chunk's buffer, for the next
    // While a received chunk is being handled, writes are held here and leave together after.
    bool m_holding = false;
    QByteArray m_held;
    QString m_device;
    QString m_lockPath;
    SerialPort::Error m_error = SerialPort::NoError;
    QString m_errorString;
};

} // namespace canservice
