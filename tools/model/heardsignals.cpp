// What the box has told so far, by the service's change signals.
#include "vehiclesnapshot.h"

#include "canboxframe.h"
#include "canservicebase.h"

namespace tool {

namespace {
// The change signals, in the order of HeardSignals' bits.
using ChangeSignal = HeardSignals::ChangeSignal;
const ChangeSignal ChangeSignals[] = {
        &CanServiceBase::speedChanged,      &CanServiceBase::temperatureChanged,
        &CanServiceBase::rotateChanged,     &CanServiceBase::doorChanged,
        &CanServiceBase::sigVersionData,    &CanServiceBase::tireAlert,
        &CanServiceBase::acStatusChanged,   &CanServiceBase::acManualClimateModeChanged,
        &CanServiceBase::sigRadarChanged,   &CanServiceBase::sigAmbientChanged,
        &CanServiceBase::otherInfoDataChanged, &CanServiceBase::drivingDataChanged,
        &CanServiceBase::fuelDataChanged,   &CanServiceBase::timeMileageInformation,
        &CanServiceBase::lightSetInformation, &CanServiceBase::unitDataChanged};
static_assert(sizeof ChangeSignals / sizeof *ChangeSignals == HeardSignals::EmergencyCall,
              "one change signal per bit before the emergency call's");
} // namespace

HeardSignals::HeardSignals(CanServiceBase *service) : QObject(service)
{
    setObjectName(QStringLiteral("canservice-heard-signals"));
    // The service sends most of these with every frame of their kind; only the first is news here,
    // and a signal nobody else hears then costs the service next to nothing.
    for (int bit = 0; bit < EmergencyCall; ++bit)
        m_untilHeard[bit] = connect(service, ChangeSignals[bit], this, [this, bit] {
            m_mask |= 1u << bit;
            disconnect(m_untilHeard[bit]);
        });
}

HeardSignals::ChangeSignal HeardSignals::changeSignal(Bit bit)
{
    return ChangeSignals[bit];
}

HeardSignals *HeardSignals::of(CanServiceBase *service)
{
    if (auto *heard = service->findChild<HeardSignals *>(QString(), Qt::FindDirectChildrenOnly))
        return heard;
    return new HeardSignals(service);
}

bool HeardSignals::frameAccepted(int id, int payloadSize)
{
    // The emergency-call state takes a two-byte message and tells nobody.
    if (id != canbox::in::EmergencyCall || payloadSize != 2)
        return false;
    m_mask |= 1u << EmergencyCall;
    return true;
}

void VehicleSnapshot::onChange(CanServiceBase *service, QObject *context,
                               const std::function<void()> &changed)
{
    HeardSignals::of(service);
    for (const ChangeSignal signal : ChangeSignals)
        QObject::connect(service, signal, context, changed);
}

} // namespace tool
