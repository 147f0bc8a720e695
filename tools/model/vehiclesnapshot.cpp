#include "vehiclesnapshot.h"

#include "canservicebase.h"

#include <charconv>
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

// How many significant digits a number written by to_chars has (no sign, point, exponent, or
// leading or trailing zeros), and its last one.
struct Digits
{
    int count = 0;
    char last = 0;
};
Digits significant(const char *from, const char *to)
{
    Digits d;
    int zeros = 0; // trailing zeros so far
    for (const char *c = from; c < to && *c != 'e'; ++c) {
        if (*c < '0' || *c > '9' || (d.count == 0 && *c == '0'))
            continue;
        if (*c == '0') {
            ++zeros;
            continue;
        }
        d.count += zeros + 1;
        zeros = 0;
        d.last = *c;
    }
    return d;
}

// The double of that text (bits: the float's). The shortest digits that read back as the float
// are the same digits whatever finds them, except where the float lies exactly halfway between two
// such texts, and where its neighbours are not equally far: a power of two (the one below is
// nearer) or a subnormal float (written here with six digits at least). Those are left to Qt.
// Halfway can only be with 7 digits or more: a shorter text that far from the float (half a unit
// of its last digit) would not read back as it.
double widened(float value, quint32 bits)
{
    if ((bits & 0x7FFFFFu) == 0 || (bits & 0x7F800000u) == 0)
        return shortest(value).toDouble();
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::general);
    double wide = 0;
    if (written.ec != std::errc() || std::from_chars(text, written.ptr, wide).ec != std::errc())
        return shortest(value).toDouble();
    const int digits = significant(text, written.ptr).count;
    if (digits < 7)
        return wide;
    char exact[64];
    const auto whole = std::to_chars(exact, exact + sizeof exact, double(value), std::chars_format::general);
    const Digits all = whole.ec == std::errc() ? significant(exact, whole.ptr) : Digits();
    if (whole.ec != std::errc() || (all.last == '5' && all.count == digits + 1))
        return shortest(value).toDouble();
    return wide;
}

template<typename T>
bool same(const T &a, const T &b)
{
    return a == b;
}
bool same(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}
} // namespace

VehicleSnapshot VehicleSnapshot::read(CanServiceBase &s)
{
    VehicleSnapshot v;
    for (int group = 0; group < HeardSignals::BitCount; ++group)
        v.refresh(s, HeardSignals::Bit(group));
    return v;
}

void VehicleSnapshot::refresh(CanServiceBase &s, HeardSignals::Bit group, QVector<int> *changed)
{
    if (m_heardOf != &s) {
        m_heardOf = &s;
        m_heardSignals = HeardSignals::of(&s);
    }
    m_heard = m_heardSignals->mask();
    if (m_values.size() != FieldCount)
        m_values.resize(FieldCount);
    // A field is written, and said to have changed, only when its value differs: the same type,
    // the same value (a float bit for bit: a NaN is itself, -0 is not 0).
    const auto set = [this, changed](int field, auto value) {
        using T = decltype(value);
        QVariant &kept = m_values[field];
        if (kept.userType() == qMetaTypeId<T>() && same(*static_cast<const T *>(kept.constData()), value))
            return;
        kept = QVariant::fromValue(std::move(value));
        if (changed)
            changed->append(field);
    };
    switch (group) {
    case HeardSignals::Version:
        set(Version, s.version());
        break;
    case HeardSignals::Speed:
        set(Speed, s.getSpeed());
        set(SpeedUnit, s.getSpeedUnit());
        break;
    case HeardSignals::Rotate:
        set(Rotate, s.getRotate());
        break;
    case HeardSignals::Temperature:
        set(Temperature, s.getTemperature());
        set(TemperatureText, s.getTemperatureStr());
        set(TemperatureUnit, s.getTemperatureUnit());
        break;
    case HeardSignals::TimeMileage:
        set(TimeAllMileage, s.getTimeAllMileage());
        set(OilAllMileage, s.getOilAllMileage());
        break;
    case HeardSignals::LightSet:
        set(MileageUnits, s.getMileageUnits());
        break;
    case HeardSignals::EmergencyCall:
        set(EmergencyCall, s.getEarGlonass());
        break;
    case HeardSignals::Door:
        set(DoorStatus, s.getDoorStatus());
        set(DoorFrontLid, s.isFrontDoorOpen());
        set(DoorRearLid, s.isRearDoorOpen());
        set(DoorLeftRear, s.isLeftRearDoorOpen());
        set(DoorRightRear, s.isRightRearDoorOpen());
        set(DoorLeftFront, s.isLeftFrontDoorOpen());
        set(DoorRightFront, s.isRightFrontDoorOpen());
        break;
    case HeardSignals::Tyre:
        set(TyreAlertType, s.getTireAlertType());
        set(TyrePressureFL, s.getTirePressureValueFL());
        set(TyrePressureFR, s.getTirePressureValueFR());
        set(TyrePressureRL, s.getTirePressureValueRL());
        set(TyrePressureRR, s.getTirePressureValueRR());
        set(TyreUnit, s.getTireUnit());
        break;
    case HeardSignals::Climate:
    case HeardSignals::ClimateMode:
        set(ClimatePowerOff, s.isPowerOff());
        set(ClimatePowerOffRear, s.isPowerOffRear());
        set(ClimateRearClimate, s.isRearClimate());
        set(ClimateAcMax, s.isAcMax());
        set(ClimateAc, s.isAc());
        set(ClimateInside, s.isInside());
        set(ClimateAuto, s.isAuto());
        set(ClimateDual, s.isDual());
        set(ClimateRearDefrost, s.isRearDefrost());
        set(ClimateFrontDefrost, s.isFrontDefrost());
        set(ClimateFrontLeftHeat, s.getAcFrontLeftHeat());
        set(ClimateFrontRightHeat, s.getAcFrontRightHeat());
        set(ClimateRearLeftHeat, s.getAcRearLeftHeat());
        set(ClimateRearRightHeat, s.getAcRearRightHeat());
        set(ClimateSteeringWheelHeat, s.isAcSwcHeat());
        set(ClimateGlassHeat, s.isAcGlassHeat());
        set(ClimateAirCare, s.isAirCareActive());
        set(ClimateProfile, s.getAirConProfile());
        set(ClimateLeftVentilation, s.getLeftVentilation());
        set(ClimateRightVentilation, s.getRightVentilation());
        set(ClimateWindMode, s.getAcWindMode());
        set(ClimateWindScale, s.getAcWindScale());
        set(ClimateWindModeRear, s.getAcWindModeRear());
        set(ClimateWindScaleRear, s.getAcWindScaleRear());
        set(ClimateShowRequest, s.getAcShowRequest());
        set(ClimateLeft, s.getAcTemperature());
        set(ClimateRight, s.getAcRightTemperature());
        set(ClimateRear, s.getAcRearTemperature());
        set(ClimateUnit, s.getAcTemperatureUnit());
        set(ClimateRightUnit, s.getAcRightTemperatureUnit());
        set(ClimateAirCleaning, s.getAcAirClearStatus());
        set(ClimateManual, s.getManualClimateMode());
        set(ClimateDualControllable, s.getDualControllableState());
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
            set(Radar + i, (s.*radar[i])());
        set(RadarStatus, s.isRadarStatus());
        break;
    }
    case HeardSignals::OtherInfo: {
        OtherInfoData other;
        s.getOtherInfoData(other);
        const QString otherTexts[] = {other.info0, other.info1, other.info2, other.info3, other.info4,
                                      other.info5, other.parkingAssistText, other.info7, other.info8};
        for (int i = 0; i < 9; ++i)
            set(Other + i, otherTexts[i]);
        set(OtherInfoFlag, other.infoFlag);
        break;
    }
    case HeardSignals::Driving: {
        DrivingData d;
        s.getDrivingData(d);
        const QString items[] = {d.item0,  d.item1,  d.item2,  d.item3,  d.item4,  d.item5,
                                 d.item6,  d.item7,  d.item8,  d.item9,  d.item10, d.item11,
                                 d.item12, d.item13, d.item14, d.item15, d.item16, d.item17};
        for (int i = 0; i < 18; ++i)
            set(Driving + i, items[i]);
        break;
    }
    case HeardSignals::Fuel: {
        FuelConsumptionData f;
        s.getFuelConsumptionData(f);
        const QString fuel[] = {f.fuel0, f.fuel1, f.fuel2, f.fuel3, f.fuel4, f.fuel5};
        for (int i = 0; i < 6; ++i)
            set(Fuel + i, fuel[i]);
        break;
    }
    case HeardSignals::Ambient: {
        const CarSettingData c = s.getCarSettingData();
        set(CarSettingState0, int(c.state0));
        set(CarSettingColorPosition, int(c.colorPosition));
        set(CarSettingColorIndex, int(c.colorIndex));
        set(CarSettingState3, int(c.state3));
        set(CarSettingState4, int(c.state4));
        set(CarSettingValueText, QString::fromLatin1(c.valueText));
        set(CarSettingState12, int(c.state12));
        set(CarSettingState13, int(c.state13));
        set(CarSettingState14, int(c.state14));
        set(CarSettingState15, int(c.state15));
        set(CarSettingState16, int(c.state16));
        set(AmbientStatus, s.getAmbientStatus());
        break;
    }
    case HeardSignals::Units: {
        UnitData u;
        s.getUnitData(u);
        for (int i = 0; i < UnitData::EntryCount; ++i) {
            set(Units + 3 * i, u.maxLevel.value(i));
            set(Units + 3 * i + 1, u.level.value(i));
            set(Units + 3 * i + 2, u.text.value(i));
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
        entry = {bits, widened(value, bits)};
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
