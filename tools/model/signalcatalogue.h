#pragma once

#include <QJsonObject>
#include <QString>
#include <QVariant>
#include <QVector>

#include <functional>

namespace tool {

class VehicleSnapshot;

// One value as the tools show it: a number, bool or text, or null for "no reading"; and the unit
// it is in, where there is one.
struct Reading
{
    QVariant value;
    QString unit;

    bool isNull() const { return !value.isValid(); }
    bool operator==(const Reading &o) const { return value == o.value && unit == o.unit; }
    bool operator!=(const Reading &o) const { return !(*this == o); }
    // "12.5 km/h", "true", "\"CB 3.1\"", "no reading".
    QString text() const;
    QJsonValue json() const;
};

// Every value the plugin decodes, under one stable dotted name: the COVESA VSS 6.0 path where VSS
// has the signal (Vehicle.Speed), else a name of this project's own (CanBox.Climate.FanLevel).
// Text, JSON Lines and the dashboard name values from here.
struct SignalInfo
{
    QString name;
    QString type; // number, integer, boolean, string
    QString unit; // as VSS writes it; "varies" where the box says which
    QString noReading; // what the plugin holds before the box says anything, or when it says nothing
    QString description; // one line; a conversion from what the box sends is said here
    std::function<Reading(const VehicleSnapshot &)> read;
};

namespace SignalCatalogue {
// The values read from the vehicle state, in a fixed order.
const QVector<SignalInfo> &vehicleSignals();
// The names of what is not vehicle state: the link, the serial line, keys, notifications.
const QVector<SignalInfo> &eventSignals();
const SignalInfo *find(const QString &name);
// Every vehicle signal's reading, in catalogue order.
QVector<Reading> read(const VehicleSnapshot &snapshot);
// One vehicle signal's reading, by its place in the catalogue.
Reading read(const VehicleSnapshot &snapshot, int index);
// The HeardSignals bit whose signal gives that vehicle signal its first reading, or -1 when it
// has one at once.
int announcedBy(int index);
// A trip-computer or fuel text as the number it starts with and the unit word after it ("432km",
// "-1.5L/100km"); a text without a number stays text; an empty one is no reading.
Reading numberWithUnit(const QString &text);
} // namespace SignalCatalogue

} // namespace tool
