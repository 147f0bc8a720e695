#include "vehiclesnapshot.h"

#include "canservicebase.h"

#include <cstring>

namespace tool {

namespace {
// A float as its shortest text that reads back as the same float, so 12345.6f is "12345.6"
// and not the double it widens to.
QString shortest(float value)
{
    for (int digits = 6; digits < 9; ++digits) {
        const QString text = QString::number(double(value), 'g', digits);
        if (text.toFloat() == value)
            return text;
    }
    return QString::number(double(value), 'g', 9);
}
} // namespace


VehicleSnapshot VehicleSnapshot::read(CanServiceBase &s)
{
    VehicleSnapshot v;
    for (int group = 0; group < HeardSignals::BitCount; ++group)
        v.refresh(s, HeardSignals::Bit(group));
    return v;
}

void VehicleSnapshot::refresh(CanServiceBase &s, HeardSignals::Bit group)
{
    m_heard = HeardSignals::of(&s)->mask();
    if (m_values.size() != FieldCount)
        m_values.resize(FieldCount);
    switch (group) {
    case HeardSignals::Version:
        m_values[Version] = s.version();
        break;
    case HeardSignals::Speed:
        m_values[Speed] = s.getSpeed();
        m_values[SpeedUnit] = s.getSpeedUnit();
        break;
    case HeardSignals::Rotate:
        m_values[Rotate] = s.getRotate();
        break;
    case HeardSignals::Temperature:
        m_values[Temperature] = s.getTemperature();
        m_values[TemperatureText] = s.getTemperatureStr();
        m_values[TemperatureUnit] = s.getTemperatureUnit();
        break;
    case HeardSignals::TimeMileage:
        m_values[TimeAllMileage] = s.getTimeAllMileage();
        m_values[OilAllMileage] = s.getOilAllMileage();
        break;
    case HeardSignals::LightSet:
        m_values[MileageUnits] = s.getMileageUnits();
        break;
    case HeardSignals::EmergencyCall:
        m_values[EmergencyCall] = s.getEarGlonass();
        break;
    case HeardSignals::Door:
        m_values[DoorStatus] = s.getDoorStatus();
        m_values[DoorFrontLid] = s.isFrontDoorOpen();
        m_values[DoorRearLid] = s.isRearDoorOpen();
        m_values[DoorLeftRear] = s.isLeftRearDoorOpen();
        m_values[DoorRightRear] = s.isRightRearDoorOpen();
        m_values[DoorLeftFront] = s.isLeftFrontDoorOpen();
        m_values[DoorRightFront] = s.isRightFrontDoorOpen();
        break;
    case HeardSignals::Tyre:
        m_values[TyreAlertType] = s.getTireAlertType();
        m_values[TyrePressureFL] = s.getTirePressureValueFL();
        m_values[TyrePressureFR] = s.getTirePressureValueFR();
        m_values[TyrePressureRL] = s.getTirePressureValueRL();
        m_values[TyrePressureRR] = s.getTirePressureValueRR();
        m_values[TyreUnit] = s.getTireUnit();
        break;
    case HeardSignals::Climate:
    case HeardSignals::ClimateMode:
        m_values[ClimatePowerOff] = s.isPowerOff();
        m_values[ClimatePowerOffRear] = s.isPowerOffRear();
        m_values[ClimateRearClimate] = s.isRearClimate();
        m_values[ClimateAcMax] = s.isAcMax();
        m_values[ClimateAc] = s.isAc();
        m_values[ClimateInside] = s.isInside();
        m_values[ClimateAuto] = s.isAuto();
        m_values[ClimateDual] = s.isDual();
        m_values[ClimateRearDefrost] = s.isRearDefrost();
        m_values[ClimateFrontDefrost] = s.isFrontDefrost();
        m_values[ClimateFrontLeftHeat] = s.getAcFrontLeftHeat();
        m_values[ClimateFrontRightHeat] = s.getAcFrontRightHeat();
        m_values[ClimateRearLeftHeat] = s.getAcRearLeftHeat();
        m_values[ClimateRearRightHeat] = s.getAcRearRightHeat();
        m_values[ClimateSteeringWheelHeat] = s.isAcSwcHeat();
        m_values[ClimateGlassHeat] = s.isAcGlassHeat();
        m_values[ClimateAirCare] = s.isAirCareActive();
        m_values[ClimateProfile] = s.getAirConProfile();
        m_values[ClimateLeftVentilation] = s.getLeftVentilation();
        m_values[ClimateRightVentilation] = s.getRightVentilation();
        m_values[ClimateWindMode] = s.getAcWindMode();
        m_values[ClimateWindScale] = s.getAcWindScale();
        m_values[ClimateWindModeRear] = s.getAcWindModeRear();
        m_values[ClimateWindScaleRear] = s.getAcWindScaleRear();
        m_values[ClimateShowRequest] = s.getAcShowRequest();
        m_values[ClimateLeft] = s.getAcTemperature();
        m_values[ClimateRight] = s.getAcRightTemperature();
        m_values[ClimateRear] = s.getAcRearTemperature();
        m_values[ClimateUnit] = s.getAcTemperatureUnit();
        m_values[ClimateRightUnit] = s.getAcRightTemperatureUnit();
        m_values[ClimateAirCleaning] = s.getAcAirClearStatus();
        m_values[ClimateManual] = s.getManualClimateMode();
        m_values[ClimateDualControllable] = s.getDualControllableState();
        break;
    case HeardSignals::Radar: {
        using RadarGetter = int (CanServiceBase::*)();
        static const RadarGetter radar[] = {
            &CanServiceBase::getFrontRadarLeftDistance,
            &CanServiceBase::getFrontRadarMiddleLeftDistance,
            &CanServiceBase::getFrontRadarMiddleRightDistance,
            &CanServiceBase::getFrontRadarRightDistance,
            &CanServiceBase::getRearRadarLeftDistance,
            &CanServiceBase::getRearRadarMiddleLeftDistance,
            &CanServiceBase::getRearRadarMiddleRightDistance,
            &CanServiceBase::getRearRadarRightDistance,
            &CanServiceBase::getLeftRadarFrontDistance,
            &CanServiceBase::getLeftRadarMiddleFrontDistance,
            &CanServiceBase::getLeftRadarMiddleRearDistance,
            &CanServiceBase::getLeftRadarRearDistance,
            &CanServiceBase::getRightRadarFrontDistance,
            &CanServiceBase::getRightRadarMiddleFrontDistance,
            &CanServiceBase::getRightRadarMiddleRearDistance,
            &CanServiceBase::getRightRadarRearDistance,
        };
        for (int i = 0; i < 16; ++i)
            m_values[Radar + i] = (s.*radar[i])();
        m_values[RadarStatus] = s.isRadarStatus();
        break;
    }
    case HeardSignals::OtherInfo: {
        OtherInfoData other;
        s.getOtherInfoData(other);
        const QString otherTexts[] = {other.info0, other.info1, other.info2, other.info3, other.info4,
                                      other.info5, other.parkingAssistText, other.info7, other.info8};
        for (int i = 0; i < 9; ++i)
            m_values[Other + i] = otherTexts[i];
        m_values[OtherInfoFlag] = other.infoFlag;
        break;
    }
    case HeardSignals::Driving: {
        DrivingData d;
        s.getDrivingData(d);
        const QString items[] = {d.item0,  d.item1,  d.item2,  d.item3,  d.item4,  d.item5,
                                 d.item6,  d.item7,  d.item8,  d.item9,  d.item10, d.item11,
                                 d.item12, d.item13, d.item14, d.item15, d.item16, d.item17};
        for (int i = 0; i < 18; ++i)
            m_values[Driving + i] = items[i];
        break;
    }
    case HeardSignals::Fuel: {
        FuelConsumptionData f;
        s.getFuelConsumptionData(f);
        const QString fuel[] = {f.fuel0, f.fuel1, f.fuel2, f.fuel3, f.fuel4, f.fuel5};
        for (int i = 0; i < 6; ++i)
            m_values[Fuel + i] = fuel[i];
        break;
    }
    case HeardSignals::Ambient: {
        const CarSettingData c = s.getCarSettingData();
        m_values[CarSettingState0] = int(c.state0);
        m_values[CarSettingColorPosition] = int(c.colorPosition);
        m_values[CarSettingColorIndex] = int(c.colorIndex);
        m_values[CarSettingState3] = int(c.state3);
        m_values[CarSettingState4] = int(c.state4);
        m_values[CarSettingValueText] = QString::fromLatin1(c.valueText);
        m_values[CarSettingState12] = int(c.state12);
        m_values[CarSettingState13] = int(c.state13);
        m_values[CarSettingState14] = int(c.state14);
        m_values[CarSettingState15] = int(c.state15);
        m_values[CarSettingState16] = int(c.state16);
        m_values[AmbientStatus] = s.getAmbientStatus();
        break;
    }
    case HeardSignals::Units: {
        UnitData u;
        s.getUnitData(u);
        for (int i = 0; i < UnitData::EntryCount; ++i) {
            m_values[Units + 3 * i] = u.maxLevel.value(i);
            m_values[Units + 3 * i + 1] = u.level.value(i);
            m_values[Units + 3 * i + 2] = u.text.value(i);
        }
        break;
    }
    case HeardSignals::BitCount:
        break;
    }
}

double VehicleSnapshot::plain(float value)
{
    // A reading is mostly the same from one frame to the next: the last conversions are kept.
    struct Entry
    {
        quint32 bits = 0;
        double plain = 0; // 0 for bits 0, which is +0.0f
    };
    thread_local Entry recent[64];
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    Entry &entry = recent[(bits ^ (bits >> 7) ^ (bits >> 17)) & 63];
    if (entry.bits != bits)
        entry = {bits, shortest(value).toDouble()};
    return entry.plain;
}

QString VehicleSnapshot::format(const QVariant &value, bool quoteText)
{
    switch (int(value.type())) {
    case QMetaType::Float:
        return shortest(value.toFloat());
    case QMetaType::QString:
        return quoteText ? QLatin1Char('"') + value.toString() + QLatin1Char('"') : value.toString();
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    default:
        return value.toString();
    }
}

} // namespace tool
