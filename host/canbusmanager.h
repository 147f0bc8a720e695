#pragma once

#include "canservice_host_export.h"
#include "canservicerecords.h"

#include <QList>

#include <memory>

// The head unit's table of ambient-light colours, in the order its settings page shows them.
class CANSERVICE_HOST_EXPORT CanBusManager
{
public:
    static CanBusManager *instance();

    QList<canservice::HwdColorDiff> getHwdColorDiffList() const;
    void setHwdColorDiffList(const QList<canservice::HwdColorDiff> &list);
    static QList<canservice::HwdColorDiff> defaultHwdColorDiffList();

private:
    class Private;
    CanBusManager();
    ~CanBusManager();
    Q_DISABLE_COPY(CanBusManager)
    std::unique_ptr<Private> const d;
};
