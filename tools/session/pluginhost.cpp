#include "pluginhost.h"

#include "canservicebase.h"
#include "configmanager.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

namespace tool {

namespace {
const QLatin1String ServicePluginIid("com.velmora.CanServicePlugin");
}

QString PluginHost::defaultPluginPath()
{
    const QString fromEnvironment = qEnvironmentVariable("CANSERVICE_PLUGIN");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    // Relative to the tool, so that an installed tree works wherever it is moved; the build tree
    // is laid out as the install is.
    const QString path = QDir(QCoreApplication::applicationDirPath())
                                 .filePath(QStringLiteral(CANSERVICE_PLUGIN_FROM_BIN "/libsimpleservice.so"));
    return QFileInfo::exists(path) ? QFileInfo(path).canonicalFilePath() : path;
}

CanServiceBase *PluginHost::load(const QString &path, const QString &device)
{
    if (!QFileInfo::exists(path)) {
        m_error = QStringLiteral("The plugin %1 was not found; build it first or name it with "
                                 "--plugin.")
                          .arg(path);
        m_failure = Failure::PluginNotLoaded;
        return nullptr;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.read(4) != QByteArray("\x7f" "ELF", 4)) {
        m_error = QStringLiteral("%1 is not a shared library; the plugin is a .so file such as "
                                 "libsimpleservice.so.")
                          .arg(path);
        m_failure = Failure::PluginNotLoaded;
        return nullptr;
    }
    m_loader.setFileName(path);
    const QJsonObject meta = m_loader.metaData();
    if (meta.isEmpty()) {
        m_error = QStringLiteral("%1 is not a Qt plugin: %2").arg(path, m_loader.errorString());
        m_failure = Failure::PluginNotLoaded;
        return nullptr;
    }
    const QString iid = meta.value(QLatin1String("IID")).toString();
    if (iid != ServicePluginIid) {
        m_error = QStringLiteral("%1 is a plugin for %2, not a CAN service (%3).")
                          .arg(path, iid, ServicePluginIid);
        m_failure = Failure::PluginNotAService;
        return nullptr;
    }
    canservice::ConfigManager *config = canservice::ConfigManager::instance();
    config->setPluginFullPath(QFileInfo(path).canonicalFilePath());
    config->setSerialDevice(device);
    // Only the port this service opens while it is made is ours to hear.
    m_port = nullptr;
    config->setPortWatcher([this](canservice::SerialPort *port) { m_port = port; });
    QObject *instance = m_loader.instance();
    config->setPortWatcher(nullptr);
    if (!instance) {
        m_error = QStringLiteral("The plugin %1 could not be loaded: %2")
                          .arg(path, m_loader.errorString());
        m_failure = Failure::PluginNotLoaded;
        return nullptr;
    }
    auto *service = qobject_cast<CanServiceBase *>(instance);
    if (!service) {
        m_error = QStringLiteral("The plugin %1 does not implement the CAN service interface %2.")
                          .arg(path, QLatin1String(CanServiceBase_iid));
        m_failure = Failure::PluginNotAService;
        return nullptr;
    }
    return service;
}

} // namespace tool
