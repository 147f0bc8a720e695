#include "serialport_real_p.h"

namespace canservice {

RealSerialLine::RealSerialLine(QObject *parent) : SerialBackend(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, [this] {
        const QByteArray chunk = m_port.readAll();
        if (!chunk.isEmpty())
            emit received(chunk);
    });
    connect(&m_port, &QSerialPort::errorOccurred, this, &RealSerialLine::onError);
}

bool RealSerialLine::open(const QString &device, int baudRate)
{
    m_error.clear();
    m_port.setPortName(device);
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_error = m_port.errorString();
        return false;
    }
    // Settings after open: QSerialPort applies them to the open descriptor. A pseudo-terminal
    // accepts them like a UART does.
    const bool configured = m_port.setBaudRate(baudRate) && m_port.setDataBits(QSerialPort::Data8)
            && m_port.setParity(QSerialPort::NoParity) && m_port.setStopBits(QSerialPort::OneStop)
            && m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        m_error = m_port.errorString();
        m_port.close();
        return false;
    }
    return true;
}

qint64 RealSerialLine::write(const QByteArray &data, bool flag)
{
    Q_UNUSED(flag)
    if (!m_port.isOpen())
        return -1;
    return m_port.write(data);
}

void RealSerialLine::close()
{
    m_port.close();
}

bool RealSerialLine::isOpen() const
{
    return m_port.isOpen();
}

QString RealSerialLine::errorString() const
{
    return m_error;
}

void RealSerialLine::onError(QSerialPort::SerialPortError error)
{
    // A device that vanished (an adapter pulled out, the far end of a pseudo-terminal closed)
    // shows as read or resource errors that repeat for as long as the port stays open: close
    // it once and say so once.
    if ((error == QSerialPort::ResourceError || error == QSerialPort::ReadError)
        && m_port.isOpen()) {
        m_error = m_port.errorString();
        m_port.close();
        emit lost(m_error);
    }
}

} // namespace canservice
