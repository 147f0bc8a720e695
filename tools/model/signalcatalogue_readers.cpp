// How the catalogue's values are read from the vehicle snapshot: its fields, units and the
// plugin's "no reading" forms.
#include "signalcatalogue_p.h"

#include "translator.h"

#include <cmath>

namespace tool {
namespace catalogue {

const QVariant &get(const VehicleSnapshot &s, F::Field field)
{
    return s.value(field);
}

double number(const QVariant &v)
{
    return v.type() == QVariant::Type(QMetaType::Float) ? VehicleSnapshot::plain(v.toFloat())
                                                         : v.toDouble();
}

Reading value(const QVariant &v, const QString &unit)
{
    return {v, unit};
}

Reading nothing()
{
    return {};
}

// The climate block's temperatures in its own unit, as Celsius: -1 is no setting, -100 and -101
// are LO and HI, which are no temperature.
Reading celsius(const VehicleSnapshot &s, F::Field field)
{
    const double t = number(get(s, field));
    if (t == -1 || t == -100 || t == -101)
        return nothing();
    const bool fahrenheit = get(s, F::ClimateUnit).toString() == Translator::translate(1163);
    const double c = fahrenheit ? std::round((t - 32) * 5 / 9 * 100) / 100 : t;
    return value(c, QStringLiteral("Celsius"));
}

Reading limit(const VehicleSnapshot &s, F::Field field)
{
    const double t = number(get(s, field));
    return t == -100 ? value(QStringLiteral("LO")) : t == -101 ? value(QStringLiteral("HI")) : nothing();
}

// The box's radar steps 1 to 7; 255 is nothing in range.
Reading step(const VehicleSnapshot &s, F::Field field)
{
    const int v = get(s, field).toInt();
    return v == 255 ? nothing() : value(v, QStringLiteral("step"));
}

Reading numberWithUnit(const VehicleSnapshot &s, F::Field field)
{
    return SignalCatalogue::numberWithUnit(get(s, field).toString());
}

Reading text(const VehicleSnapshot &s, F::Field field)
{
    const QString t = get(s, field).toString();
    return t.isEmpty() ? nothing() : value(t);
}

Reading flag(const VehicleSnapshot &s, F::Field field)
{
    return value(get(s, field).toBool());
}

Reading integer(const VehicleSnapshot &s, F::Field field, const QString &unit)
{
    return value(get(s, field).toInt(), unit);
}

// Which message's signal gives a value its first reading, by the value's name: before it the
// getter's default (a speed of 0, a door closed) is no reading. -1: read at once.
int announcedByName(const QString &name)
{
    using H = HeardSignals;
    static const QVector<QPair<const char *, H::Bit>> prefixes = {
            {"Vehicle.Speed", H::Speed},
            {"CanBox.Speed.", H::Speed},
            {"Vehicle.Powertrain.CombustionEngine.Speed", H::Rotate},
            {"Vehicle.Exterior.AirTemperature", H::Temperature},
            {"CanBox.OutsideTemperature.", H::Temperature},
            {"Vehicle.Body.", H::Door},
            {"Vehicle.Cabin.Door.", H::Door},
            {"CanBox.Tyre.", H::Tyre},
            {"CanBox.EmergencyCall.", H::EmergencyCall},
            {"CanBox.Version", H::Version},
            {"CanBox.Climate.", H::Climate},
            {"Vehicle.Cabin.HVAC.", H::Climate},
            {"CanBox.Parking.", H::Radar},
            {"CanBox.ParkingAssist.", H::OtherInfo},
            {"CanBox.Trip.", H::Driving},
            {"CanBox.Fuel.", H::Fuel},
            {"CanBox.Mileage.UnitFlag", H::LightSet},
            {"CanBox.Mileage.", H::TimeMileage},
            {"CanBox.AmbientLight.", H::Ambient},
            {"Vehicle.Cabin.Infotainment.HMI.", H::Units},
    };
    for (const auto &p : prefixes)
        if (name.startsWith(QLatin1String(p.first)))
            return p.second;
    return -1;
}

SignalInfo entry(const char *name, const char *type, const char *unit, const char *noReading,
                 const char *description, std::function<Reading(const VehicleSnapshot &)> read)
{
    return {QLatin1String(name), QLatin1String(type), QString::fromUtf8(unit),
            QString::fromUtf8(noReading), QString::fromUtf8(description), std::move(read)};
}

// The door bits as VSS names them: the box says left and right; VSS says driver and passenger
// side, which are left and right in a left-hand-drive car.
SignalInfo door(const char *name, F::Field field, const char *description)
{
    return entry(name, "boolean", "", "false (closed)", description,
                 [field](const VehicleSnapshot &s) { return flag(s, field); });
}

} // namespace catalogue
} // namespace tool
