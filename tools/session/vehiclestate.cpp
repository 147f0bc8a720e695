#include "vehiclestate.h"

#include "canservicebase.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tool {

namespace {
using Bit = HeardSignals::Bit;

// Read again after any signal: the speed's unit changes with a frame that leaves the speed as it
// was, and so tells nobody; the emergency call has no signal at all.
const Bit Silent[] = {HeardSignals::Speed, HeardSignals::EmergencyCall};

// The catalogue's places by the group of fields they read, and those read after every signal.
struct Entries
{
    std::array<QVector<int>, HeardSignals::BitCount> byGroup;
    QVector<int> silent;
};

const Entries &entries()
{
    static const Entries all = [] {
        Entries e;
        const int count = SignalCatalogue::vehicleSignals().size();
        for (int i = 0; i < count; ++i) {
            const int bit = SignalCatalogue::announcedBy(i);
            if (bit < 0 || std::find(std::begin(Silent), std::end(Silent), Bit(bit)) != std::end(Silent)) {
                e.silent << i;
                continue;
            }
            e.byGroup[bit] << i;
        }
        return e;
    }();
    return all;
}
} // namespace

VehicleState::VehicleState(CanServiceBase *service, QObject *parent)
    : QObject(parent), m_service(service)
{
    // Made first, so that a signal's bit is set before the values it announces are read.
    HeardSignals::of(service);
    m_snapshot = VehicleSnapshot::read(*service);
    m_readings = SignalCatalogue::read(m_snapshot);
    for (int bit = 0; bit < HeardSignals::EmergencyCall; ++bit)
        connect(service, HeardSignals::changeSignal(Bit(bit)), this, [this, bit] { update(Bit(bit)); });
}

void VehicleState::update(Bit group)
{
    // The climate block's mode signal comes right after its status signal, for the same block,
    // which that one has read already.
    if (group == HeardSignals::ClimateMode)
        return;
    m_snapshot.refresh(*m_service, group);
    for (const Bit silent : Silent)
        m_snapshot.refresh(*m_service, silent);
    const Entries &all = entries();
    for (int i : all.byGroup[group])
        reread(i);
    for (int i : all.silent)
        reread(i);
    report();
}

void VehicleState::refreshSilent()
{
    update(HeardSignals::EmergencyCall);
}

void VehicleState::refreshAll()
{
    m_snapshot = VehicleSnapshot::read(*m_service);
    for (int i = 0; i < m_readings.size(); ++i)
        reread(i);
    report();
}

void VehicleState::reread(int entry)
{
    Reading now = SignalCatalogue::read(m_snapshot, entry);
    if (now != m_readings.at(entry)) {
        m_readings[entry] = std::move(now);
        m_changed << entry;
    }
}

void VehicleState::report()
{
    if (m_changed.isEmpty())
        return;
    std::sort(m_changed.begin(), m_changed.end());
    const QVector<int> changed = std::exchange(m_changed, {});
    emit this->changed(changed);
}

} // namespace tool
