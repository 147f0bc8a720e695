#include "vehiclesnapshot.h"

#include "canboxframe.h"
#include "canservicebase.h"

#include <QHash>
#include <QJsonValue>

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
using ChangeSignal = void (CanServiceBase::*)();
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

HeardSignals *HeardSignals::of(CanServiceBase *service)
{
    if (auto *heard = service->findChild<HeardSignals *>(QString(), Qt::FindDirectChildrenOnly))
        return heard;
    return new HeardSignals(service);
}

void HeardSignals::frameAccepted(int id, int payloadSize)
{
    // The emergency-call state takes a two-byte message and tells nobody.
    if (id == canbox::in::EmergencyCall && payloadSize == 2)
        m_mask |= 1u << EmergencyCall;
}

VehicleSnapshot VehicleSnapshot::read(CanServiceBase &s)
{
    VehicleSnapshot v;
    v.m_fields.reserve(256);
    v.m_heard = HeardSignals::of(&s)->mask();
    v.add(QStringLiteral("version"), s.version());
    v.add(QStringLiteral("speed"), s.getSpeed());
    v.add(QStringLiteral("speedUnit"), s.getSpeedUnit());
    v.add(QStringLiteral("rotate"), s.getRotate());
    v.add(QStringLiteral("temperature"), s.getTemperature());
    v.add(QStringLiteral("temperatureText"), s.getTemperatureStr());
    v.add(QStringLiteral("temperatureUnit"), s.getTemperatureUnit());
    v.add(QStringLiteral("timeAllMileage"), s.getTimeAllMileage());
    v.add(QStringLiteral("oilAllMileage"), s.getOilAllMileage());
    v.add(QStringLiteral("mileageUnits"), s.getMileageUnits());
    v.add(QStringLiteral("emergencyCall"), s.getEarGlonass());

    v.add(QStringLiteral("doorStatus"), s.getDoorStatus());
    v.add(QStringLiteral("door.frontLid"), s.isFrontDoorOpen());
    v.add(QStringLiteral("door.rearLid"), s.isRearDoorOpen());
    v.add(QStringLiteral("door.leftRear"), s.isLeftRearDoorOpen());
    v.add(QStringLiteral("door.rightRear"), s.isRightRearDoorOpen());
    v.add(QStringLiteral("door.leftFront"), s.isLeftFrontDoorOpen());
    v.add(QStringLiteral("door.rightFront"), s.isRightFrontDoorOpen());

    v.add(QStringLiteral("tyre.alertType"), s.getTireAlertType());
    v.add(QStringLiteral("tyre.pressureFL"), s.getTirePressureValueFL());
    v.add(QStringLiteral("tyre.pressureFR"), s.getTirePressureValueFR());
    v.add(QStringLiteral("tyre.pressureRL"), s.getTirePressureValueRL());
    v.add(QStringLiteral("tyre.pressureRR"), s.getTirePressureValueRR());
    v.add(QStringLiteral("tyre.unit"), s.getTireUnit());

    v.add(QStringLiteral("climate.powerOff"), s.isPowerOff());
    v.add(QStringLiteral("climate.powerOffRear"), s.isPowerOffRear());
    v.add(QStringLiteral("climate.rearClimate"), s.isRearClimate());
    v.add(QStringLiteral("climate.acMax"), s.isAcMax());
    v.add(QStringLiteral("climate.ac"), s.isAc());
    v.add(QStringLiteral("climate.inside"), s.isInside());
    v.add(QStringLiteral("climate.auto"), s.isAuto());
    v.add(QStringLiteral("climate.dual"), s.isDual());
    v.add(QStringLiteral("climate.rearDefrost"), s.isRearDefrost());
    v.add(QStringLiteral("climate.frontDefrost"), s.isFrontDefrost());
    v.add(QStringLiteral("climate.frontLeftHeat"), s.getAcFrontLeftHeat());
    v.add(QStringLiteral("climate.frontRightHeat"), s.getAcFrontRightHeat());
    v.add(QStringLiteral("climate.rearLeftHeat"), s.getAcRearLeftHeat());
    v.add(QStringLiteral("climate.rearRightHeat"), s.getAcRearRightHeat());
    v.add(QStringLiteral("climate.steeringWheelHeat"), s.isAcSwcHeat());
    v.add(QStringLiteral("climate.glassHeat"), s.isAcGlassHeat());
    v.add(QStringLiteral("climate.airCare"), s.isAirCareActive());
    v.add(QStringLiteral("climate.profile"), s.getAirConProfile());
    v.add(QStringLiteral("climate.leftVentilation"), s.getLeftVentilation());
    v.add(QStringLiteral("climate.rightVentilation"), s.getRightVentilation());
    v.add(QStringLiteral("climate.windMode"), s.getAcWindMode());
    v.add(QStringLiteral("climate.windScale"), s.getAcWindScale());
    v.add(QStringLiteral("climate.windModeRear"), s.getAcWindModeRear());
    v.add(QStringLiteral("climate.windScaleRear"), s.getAcWindScaleRear());
    v.add(QStringLiteral("climate.showRequest"), s.getAcShowRequest());
    v.add(QStringLiteral("climate.left"), s.getAcTemperature());
    v.add(QStringLiteral("climate.right"), s.getAcRightTemperature());
    v.add(QStringLiteral("climate.rear"), s.getAcRearTemperature());
    v.add(QStringLiteral("climate.unit"), s.getAcTemperatureUnit());
    v.add(QStringLiteral("climate.rightUnit"), s.getAcRightTemperatureUnit());
    v.add(QStringLiteral("climate.airCleaning"), s.getAcAirClearStatus());
    v.add(QStringLiteral("climate.manual"), s.getManualClimateMode());
    v.add(QStringLiteral("climate.dualControllable"), s.getDualControllableState());

    const QList<QPair<const char *, int (CanServiceBase::*)()>> radar = {
        {"frontLeft", &CanServiceBase::getFrontRadarLeftDistance},
        {"frontMiddleLeft", &CanServiceBase::getFrontRadarMiddleLeftDistance},
        {"frontMiddleRight", &CanServiceBase::getFrontRadarMiddleRightDistance},
        {"frontRight", &CanServiceBase::getFrontRadarRightDistance},
        {"rearLeft", &CanServiceBase::getRearRadarLeftDistance},
        {"rearMiddleLeft", &CanServiceBase::getRearRadarMiddleLeftDistance},
        {"rearMiddleRight", &CanServiceBase::getRearRadarMiddleRightDistance},
        {"rearRight", &CanServiceBase::getRearRadarRightDistance},
        {"leftFront", &CanServiceBase::getLeftRadarFrontDistance},
        {"leftMiddleFront", &CanServiceBase::getLeftRadarMiddleFrontDistance},
        {"leftMiddleRear", &CanServiceBase::getLeftRadarMiddleRearDistance},
        {"leftRear", &CanServiceBase::getLeftRadarRearDistance},
        {"rightFront", &CanServiceBase::getRightRadarFrontDistance},
        {"rightMiddleFront", &CanServiceBase::getRightRadarMiddleFrontDistance},
        {"rightMiddleRear", &CanServiceBase::getRightRadarMiddleRearDistance},
        {"rightRear", &CanServiceBase::getRightRadarRearDistance},
    };
    for (const auto &sensor : radar)
        v.add(QStringLiteral("radar.") + QLatin1String(sensor.first), (s.*sensor.second)());
    v.add(QStringLiteral("radar.status"), s.isRadarStatus());

    OtherInfoData other;
    s.getOtherInfoData(other);
    const QString otherTexts[] = {other.info0, other.info1, other.info2, other.info3, other.info4,
                                  other.info5, other.parkingAssistText, other.info7, other.info8};
    for (int i = 0; i < 9; ++i)
        v.add(i == 6 ? QStringLiteral("other.parkingAssistText") : QStringLiteral("other.info%1").arg(i),
              otherTexts[i]);
    v.add(QStringLiteral("other.infoFlag"), other.infoFlag);

    DrivingData d;
    s.getDrivingData(d);
    const QString items[] = {d.item0,  d.item1,  d.item2,  d.item3,  d.item4,  d.item5,
                             d.item6,  d.item7,  d.item8,  d.item9,  d.item10, d.item11,
                             d.item12, d.item13, d.item14, d.item15, d.item16, d.item17};
    for (int i = 0; i < 18; ++i)
        v.add(QStringLiteral("driving.item%1").arg(i), items[i]);

    FuelConsumptionData f;
    s.getFuelConsumptionData(f);
    const QString fuel[] = {f.fuel0, f.fuel1, f.fuel2, f.fuel3, f.fuel4, f.fuel5};
    for (int i = 0; i < 6; ++i)
        v.add(QStringLiteral("fuel.fuel%1").arg(i), fuel[i]);

    const CarSettingData c = s.getCarSettingData();
    v.add(QStringLiteral("carSetting.state0"), int(c.state0));
    v.add(QStringLiteral("carSetting.colorPosition"), int(c.colorPosition));
    v.add(QStringLiteral("carSetting.colorIndex"), int(c.colorIndex));
    v.add(QStringLiteral("carSetting.state3"), int(c.state3));
    v.add(QStringLiteral("carSetting.state4"), int(c.state4));
    v.add(QStringLiteral("carSetting.valueText"), QString::fromLatin1(c.valueText));
    v.add(QStringLiteral("carSetting.state12"), int(c.state12));
    v.add(QStringLiteral("carSetting.state13"), int(c.state13));
    v.add(QStringLiteral("carSetting.state14"), int(c.state14));
    v.add(QStringLiteral("carSetting.state15"), int(c.state15));
    v.add(QStringLiteral("carSetting.state16"), int(c.state16));
    v.add(QStringLiteral("ambientStatus"), s.getAmbientStatus());

    UnitData u;
    s.getUnitData(u);
    for (int i = 0; i < UnitData::EntryCount; ++i) {
        v.add(QStringLiteral("units.maxLevel%1").arg(i), u.maxLevel.value(i));
        v.add(QStringLiteral("units.level%1").arg(i), u.level.value(i));
        v.add(QStringLiteral("units.text%1").arg(i), u.text.value(i));
    }
    return v;
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
    return shortest(value).toDouble();
}

QVariant VehicleSnapshot::value(const QString &name) const
{
    // Every snapshot has the same fields in the same order: where a name stands is learnt once.
    static QHash<QString, int> positions;
    if (positions.isEmpty())
        for (int i = 0; i < m_fields.size(); ++i)
            positions.insert(m_fields.at(i).first, i);
    const int i = positions.value(name, -1);
    if (i >= 0 && i < m_fields.size() && m_fields.at(i).first == name)
        return m_fields.at(i).second;
    for (const Field &f : m_fields)
        if (f.first == name)
            return f.second;
    return QVariant();
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

QStringList VehicleSnapshot::differences(const VehicleSnapshot &other) const
{
    QStringList out;
    for (int i = 0; i < m_fields.size() || i < other.m_fields.size(); ++i) {
        const Field a = m_fields.value(i), b = other.m_fields.value(i);
        if (a != b)
            out << QStringLiteral("%1: %2 -> %3").arg(a.first.isEmpty() ? b.first : a.first,
                                                      format(a.second), format(b.second));
    }
    return out;
}

QJsonObject VehicleSnapshot::toJson() const
{
    QJsonObject object;
    for (const Field &f : m_fields)
        object.insert(f.first, f.second.type() == QVariant::Type(QMetaType::Float)
                              ? QJsonValue(plain(f.second.toFloat()))
                              : QJsonValue::fromVariant(f.second));
    return object;
}

QString VehicleSnapshot::toText() const
{
    QString text;
    for (const Field &f : m_fields)
        text += f.first + QStringLiteral(" = ") + format(f.second) + QLatin1Char('\n');
    return text;
}
