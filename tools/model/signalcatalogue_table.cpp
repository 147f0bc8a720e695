// The catalogue's entries: every value the plugin decodes under its VSS or project name, with its
// type, unit, "no reading" form, meaning and how it is read.
#include "signalcatalogue_p.h"

#include "canbusmanager.h"
#include "translator.h"

#include <cmath>

namespace tool {
namespace catalogue {

QVector<SignalInfo> carAndClimate()
{
    using S = const VehicleSnapshot &;
    QVector<SignalInfo> all = {
        entry("Vehicle.Speed", "number", "km/h", "0",
              "Vehicle speed; a box that reports mph is converted (x 1.609344).", [](S s) {
                  const double v = number(get(s, F::Speed));
                  const bool mph = get(s, F::SpeedUnit).toString() == Translator::translate(1205);
                  return value(mph ? std::round(v * 1.609344 * 1000) / 1000 : v, QStringLiteral("km/h"));
              }),
        entry("CanBox.Speed.DisplayUnit", "string", "", "none", "The unit the box asks the speed to be shown in.",
              [](S s) { return text(s, F::SpeedUnit); }),
        entry("Vehicle.Powertrain.CombustionEngine.Speed", "number", "rpm", "0", "Engine speed.",
              [](S s) { return value(double(get(s, F::Rotate).toInt()), QStringLiteral("rpm")); }),
        entry("Vehicle.Exterior.AirTemperature", "number", "Celsius", "null (the box sends no value)",
              "Outside air temperature.", [](S s) {
                  const double t = number(get(s, F::Temperature));
                  return t == 1000 ? nothing() : value(t, QStringLiteral("Celsius"));
              }),
        entry("CanBox.OutsideTemperature.DisplayUnit", "string", "", "the head unit's default (°C)",
              "The unit the box asks the outside temperature to be shown in.",
              [](S s) { return text(s, F::TemperatureUnit); }),
        door("Vehicle.Body.Hood.IsOpen", F::DoorFrontLid, "Front lid open."),
        door("Vehicle.Body.Trunk.Rear.IsOpen", F::DoorRearLid, "Rear lid open."),
        door("Vehicle.Cabin.Door.Row1.DriverSide.IsOpen", F::DoorLeftFront,
             "Left front door open (the driver's side in a left-hand-drive car)."),
        door("Vehicle.Cabin.Door.Row1.PassengerSide.IsOpen", F::DoorRightFront, "Right front door open."),
        door("Vehicle.Cabin.Door.Row2.DriverSide.IsOpen", F::DoorLeftRear, "Left rear door open."),
        door("Vehicle.Cabin.Door.Row2.PassengerSide.IsOpen", F::DoorRightRear, "Right rear door open."),
        entry("CanBox.Tyre.AlertTypeCode", "integer", "", "null (-1 from the plugin)",
              "Tyre alert type as the box's code; its meanings are not given.", [](S s) {
                  const int v = get(s, F::TyreAlertType).toInt();
                  return v == -1 ? nothing() : value(v);
              }),
        entry("CanBox.EmergencyCall.StateCode", "integer", "", "0",
              "Emergency-call system state as the box's code.",
              [](S s) { return integer(s, F::EmergencyCall); }),
        entry("CanBox.Version", "string", "", "null (empty)", "The box's version text.",
              [](S s) { return text(s, F::Version); }),

        entry("CanBox.Climate.IsOn", "boolean", "", "true", "Climate control on.",
              [](S s) { return value(!get(s, F::ClimatePowerOff).toBool()); }),
        entry("Vehicle.Cabin.HVAC.IsAirConditioningActive", "boolean", "", "false", "Air conditioning on.",
              [](S s) { return flag(s, F::ClimateAc); }),
        entry("Vehicle.Cabin.HVAC.IsRecirculationActive", "boolean", "", "false", "Inside air (recirculation).",
              [](S s) { return flag(s, F::ClimateInside); }),
        entry("CanBox.Climate.IsAuto", "boolean", "", "false", "Automatic climate on.",
              [](S s) { return flag(s, F::ClimateAuto); }),
        entry("CanBox.Climate.IsDual", "boolean", "", "false", "Left and right set apart.",
              [](S s) { return flag(s, F::ClimateDual); }),
        entry("CanBox.Climate.IsManualMode", "boolean", "", "false",
              "Manual climate mode: the keys send codes, not temperature levels.",
              [](S s) { return value(get(s, F::ClimateManual).toInt() == 1); }),
        entry("Vehicle.Cabin.HVAC.IsFrontDefrosterActive", "boolean", "", "false", "Front defrost on.",
              [](S s) { return flag(s, F::ClimateFrontDefrost); }),
        entry("Vehicle.Cabin.HVAC.IsRearDefrosterActive", "boolean", "", "false", "Rear defrost on.",
              [](S s) { return flag(s, F::ClimateRearDefrost); }),
        entry("CanBox.Climate.IsAcMax", "boolean", "", "false", "Maximum air conditioning.",
              [](S s) { return flag(s, F::ClimateAcMax); }),
        entry("CanBox.Climate.IsGlassHeatActive", "boolean", "", "false", "Glass heating on.",
              [](S s) { return flag(s, F::ClimateGlassHeat); }),
        entry("CanBox.Climate.IsSteeringWheelHeatActive", "boolean", "", "false", "Steering-wheel heating on.",
              [](S s) { return flag(s, F::ClimateSteeringWheelHeat); }),
        entry("CanBox.Climate.IsRearClimateOn", "boolean", "", "false", "Rear climate on.",
              [](S s) { return flag(s, F::ClimateRearClimate); }),
        entry("CanBox.Climate.FanLevel", "integer", "step", "0",
              "Fan level 0 to 7 as the box counts it (not a percentage).",
              [](S s) { return integer(s, F::ClimateWindScale, QStringLiteral("step")); }),
        entry("CanBox.Climate.WindModeCode", "integer", "", "0",
              "Air distribution as the plugin's wind-mode code; its meanings are not given.",
              [](S s) { return integer(s, F::ClimateWindMode); }),
        entry("Vehicle.Cabin.HVAC.Station.Row1.Driver.Temperature", "number", "Celsius",
              "null (no setting, LO or HI)",
              "Left temperature setting; a block in °F is converted ((F - 32) x 5/9).",
              [](S s) { return celsius(s, F::ClimateLeft); }),
        entry("Vehicle.Cabin.HVAC.Station.Row1.Passenger.Temperature", "number", "Celsius",
              "null (no setting, LO or HI)",
              "Right temperature setting; a block in °F is converted ((F - 32) x 5/9).",
              [](S s) { return celsius(s, F::ClimateRight); }),
        entry("CanBox.Climate.DriverLimit", "string", "", "null (a temperature is set)",
              "LO or HI when the left setting is at an end.", [](S s) { return limit(s, F::ClimateLeft); }),
        entry("CanBox.Climate.PassengerLimit", "string", "", "null (a temperature is set)",
              "LO or HI when the right setting is at an end.", [](S s) { return limit(s, F::ClimateRight); }),
        entry("CanBox.Climate.RearTemperature", "number", "Celsius", "15.5 (the block's zero)",
              "Rear temperature setting; a block in °F is converted.",
              [](S s) { return celsius(s, F::ClimateRear); }),
        entry("CanBox.Climate.DisplayUnit", "string", "", "°C",
              "The unit the climate block's temperatures are in.",
              [](S s) { return text(s, F::ClimateUnit); }),
        entry("CanBox.Climate.SeatHeat.DriverLevel", "integer", "step", "0", "Left seat heating level.",
              [](S s) { return integer(s, F::ClimateFrontLeftHeat, QStringLiteral("step")); }),
        entry("CanBox.Climate.SeatHeat.PassengerLevel", "integer", "step", "0", "Right seat heating level.",
              [](S s) { return integer(s, F::ClimateFrontRightHeat, QStringLiteral("step")); }),
        entry("CanBox.Climate.Ventilation.DriverLevel", "integer", "step", "0", "Left seat ventilation level.",
              [](S s) { return integer(s, F::ClimateLeftVentilation, QStringLiteral("step")); }),
        entry("CanBox.Climate.Ventilation.PassengerLevel", "integer", "step", "0", "Right seat ventilation level.",
              [](S s) { return integer(s, F::ClimateRightVentilation, QStringLiteral("step")); }),
        entry("CanBox.Climate.ProfileCode", "integer", "", "0", "Climate profile as the box's code.",
              [](S s) { return integer(s, F::ClimateProfile); }),
        entry("CanBox.Climate.AirCleaningCode", "integer", "", "0", "Air cleaning state as the box's code.",
              [](S s) { return integer(s, F::ClimateAirCleaning); }),
    };
    return all;
}

QVector<SignalInfo> parkingTripAndSettings()
{
    using S = const VehicleSnapshot &;
    QVector<SignalInfo> all;
    const char *const sides[] = {"Front", "Rear"};
    const char *const places[] = {"Left", "MiddleLeft", "MiddleRight", "Right"};
    for (int i = 0; i < 8; ++i) {
        const QByteArray name = QByteArray("CanBox.Parking.") + sides[i / 4] + '.' + places[i % 4] + ".Step";
        const F::Field field = F::Field(F::Radar + i);
        all << entry(name.constData(), "integer", "step", "null (nothing in range)",
                     "Parking sensor distance step, 1 nearest to 7 farthest.",
                     [field](S s) { return step(s, field); });
    }
    all << entry("CanBox.ParkingAssist.IsOn", "boolean", "", "null (not reported yet)", "Parking assist on.",
                 [](S s) {
                     const QString t = get(s, F::OtherParkingAssistText).toString();
                     return t.isEmpty() ? nothing() : value(t == Translator::translate(1177));
                 });

    // Trip-computer items by the box's item code; their kind follows from the unit words.
    const struct
    {
        const char *name;
        F::Field field;
        const char *description;
    } trip[] = {
        {"CanBox.Trip.Distance1", F::driving(4), "Trip distance, item 0x10 or 0x20 (km or mi)."},
        {"CanBox.Trip.Distance2", F::driving(11), "Trip distance, item 0x21 (km or mi)."},
        {"CanBox.Trip.Distance3", F::driving(17), "Trip distance, item 0x22 (km or mi)."},
        {"CanBox.Trip.Consumption1", F::driving(7), "Consumption, item 0x30 (L/100km, km/L or mpg)."},
        {"CanBox.Trip.Consumption2", F::driving(15), "Consumption, item 0x31."},
        {"CanBox.Trip.Consumption3", F::driving(9), "Consumption, item 0x32."},
        {"CanBox.Trip.Consumption4", F::driving(3), "Consumption, item 0x61."},
        {"CanBox.Trip.Speed1", F::driving(0), "Trip speed, item 0x40 (km/h or mph)."},
        {"CanBox.Trip.Speed2", F::driving(6), "Trip speed, item 0x41."},
        {"CanBox.Trip.Speed3", F::driving(12), "Trip speed, item 0x42."},
        {"CanBox.Trip.Time1", F::driving(2), "Trip time, item 0x50 (min)."},
        {"CanBox.Trip.Time2", F::driving(8), "Trip time, item 0x51 (min)."},
        {"CanBox.Trip.Time3", F::driving(14), "Trip time, item 0x52 (min)."},
    };
    for (const auto &t : trip) {
        const F::Field field = t.field;
        all << entry(t.name, "number", "varies", "null (not reported yet)", t.description,
                     [field](S s) { return numberWithUnit(s, field); });
    }
    const struct
    {
        const char *name;
        F::Field field;
        const char *description;
    } fuel[] = {
        {"CanBox.Fuel.Field0", F::fuel(0), "Fuel information byte 0, a whole number (message 0x16)."},
        {"CanBox.Fuel.Field1", F::fuel(1), "Fuel information bytes 1-2 in tenths (message 0x16)."},
        {"CanBox.Fuel.Field2", F::fuel(2), "Past fuel information bytes 3-4 in tenths (message 0x17)."},
        {"CanBox.Fuel.Field3", F::fuel(3), "Repeats field 2 (message 0x17)."},
        {"CanBox.Fuel.Field4", F::fuel(4), "Past fuel information bytes 8-9 in tenths (message 0x17)."},
        {"CanBox.Fuel.Field5", F::fuel(5), "Past fuel information bytes 13-14 in tenths (message 0x17)."},
    };
    for (const auto &f : fuel) {
        const F::Field field = f.field;
        all << entry(f.name, "number", "", "null (not reported yet)", f.description,
                     [field](S s) { return numberWithUnit(s, field); });
    }
    all << entry("CanBox.Mileage.Total", "number", "", "0",
                 "Total mileage, bytes 4-6 of message 0x09 in tenths, in the box's distance unit.",
                 [](S s) { return value(number(get(s, F::OilAllMileage))); })
        << entry("CanBox.Mileage.Second", "number", "", "0",
                 "The second figure of message 0x09, bytes 6-8 in tenths.",
                 [](S s) { return value(number(get(s, F::TimeAllMileage))); })
        << entry("CanBox.Mileage.UnitFlag", "integer", "", "0",
                 "The light-setting message's mileage unit bit (0 or 4).",
                 [](S s) { return integer(s, F::MileageUnits); })
        << entry("CanBox.AmbientLight.ColorIndex", "integer", "", "null (255: no colour of the list)",
                 "Ambient colour as a position in the head unit's colour list.", [](S s) {
                     const int i = get(s, F::CarSettingColorIndex).toInt();
                     return i == 255 ? nothing() : value(i);
                 })
        << entry("CanBox.AmbientLight.ColorName", "string", "", "null",
                 "The name of that colour in the head unit's list.", [](S s) {
                     const int i = get(s, F::CarSettingColorIndex).toInt();
                     const auto colours = CanBusManager::instance()->getHwdColorDiffList();
                     return i < colours.size() ? value(colours.at(i).name) : nothing();
                 })
        << entry("CanBox.AmbientLight.ColorRgb", "string", "", "null",
                 "That colour as #rrggbb, from the head unit's list.", [](S s) {
                     const int i = get(s, F::CarSettingColorIndex).toInt();
                     const auto colours = CanBusManager::instance()->getHwdColorDiffList();
                     return i < colours.size()
                             ? value(QStringLiteral("#%1").arg(colours.at(i).rgb & 0xFFFFFF, 6, 16, QLatin1Char('0')))
                             : nothing();
                 })
        << entry("Vehicle.Cabin.Infotainment.HMI.DistanceUnit", "string", "", "null (not reported yet)",
                 "The display's distance unit: MILES or KILOMETERS.", [](S s) {
                     const QString t = get(s, F::unitText(1)).toString();
                     return t.isEmpty() ? nothing()
                                        : value(t == Translator::translate(1169) ? QStringLiteral("MILES")
                                                                                  : QStringLiteral("KILOMETERS"));
                 })
        << entry("Vehicle.Cabin.Infotainment.HMI.TemperatureUnit", "string", "", "null (not reported yet)",
                 "The display's temperature unit: C or F.", [](S s) {
                     const QString t = get(s, F::unitText(3)).toString();
                     return t.isEmpty() ? nothing()
                                        : value(t == Translator::translate(1163) ? QStringLiteral("F")
                                                                                  : QStringLiteral("C"));
                 });
    return all;
}

QVector<SignalInfo> events()
{
    const auto none = [](const VehicleSnapshot &) { return Reading(); };
    return {
        entry("CanBox.Link", "string", "", "never up",
              "The box answers (up) or stopped answering (lost), as the plugin reports it.", none),
        entry("CanBox.Line", "string", "", "up",
              "The serial line under the plugin: down (with the system's reason) or up again.", none),
        entry("CanBox.Key", "integer", "", "none",
              "A key event: the key's code and press, short release, long press or long release.", none),
        entry("CanBox.Notification", "integer", "", "none",
              "A message the plugin passes on as is: 64 report, 104 outside-temperature unit.", none),
    };
}

} // namespace catalogue
} // namespace tool
