#include "vehiclestate.h"

#include "canservicebase.h"

#include <algorithm>
#include <utility>

namespace tool {

namespace {
using Bit = HeardSignals::Bit;

// Read again after any signal: the speed's unit changes with a frame that leaves the speed as it
// was, and so tells nobody; the emergency call has no signal at all.
const Bit Silent[] = {HeardSignals::Speed, HeardSignals::EmergencyCall};
} // namespace

// Each catalogue value is read again when a field it read last time changed: a value is the
// catalogue's function of the fields it reads (and of the bits heard, which change a handful of
// times in a run and then have everything read again), so while those fields hold, it holds.
VehicleState::VehicleState(CanServiceBase *service, QObject *parent)
    : QObject(parent), m_service(service)
{
    // Made first, so that a signal's bit is set before the values it announces are read.
    HeardSignals::of(service);
    m_snapshot = VehicleSnapshot::read(*service);
    const int count = SignalCatalogue::vehicleSignals().size();
    m_readings.resize(count);
    m_reads.resize(size_t(count));
    m_readers.resize(VehicleSnapshot::FieldCount);
    m_pending.resize(size_t(count));
    for (int i = 0; i < count; ++i)
        reread(i);
    m_changed.clear();
    for (int bit = 0; bit < HeardSignals::EmergencyCall; ++bit)
        connect(service, HeardSignals::changeSignal(Bit(bit)), this, [this, bit] { update(Bit(bit)); });
}

void VehicleState::update(Bit group)
{
    // The climate block's mode signal comes right after its status signal, for the same block,
    // which that one has read already.
    if (group == HeardSignals::ClimateMode)
        return;
    const quint32 heard = m_snapshot.heard();
    m_fields.clear();
    m_snapshot.refresh(*m_service, group, &m_fields);
    for (const Bit silent : Silent)
        if (silent != group)
            m_snapshot.refresh(*m_service, silent, &m_fields);
    if (m_snapshot.heard() != heard) {
        for (int i = 0; i < m_readings.size(); ++i)
            reread(i);
        report();
        return;
    }
    // Each reader of a changed field once, in catalogue order.
    QVector<int> &entries = m_entries;
    entries.clear();
    for (const int field : qAsConst(m_fields))
        for (const int i : m_readers[size_t(field)])
            if (!m_pending[size_t(i)]) {
                m_pending[size_t(i)] = true;
                entries << i;
            }
    std::sort(entries.begin(), entries.end());
    for (const int i : qAsConst(entries)) {
        m_pending[size_t(i)] = false;
        reread(i);
    }
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
    VehicleSnapshot::FieldSet reads;
    m_snapshot.noteReads(&reads);
    Reading now = SignalCatalogue::read(m_snapshot, entry);
    m_snapshot.noteReads(nullptr);
    VehicleSnapshot::FieldSet &before = m_reads[size_t(entry)];
    if (reads != before) {
        // The value took another branch: its fields are not those of last time.
        for (int field = 0; field < VehicleSnapshot::FieldCount; ++field) {
            if (before.test(size_t(field)) == reads.test(size_t(field)))
                continue;
            std::vector<int> &readers = m_readers[size_t(field)];
            if (reads.test(size_t(field)))
                readers.push_back(entry);
            else
                readers.erase(std::find(readers.begin(), readers.end(), entry));
        }
        before = reads;
    }
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
    // The list is handed over and, when nothing was added meanwhile, taken back with its room.
    QVector<int> changed;
    changed.swap(m_changed);
    emit this->changed(changed);
    if (m_changed.isEmpty()) {
        changed.clear();
        m_changed.swap(changed);
    }
}

} // namespace tool
