#pragma once

#include "serialbackend.h"

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
    QString errorString() const override;

signals:
    // The device went away underneath an open line (an adapter pulled out).
    void lost(const QString &reason);

private:
    void onError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    QString m_error;
};

} // namespace canservice
