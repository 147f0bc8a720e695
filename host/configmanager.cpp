#include "configmanager.h"

#include <QtGlobal>

namespace canservice {

class ConfigManager::Private
{
public:
    QString serialDevice;
    bool serialDeviceSet = false;
    QString pluginFullPath;
    PortWatcher portWatcher;
};

ConfigManager::ConfigManager() : d(std::make_unique<Private>()) { }

ConfigManager::~ConfigManager() = default;

ConfigManager *ConfigManager::instance()
{
    static ConfigManager config;
    return &config;
}

QString ConfigManager::serialDevice() const
{
    if (d->serialDeviceSet)
        return d->serialDevice;
    return qEnvironmentVariable("CANSERVICE_SERIAL_DEVICE");
}

void ConfigManager::setSerialDevice(const QString &device)
{
    d->serialDevice = device;
    d->serialDeviceSet = true;
}

void ConfigManager::setPortWatcher(PortWatcher watcher)
{
    d->portWatcher = std::move(watcher);
}

ConfigManager::PortWatcher ConfigManager::portWatcher() const
{
    return d->portWatcher;
}

QString ConfigManager::getPluginFullPath() const
{
    return d->pluginFullPath;
}

void ConfigManager::setPluginFullPath(const QString &path)
{
    d->pluginFullPath = path;
}

} // namespace canservice
