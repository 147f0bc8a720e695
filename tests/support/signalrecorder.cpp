#include "signalrecorder.h"

namespace testsupport {

SignalRecorder::SignalRecorder(CanServiceBase *service)
{
    const auto record = [this](const char *name) {
        return [this, name] { events << QLatin1String(name); };
    };
    connect(service, &CanServiceBase::notifyCanbusStatus, this,
            [this](int status) { events << QStringLiteral("notifyCanbusStatus(%1)").arg(status); });
    connect(service, &CanServiceBase::messageChanged, this,
            [this](int id) { events << QStringLiteral("messageChanged(%1)").arg(id); });
    connect(service, &CanServiceBase::keyEvent, this, [this](int key, int action, bool flag) {
        events << QStringLiteral("keyEvent(%1,%2,%3)")
                          .arg(key)
                          .arg(action)
                          .arg(flag ? QLatin1String("true") : QLatin1String("false"));
    });
    connect(service, &CanServiceBase::speedChanged, this, record("speedChanged"));
    connect(service, &CanServiceBase::temperatureChanged, this, record("temperatureChanged"));
    connect(service, &CanServiceBase::rotateChanged, this, record("rotateChanged"));
    connect(service, &CanServiceBase::doorChanged, this, record("doorChanged"));
    connect(service, &CanServiceBase::sigVersionData, this, record("sigVersionData"));
    connect(service, &CanServiceBase::tireAlert, this, record("tireAlert"));
    connect(service, &CanServiceBase::acStatusChanged, this, record("acStatusChanged"));
    connect(service, &CanServiceBase::acManualClimateModeChanged, this,
            record("acManualClimateModeChanged"));
    connect(service, &CanServiceBase::sigRadarChanged, this, record("sigRadarChanged"));
    connect(service, &CanServiceBase::sigAmbientChanged, this, record("sigAmbientChanged"));
    connect(service, &CanServiceBase::otherInfoDataChanged, this, record("otherInfoDataChanged"));
    connect(service, &CanServiceBase::drivingDataChanged, this, record("drivingDataChanged"));
    connect(service, &CanServiceBase::fuelDataChanged, this, record("fuelDataChanged"));
    connect(service, &CanServiceBase::timeMileageInformation, this,
            record("timeMileageInformation"));
    connect(service, &CanServiceBase::lightSetInformation, this, record("lightSetInformation"));
    connect(service, &CanServiceBase::unitDataChanged, this, record("unitDataChanged"));
}

} // namespace testsupport
