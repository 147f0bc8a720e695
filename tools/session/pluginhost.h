#pragma once

#include "failure.h"

#include <QPluginLoader>
#include <QString>

class CanServiceBase;

namespace tool {

// Loads the CAN service plugin the way a head unit does: QPluginLoader, the metadata's IID
// checked before the instance is made, then the cast to the service interface.
class PluginHost
{
public:
    static QString defaultPluginPath();

    // On failure returns null, with error() and failure() set.
    CanServiceBase *load(const QString &path);
    QString error() const { return m_error; }
    Failure failure() const { return m_failure; }
    QString fileName() const { return m_loader.fileName(); }

private:
    QPluginLoader m_loader;
    QString m_error;
    Failure m_failure = Failure::None;
};

} // namespace tool
