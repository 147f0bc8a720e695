#pragma once

#include "signalcatalogue.h"
#include "vehiclesnapshot.h"

#include <QObject>
#include <QVector>

#include <vector>

class CanServiceBase;

namespace tool {

// The vehicle as the tools show it, kept up to date with work in proportion to what changed: each
// change signal of the service reads again only the fields it announces, and the catalogue values
// that read a field whose value changed. The speed's unit and the emergency-call state, which the
// service may change without a signal of their own, are read again with every signal.
class VehicleState : public QObject
{
    Q_OBJECT

public:
    explicit VehicleState(CanServiceBase *service, QObject *parent = nullptr);

    const VehicleSnapshot &snapshot() const { return m_snapshot; }
    // Every vehicle signal's reading, in catalogue order.
    const QVector<Reading> &readings() const { return m_readings; }
    // Reads again what may have changed without a signal (after a frame the service handled
    // silently, such as the emergency call's).
    void refreshSilent();
    // Reads everything again, as at the end of a run.
    void refreshAll();

signals:
    // The places in the catalogue whose readings changed, in catalogue order.
    void changed(const QVector<int> &entries);

private:
    void update(HeardSignals::Bit group);
    void reread(int entry);
    void report();

    CanServiceBase *m_service;
    VehicleSnapshot m_snapshot;
    QVector<Reading> m_readings;
    QVector<int> m_changed;
    std::vector<VehicleSnapshot::FieldSet> m_reads; // per value: the fields it read last time
    std::vector<std::vector<int>> m_readers; // per field: the values that read it last time
    std::vector<bool> m_pending; // per value: to be read again in this update
    QVector<int> m_fields; // the fields changed in this update
    QVector<int> m_entries; // the values to read again in this update
};

} // namespace tool
