#pragma once

#include "canservicebase.h"

#include <QObject>
#include <QStringList>

namespace testsupport {

// Every signal of a service, in the order emitted, as "name" or "name(args)".
class SignalRecorder : public QObject
{
public:
    explicit SignalRecorder(CanServiceBase *service);

    QStringList events;
    QStringList take()
    {
        QStringList taken;
        taken.swap(events);
        return taken;
    }
};

} // namespace testsupport
