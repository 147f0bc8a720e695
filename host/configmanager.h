#pragma once

#include "canservice_host_export.h"

#include <QString>

#include <memory>

namespace canservice {

// The head unit's configuration as far as a CAN service is concerned.
class CANSERVICE_HOST_EXPORT ConfigManager
{
public:
    static ConfigManager *instance();

    // The device an empty device name opens: set by the host program, else the environment
    // variable CANSERVICE_SERIAL_DEVICE. "virtual:NAME" means an in-process line.
    QString serialDevice() const;
    void setSerialDevice(const QString &device);

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
