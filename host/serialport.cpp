#include "serialport.h"

#include "configmanager.h"
#include "serialport_real_p.h"
#include "serialtap.h"
#include "virtualserialline.h"

#include <QDebug>

namespace canservice {

namespace {
const QLatin1String virtualPrefix("virtual:");
}

SerialBackend::~SerialBackend() = default;

SerialTap *SerialTap::instance()
{
    static SerialTap tap;
    return &tap;
}

SerialPort::SerialPort(QObject *parent) : QObject(parent) { }

SerialPort::~SerialPort()
{
    close();
}

bool SerialPort::open(const QString &device, int baudRate)
{
    close();
    m_backend.reset();

    m_device = device.isEmpty() ? ConfigManager::instance()->serialDevice() : device;
    if (m_device.isEmpty()) {
        qWarning().noquote() << "canservice: no serial device configured; set"
                             << "CANSERVICE_SERIAL_DEVICE to the CAN box's line (for example"
                             << "/dev/ttyUSB0)";
        return false;
    }

    if (m_device.startsWith(virtualPrefix)) {
        m_backend = std::make_unique<VirtualSerialLine>(m_device.mid(virtualPrefix.size()));
    } else {
        auto real = std::make_unique<RealSerialLine>();
        connect(real.get(), &RealSerialLine::lost, this, [this](const QString &reason) {
            qWarning().noquote() << QStringLiteral("canservice: serial device %1 was lost: %2; "
                                                   "writes are dropped until it is opened again")
                                            .arg(m_device, reason);
        });
        m_backend = std::move(real);
    }
    connect(m_backend.get(), &SerialBackend::received, this, [this](const QByteArray &chunk) {
        emit SerialTap::instance()->received(m_device, chunk);
        emit read(chunk);
    });

    if (!m_backend->open(m_device, baudRate)) {
        qWarning().noquote() << QStringLiteral("canservice: cannot open serial device %1: %2")
                                        .arg(m_device, m_backend->errorString());
        return false;
    }
    return true;
}

qint64 SerialPort::writeData(const QByteArray &data, bool flag)
{
    if (!m_backend || !m_backend->isOpen())
        return -1;
    const qint64 written = m_backend->write(data, flag);
    if (written >= 0)
        emit SerialTap::instance()->written(m_device, data, flag);
    return written;
}

void SerialPort::close()
{
    if (m_backend)
        m_backend->close();
}

bool SerialPort::isOpen() const
{
    return m_backend && m_backend->isOpen();
}

QString SerialPort::deviceName() const
{
    return m_device;
}

} // namespace canservice
