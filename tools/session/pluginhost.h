#pragma once

#include <QPluginLoader>
#include <QString>

class CanServiceBase;

// Loads the CAN service plugin the way a head unit does: QPluginLoader, the metadata's IID
// checked before the instance is made, then the cast to the service interface.
class PluginHost
{
public:
    static QString defaultPluginPath();

    // On failure returns null, with error() and exitCode() set.
    CanServiceBase *load(const QString &path);
    QString error() const { return m_error; }
    int exitCode() const { return m_exitCode; }
    QString fileName() const { return m_loader.fileName(); }

private:
    QPluginLoader m_loader;
    QString m_error;
    int m_exitCode = 0;
};
