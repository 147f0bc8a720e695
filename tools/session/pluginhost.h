#pragma once

#include "failure.h"

#include <QPluginLoader>
#include <QString>

class CanServiceBase;
namespace canservice {
class SerialPort;
}

namespace tool {

// Loads the CAN service plugin the way a head unit does: QPluginLoader, the metadata's IID
// checked before the instance is made, then the cast to the service interface. The service opens
// its line on the device given, and the host is handed that port as the service opens it.
class PluginHost
{
public:
    static QString defaultPluginPath();

    // On failure returns null, with error() and failure() set.
    CanServiceBase *load(const QString &path, const QString &device);
    // The port the service opened on the device while it was made; null if it opened none.
    canservice::SerialPort *port() const { return m_port; }
    QString error() const { return m_error; }
    Failure failure() const { return m_failure; }
    QString fileName() const { return m_loader.fileName(); }

private:
    QPluginLoader m_loader;
    canservice::SerialPort *m_port = nullptr;
    QString m_error;
    Failure m_failure = Failure::None;
};

} // namespace tool
