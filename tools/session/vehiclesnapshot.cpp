#include "vehiclesnapshot.h"

#include "canboxframe.h"
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

namespace {
// The change signals, in the order of HeardSignals' bits.
using ChangeSignal = HeardSignals::ChangeSignal;
const ChangeSignal ChangeSignals[] = {
        &CanServiceBase::speedChanged,      &CanServiceBase::temperatureChanged,
        &CanServiceBase::rotateChanged,     &CanServiceBase::doorChanged,
        &CanServiceBase::sigVersionData,    &CanServiceBase::tireAlert,
        &CanServiceBase::acStatusChanged,   &CanServiceBase::acManualClimateModeChanged,
        &CanServiceBase::sigRadarChanged,   &CanServiceBase::sigAmbientChanged,
        &CanServiceBase::otherInfoDataChanged, &CanServiceBase::drivingDataChanged,
        &CanServiceBase::fuelDataChanged,   &CanServiceBase::timeMileageInformation,
        &CanServiceBase::lightSetInformation, &CanServiceBase::unitDataChanged};
static_assert(sizeof ChangeSignals / sizeof *ChangeSignals == HeardSignals::EmergencyCall,
              "one change signal per bit before the emergency call's");
} // namespace

HeardSignals::HeardSignals(CanServiceBase *service) : QObject(service)
{
    setObjectName(QStringLiteral("canservice-heard-signals"));
    for (int bit = 0; bit < EmergencyCall; ++bit)
        connect(service, ChangeSignals[bit], this, [this, bit] { m_mask |= 1u << bit; });
}

HeardSignals::ChangeSignal HeardSignals::changeSignal(Bit bit)
{
    return ChangeSignals[bit];
}

HeardSignals *HeardSignals::of(CanServiceBase *service)
{
    if (auto *heard = service->findChild<HeardSignals *>(QString(), Qt::FindDirectChildrenOnly))
        return heard;
    return new HeardSignals(service);
}

bool HeardSignals::frameAccepted(int id, int payloadSize)
{
    // The emergency-call state takes a two-byte message and tells nobody.
    if (id != canbox::in::EmergencyCall || payloadSize != 2)
        return false;
    m_mask |= 1u << EmergencyCall;
    return true;
}

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

const QString &VehicleSnapshot::name(Field field)
{
    static const QVector<QString> names = [] {
        QVector<QString> n(FieldCount);
        n[Version] = QStringLiteral("version");
        n[Speed] = QStringLiteral("speed");
        n[SpeedUnit] = QStringLiteral("speedUnit");
        n[Rotate] = QStringLiteral("rotate");
        n[Temperature] = QStringLiteral("temperature");
        n[TemperatureText] = QStringLiteral("temperatureText");
        n[TemperatureUnit] = QStringLiteral("temperatureUnit");
        n[TimeAllMileage] = QStringLiteral("timeAllMileage");
        n[OilAllMileage] = QStringLiteral("oilAllMileage");
        n[MileageUnits] = QStringLiteral("mileageUnits");
        n[EmergencyCall] = QStringLiteral("emergencyCall");
        n[DoorStatus] = QStringLiteral("doorStatus");
        n[DoorFrontLid] = QStringLiteral("door.frontLid");
        n[DoorRearLid] = QStringLiteral("door.rearLid");
        n[DoorLeftRear] = QStringLiteral("door.leftRear");
        n[DoorRightRear] = QStringLiteral("door.rightRear");
        n[DoorLeftFront] = QStringLiteral("door.leftFront");
        n[DoorRightFront] = QStringLiteral("door.rightFront");
        n[TyreAlertType] = QStringLiteral("tyre.alertType");
        n[TyrePressureFL] = QStringLiteral("tyre.pressureFL");
        n[TyrePressureFR] = QStringLiteral("tyre.pressureFR");
        n[TyrePressureRL] = QStringLiteral("tyre.pressureRL");
        n[TyrePressureRR] = QStringLiteral("tyre.pressureRR");
        n[TyreUnit] = QStringLiteral("tyre.unit");
        n[ClimatePowerOff] = QStringLiteral("climate.powerOff");
        n[ClimatePowerOffRear] = QStringLiteral("climate.powerOffRear");
        n[ClimateRearClimate] = QStringLiteral("climate.rearClimate");
        n[ClimateAcMax] = QStringLiteral("climate.acMax");
        n[ClimateAc] = QStringLiteral("climate.ac");
        n[ClimateInside] = QStringLiteral("climate.inside");
        n[ClimateAuto] = QStringLiteral("climate.auto");
        n[ClimateDual] = QStringLiteral("climate.dual");
        n[ClimateRearDefrost] = QStringLiteral("climate.rearDefrost");
        n[ClimateFrontDefrost] = QStringLiteral("climate.frontDefrost");
        n[ClimateFrontLeftHeat] = QStringLiteral("climate.frontLeftHeat");
        n[ClimateFrontRightHeat] = QStringLiteral("climate.frontRightHeat");
        n[ClimateRearLeftHeat] = QStringLiteral("climate.rearLeftHeat");
        n[ClimateRearRightHeat] = QStringLiteral("climate.rearRightHeat");
        n[ClimateSteeringWheelHeat] = QStringLiteral("climate.steeringWheelHeat");
        n[ClimateGlassHeat] = QStringLiteral("climate.glassHeat");
        n[ClimateAirCare] = QStringLiteral("climate.airCare");
        n[ClimateProfile] = QStringLiteral("climate.profile");
        n[ClimateLeftVentilation] = QStringLiteral("climate.leftVentilation");
        n[ClimateRightVentilation] = QStringLiteral("climate.rightVentilation");
        n[ClimateWindMode] = QStringLiteral("climate.windMode");
        n[ClimateWindScale] = QStringLiteral("climate.windScale");
        n[ClimateWindModeRear] = QStringLiteral("climate.windModeRear");
        n[ClimateWindScaleRear] = QStringLiteral("climate.windScaleRear");
        n[ClimateShowRequest] = QStringLiteral("climate.showRequest");
        n[ClimateLeft] = QStringLiteral("climate.left");
        n[ClimateRight] = QStringLiteral("climate.right");
        n[ClimateRear] = QStringLiteral("climate.rear");
        n[ClimateUnit] = QStringLiteral("climate.unit");
        n[ClimateRightUnit] = QStringLiteral("climate.rightUnit");
        n[ClimateAirCleaning] = QStringLiteral("climate.airCleaning");
        n[ClimateManual] = QStringLiteral("climate.manual");
        n[ClimateDualControllable] = QStringLiteral("climate.dualControllable");
        n[RadarStatus] = QStringLiteral("radar.status");
        n[OtherInfoFlag] = QStringLiteral("other.infoFlag");
        n[CarSettingState0] = QStringLiteral("carSetting.state0");
        n[CarSettingColorPosition] = QStringLiteral("carSetting.colorPosition");
        n[CarSettingColorIndex] = QStringLiteral("carSetting.colorIndex");
        n[CarSettingState3] = QStringLiteral("carSetting.state3");
        n[CarSettingState4] = QStringLiteral("carSetting.state4");
        n[CarSettingValueText] = QStringLiteral("carSetting.valueText");
        n[CarSettingState12] = QStringLiteral("carSetting.state12");
        n[CarSettingState13] = QStringLiteral("carSetting.state13");
        n[CarSettingState14] = QStringLiteral("carSetting.state14");
        n[CarSettingState15] = QStringLiteral("carSetting.state15");
        n[CarSettingState16] = QStringLiteral("carSetting.state16");
        n[AmbientStatus] = QStringLiteral("ambientStatus");
        static const char *const sensors[] = {"frontLeft", "frontMiddleLeft", "frontMiddleRight", "frontRight", "rearLeft", "rearMiddleLeft", "rearMiddleRight", "rearRight", "leftFront", "leftMiddleFront", "leftMiddleRear", "leftRear", "rightFront", "rightMiddleFront", "rightMiddleRear", "rightRear"};
        for (int i = 0; i < 16; ++i)
            n[Radar + i] = QStringLiteral("radar.") + QLatin1String(sensors[i]);
        n[RadarStatus] = QStringLiteral("radar.status");
        for (int i = 0; i < 9; ++i)
            n[Other + i] = QStringLiteral("other.info%1").arg(i);
        n[OtherParkingAssistText] = QStringLiteral("other.parkingAssistText");
        n[OtherInfoFlag] = QStringLiteral("other.infoFlag");
        for (int i = 0; i < 18; ++i)
            n[Driving + i] = QStringLiteral("driving.item%1").arg(i);
        for (int i = 0; i < 6; ++i)
            n[Fuel + i] = QStringLiteral("fuel.fuel%1").arg(i);
        const char *const setting[] = {"state0", "colorPosition", "colorIndex", "state3", "state4",
                                       "valueText", "state12", "state13", "state14", "state15", "state16"};
        for (int i = 0; i < 11; ++i)
            n[CarSettingState0 + i] = QStringLiteral("carSetting.") + QLatin1String(setting[i]);
        n[AmbientStatus] = QStringLiteral("ambientStatus");
        for (int i = 0; i < UnitData::EntryCount; ++i) {
            n[Units + 3 * i] = QStringLiteral("units.maxLevel%1").arg(i);
            n[Units + 3 * i + 1] = QStringLiteral("units.level%1").arg(i);
            n[Units + 3 * i + 2] = QStringLiteral("units.text%1").arg(i);
        }
        return n;
    }();
    return names.at(field);
}

void VehicleSnapshot::onChange(CanServiceBase *service, QObject *context,
                               const std::function<void()> &changed)
{
    HeardSignals::of(service);
    for (const ChangeSignal signal : ChangeSignals)
        QObject::connect(service, signal, context, changed);
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
