#pragma once

#include "canservice_host_export.h"

#include <QString>

#include <functional>
#include <memory>

namespace canservice {

class SerialPort;

// The head unit's configuration as far as a CAN service is concerned.
class CANSERVICE_HOST_EXPORT ConfigManager
{
public:
    static ConfigManager *instance();

    // The device an empty device name opens: set by the host program, else the environment
    // variable CANSERVICE_SERIAL_DEVICE. "virtual:NAME" means an in-process line.
    QString serialDevice() const;
    void setSerialDevice(const QString &device);

    // Who watches the line a service opens on the configured device (a head unit's diagnostics, a
    // monitor): handed the port as the service opens it, so that it hears the port's chunks,
    // writes and errors from the port itself. The service keeps its port to itself otherwise.
    using PortWatcher = std::function<void(SerialPort *port)>;
    void setPortWatcher(PortWatcher watcher);
    PortWatcher portWatcher() const;

    // The file the service plugin was loaded from, as the host's loader reported it; empty when
    // the host loaded none.
    QString getPluginFullPath() const;
    void setPluginFullPath(const QString &path);

private:
    class Private;
    ConfigManager();
    ~ConfigManager();
    Q_DISABLE_COPY(ConfigManager)
    std::unique_ptr<Private> const d;
};

} // namespace canservice
