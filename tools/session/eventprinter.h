#pragma once

#include "canservicerecords.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTextStream>

class CanServiceBase;

// What the service tells the head unit, as one line per event: readable text, or one JSON object
// with the time, the signal and the state read back through the getters it concerns.
class EventPrinter : public QObject
{
    Q_OBJECT

public:
    EventPrinter(CanServiceBase *service, QTextStream &out, bool json, QObject *parent = nullptr);

    // A line that is not the service's (the simulator's view, a note), in the same stream.
    void note(const QString &text);
    // The serial line under the plugin went down (with the system's reason) or came back.
    void lineChanged(bool up, const QString &reason);
    // The final state, as a two-column table.
    void printSummary();

    int linkLosses() const { return m_linkLosses; }

private:
    void emitLine(const QString &signal, const QString &text, const QJsonObject &state);
    void onStatus(int status);
    void onDoors();
    void onClimate(const QString &signal);
    void onDrivingData();
    void onFuel();
    void onUnits();

    CanServiceBase *m_service;
    QTextStream &m_out;
    bool m_json;
    QElapsedTimer m_clock;

    int m_linkStatus = -1;
    int m_linkLosses = 0;
    int m_doors = 0;
    QString m_climate;
    int m_climateMode = -1;
    DrivingData m_driving;
    FuelConsumptionData m_fuel;
    UnitData m_units;
};
