#pragma once

#include "canservicerecords.h"

#include <QObject>
#include <QString>
#include <QVariant>
#include <QVector>

#include <bitset>
#include <functional>

class CanServiceBase;

namespace tool {

// What the box has told so far: one bit per change signal of the service that came at least once,
// and one for the emergency-call message, which has no signal. Until its bit is set a value has
// no reading, whatever number the plugin's getter holds before. Kept as a child of the service,
// made by the first reader, before anything is received.
class HeardSignals : public QObject
{
    Q_OBJECT

public:
    enum Bit {
        Speed, Temperature, Rotate, Door, Version, Tyre, Climate, ClimateMode, Radar, Ambient,
        OtherInfo, Driving, Fuel, TimeMileage, LightSet, Units, EmergencyCall, BitCount
    };

    static HeardSignals *of(CanServiceBase *service);
    // The service's signal for a bit before EmergencyCall's.
    using ChangeSignal = void (CanServiceBase::*)();
    static ChangeSignal changeSignal(Bit bit);
    quint32 mask() const { return m_mask; }
    // A frame the service accepted, for what no signal announces: true when it is such a frame.
    bool frameAccepted(int id, int payloadSize);

private:
    explicit HeardSignals(CanServiceBase *service);
    quint32 m_mask = 0;
    // A bit once set stays set: each signal is heard here until it first comes.
    QMetaObject::Connection m_untilHeard[EmergencyCall];
};

// Everything a CAN service can tell about the vehicle at one moment, read through the service's
// getters only: one value per getter or record field, in a fixed order. The printers, the
// dashboard, the fuzz target and the tests all read the vehicle through this one type, by field:
// a misspelt field does not compile.
//
// Each field also has a stable dotted name: "speed", "climate.ac", "radar.rearLeft",
// "driving.item4", "units.text1". Values keep the getter's type (float, int, bool, QString).
class VehicleSnapshot
{
public:
    enum Field : int {
        Version, Speed, SpeedUnit, Rotate, Temperature, TemperatureText, TemperatureUnit,
        TimeAllMileage, OilAllMileage, MileageUnits, EmergencyCall,
        DoorStatus, DoorFrontLid, DoorRearLid, DoorLeftRear, DoorRightRear, DoorLeftFront, DoorRightFront,
        TyreAlertType, TyrePressureFL, TyrePressureFR, TyrePressureRL, TyrePressureRR, TyreUnit,
        ClimatePowerOff, ClimatePowerOffRear, ClimateRearClimate, ClimateAcMax, ClimateAc,
        ClimateInside, ClimateAuto, ClimateDual, ClimateRearDefrost, ClimateFrontDefrost,
        ClimateFrontLeftHeat, ClimateFrontRightHeat, ClimateRearLeftHeat, ClimateRearRightHeat,
        ClimateSteeringWheelHeat, ClimateGlassHeat, ClimateAirCare, ClimateProfile,
        ClimateLeftVentilation, ClimateRightVentilation, ClimateWindMode, ClimateWindScale,
        ClimateWindModeRear, ClimateWindScaleRear, ClimateShowRequest, ClimateLeft, ClimateRight,
        ClimateRear, ClimateUnit, ClimateRightUnit, ClimateAirCleaning, ClimateManual,
        ClimateDualControllable,
        // Sixteen sensors: front, rear, left and right, each side from one end to the other
        // (front and rear from left to right, left and right from front to rear).
        Radar,
        RadarStatus = Radar + 16,
        // The other-information texts 0 to 8; text 6 is the parking assist's.
        Other,
        OtherParkingAssistText = Other + 6,
        OtherInfoFlag = Other + 9,
        Driving, // the trip computer's items 0 to 17
        Fuel = Driving + 18, // the fuel texts 0 to 5
        CarSettingState0 = Fuel + 6, CarSettingColorPosition, CarSettingColorIndex,
        CarSettingState3, CarSettingState4, CarSettingValueText, CarSettingState12,
        CarSettingState13, CarSettingState14, CarSettingState15, CarSettingState16, AmbientStatus,
        Units, // per display-unit entry: its number of levels, its level, its word
        FieldCount = Units + 3 * UnitData::EntryCount
    };
    static Field driving(int item) { return Field(Driving + item); }
    static Field fuel(int index) { return Field(Fuel + index); }
    static Field unitText(int entry) { return Field(Units + 3 * entry + 2); }

    static VehicleSnapshot read(CanServiceBase &service);
    // Reads again the fields the given signal of the service announces (the emergency call's:
    // its state), and which bits have been heard; adds the fields whose values differ to changed.
    void refresh(CanServiceBase &service, HeardSignals::Bit group, QVector<int> *changed = nullptr);
    // Which of HeardSignals' bits were set when the snapshot was read.
    quint32 heard() const { return m_heard; }
    bool heard(HeardSignals::Bit bit) const { return m_heard & (1u << bit); }
    // Calls changed after every signal of the service that says the vehicle state may differ
    // (not the link status, keys or notifications), for as long as context lives.
    static void onChange(CanServiceBase *service, QObject *context, const std::function<void()> &changed);

    const QVariant &value(Field field) const
    {
        if (m_readFields)
            m_readFields->set(field);
        return m_values.at(field);
    }
    // While a FieldSet is given here, every field read through value() is added to it.
    using FieldSet = std::bitset<256>;
    static_assert(FieldCount <= 256, "a FieldSet holds every field");
    void noteReads(FieldSet *fields) const { m_readFields = fields; }
    static const QString &name(Field field);

    bool operator==(const VehicleSnapshot &other) const { return m_values == other.m_values; }
    bool operator!=(const VehicleSnapshot &other) const { return !(*this == other); }

    // A float as the double of its shortest text: 12345.6f is 12345.6, not 12345.599609375.
    static double plain(float value);
    // A value as text: floats in their shortest form, texts quoted unless asked not to.
    static QString format(const QVariant &value, bool quoteText = true);

private:
    QVector<QVariant> m_values;
    quint32 m_heard = 0;
    const CanServiceBase *m_heardOf = nullptr; // the service whose HeardSignals these are
    HeardSignals *m_heardSignals = nullptr;
    mutable FieldSet *m_readFields = nullptr;
};

} // namespace tool
