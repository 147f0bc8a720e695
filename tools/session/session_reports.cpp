// What every command tells the user through the session: its output streams and why a device
// cannot be opened.
#include "session.h"

#include "standardoutput.h"

#include <QFile>

namespace tool {

QTextStream &out()
{
    static QTextStream stream(&StandardOutput::instance());
    static const bool utf8 = (stream.setCodec("UTF-8"), true);
    Q_UNUSED(utf8)
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(&StandardOutput::error());
    static const bool utf8 = (stream.setCodec("UTF-8"), true);
    Q_UNUSED(utf8)
    return stream;
}

void dropOutput()
{
    static QFile nowhere(QStringLiteral("/dev/null"));
    if (!nowhere.isOpen())
        nowhere.open(QIODevice::WriteOnly);
    out().setDevice(nullptr); // what is still buffered goes to the old device, or is lost with it
    out().setDevice(&nowhere);
}

void sendOutputToError()
{
    err().flush();
    out().setDevice(&StandardOutput::error());
}

QString describeDeviceError(const QString &device, canservice::SerialPort::Error error,
                            const QString &reason, Failure *failure)
{
    using canservice::SerialPort;
    switch (error) {
    case SerialPort::DeviceNotFoundError:
        *failure = Failure::DeviceNotFound;
        return QStringLiteral("There is no serial device %1 (%2).").arg(device, reason);
    case SerialPort::NotSerialDeviceError:
        *failure = Failure::DeviceNotFound;
        return QStringLiteral("%1 is not a serial device (%2).").arg(device, reason);
    case SerialPort::PermissionError:
        *failure = Failure::DevicePermission;
        return QStringLiteral("No permission to open the serial device %1 (add yourself to its "
                              "group, often dialout).")
                .arg(device);
    case SerialPort::BusyError:
        *failure = Failure::DeviceBusy;
        return QStringLiteral("The serial device %1 is busy: %2.").arg(device, reason);
    case SerialPort::StaleLockError:
        *failure = Failure::StaleLock;
        return QStringLiteral("The serial device %1 cannot be taken: %2; its owner or root can remove it.")
                .arg(device, reason);
    default:
        *failure = Failure::Other;
        return QStringLiteral("Cannot open the serial device %1: %2.").arg(device, reason);
    }
}

} // namespace tool
