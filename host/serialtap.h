#pragma once

#include "canservice_host_global.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace canservice {

// The head unit's diagnostic tap on its serial lines: every chunk received and every write, with
// the device it went over. Recorders and monitors listen here; nothing is kept.
class CANSERVICE_HOST_EXPORT SerialTap : public QObject
{
    Q_OBJECT

public:
    static SerialTap *instance();

signals:
    void received(const QString &device, const QByteArray &chunk);
    void written(const QString &device, const QByteArray &bytes, bool flag);

private:
    SerialTap() = default;
};

} // namespace canservice
