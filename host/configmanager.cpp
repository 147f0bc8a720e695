#include "configmanager.h"

#include <QtGlobal>

namespace canservice {

ConfigManager *ConfigManager::instance()
{
    static ConfigManager config;
    return &config;
}

QString ConfigManager::serialDevice() const
{
    if (m_serialDeviceSet)
        return m_serialDevice;
    return qEnvironmentVariable("CANSERVICE_SERIAL_DEVICE");
}

void ConfigManager::setSerialDevice(const QString &device)
{
    m_serialDevice = device;
    m_serialDeviceSet = true;
}

QString ConfigManager::getPluginFullPath() const
{
    return m_pluginFullPath;
}

void ConfigManager::setPluginFullPath(const QString &path)
{
    m_pluginFullPath = path;
}

} // namespace canservice
