#pragma once

// The making of the signal catalogue, shared by the files it is made in; not for its readers.
#include "signalcatalogue.h"
#include "vehiclesnapshot.h"

namespace tool {
namespace catalogue {
using F = VehicleSnapshot;

const QVariant &get(const VehicleSnapshot &s, F::Field field);
double number(const QVariant &v);
Reading value(const QVariant &v, const QString &unit = QString());
Reading nothing();
// The climate block's temperatures as Celsius; no reading for no setting, LO and HI.
Reading celsius(const VehicleSnapshot &s, F::Field field);
// LO or HI when a climate temperature is at an end.
Reading limit(const VehicleSnapshot &s, F::Field field);
// A radar step 1 to 7; no reading for nothing in range.
Reading step(const VehicleSnapshot &s, F::Field field);
Reading numberWithUnit(const VehicleSnapshot &s, F::Field field);
Reading text(const VehicleSnapshot &s, F::Field field);
Reading flag(const VehicleSnapshot &s, F::Field field);
Reading integer(const VehicleSnapshot &s, F::Field field, const QString &unit = QString());

SignalInfo entry(const char *name, const char *type, const char *unit, const char *noReading,
                 const char *description, std::function<Reading(const VehicleSnapshot &)> read);
SignalInfo door(const char *name, F::Field field, const char *description);
// Which HeardSignals bit's signal gives a value its first reading, by the value's name; -1: at once.
int announcedByName(const QString &name);

// The vehicle's values in catalogue order: the car and its climate, then the rest.
QVector<SignalInfo> carAndClimate();
QVector<SignalInfo> parkingTripAndSettings();
// What is not vehicle state: the link, the line, keys, notifications.
QVector<SignalInfo> events();
} // namespace catalogue
} // namespace tool
