#include "boxsimulator.h"

#include "canboxframe.h"

#include <QJsonArray>

namespace tool {

namespace {
namespace in = canbox::in;
} // namespace

void BoxSimulator::applyNote(const QJsonValue &value, const QJsonObject &)
{
    emit report(QStringLiteral("box: %1").arg(value.toString()));
}

void BoxSimulator::applySilence(const QJsonValue &value, const QJsonObject &)
{
    const double seconds = value.toDouble();
    emit report(QStringLiteral("box falls silent for %1 s").arg(seconds));
    m_silentUntil = m_clock.elapsed() + qint64(seconds * 1000);
}

void BoxSimulator::applyVersion(const QJsonValue &value, const QJsonObject &)
{
    m_model.version = value.toString();
    if (m_running)
        send(in::Version, m_model.versionMessage());
}

void BoxSimulator::applySpeedUnit(const QJsonValue &value, const QJsonObject &change)
{
    m_model.speedInMiles = value.toString() == QLatin1String("mph");
    if (!change.contains(QLatin1String("speed")))
        send(in::Speed, m_model.speedMessage());
}

void BoxSimulator::applySpeed(const QJsonValue &value, const QJsonObject &)
{
    m_model.speed = float(value.toDouble());
    send(in::Speed, m_model.speedMessage());
}

void BoxSimulator::applyRpm(const QJsonValue &value, const QJsonObject &)
{
    m_model.rpm = value.toInt();
    send(in::CarInfo, m_model.rotationMessage());
}

void BoxSimulator::applyDoors(const QJsonValue &value, const QJsonObject &)
{
    const QJsonObject doors = value.toObject();
    for (int bit = 2; bit < 8; ++bit) {
        const QString name = QLatin1String(DoorNames[bit - 2]);
        if (doors.contains(name))
            m_model.doors = doors.value(name).toBool() ? m_model.doors | (1 << bit)
                                                       : m_model.doors & ~(1 << bit);
    }
    send(in::DoorsUnits, m_model.doorMessage());
}

void BoxSimulator::applyUnits(const QJsonValue &value, const QJsonObject &)
{
    const QJsonObject units = value.toObject();
    if (units.contains("distance")) {
        m_model.distanceInMiles = units.value("distance").toString() == QLatin1String("mi");
        send(in::DoorsUnits, m_model.doorMessage());
    }
    if (units.contains("temperature")) {
        m_model.setFahrenheit(units.value("temperature").toString() == QLatin1String("F"));
        sendClimate();
    }
}

void BoxSimulator::applyClimate(const QJsonValue &value, const QJsonObject &)
{
    const QJsonObject c = value.toObject();
    QByteArray &b = m_model.climate;
    if (c.contains("power"))
        setBit(b, 0, 7, !c.value("power").toBool());
    if (c.contains("ac"))
        setBit(b, 0, 6, c.value("ac").toBool());
    if (c.contains("inside"))
        setBit(b, 0, 5, c.value("inside").toBool());
    if (c.contains("auto"))
        setBit(b, 0, 3, c.value("auto").toBool());
    if (c.contains("dual"))
        setBit(b, 0, 2, c.value("dual").toBool());
    if (c.contains("fan"))
        b[1] = char((quint8(b.at(1)) & ~0x07) | (c.value("fan").toInt() & 0x07));
    if (c.contains("wind"))
        b[1] = char((quint8(b.at(1)) & 0x1F) | ((c.value("wind").toInt() & 0x07) << 5));
    if (c.contains("manual"))
        setBit(b, 4, 3, c.value("manual").toBool());
    if (c.contains("fahrenheit"))
        m_model.setFahrenheit(c.value("fahrenheit").toBool());
    if (c.contains("level"))
        b[2] = char(c.value("level").toInt());
    using Side = QPair<const char *, int>;
    for (const Side &side : {Side("left", 2), Side("right", 6)}) {
        if (!c.contains(QLatin1String(side.first)))
            continue;
        bool converted = false;
        const QJsonValue v = c.value(QLatin1String(side.first));
        b[side.second] = char(temperatureIndex(v, m_model.fahrenheit(), &converted));
        if (converted)
            emit report(QStringLiteral("box: %1 %2 taken as %3, since the block is in %4")
                                .arg(QLatin1String(side.first))
                                .arg(v.toDouble())
                                .arg(m_model.fahrenheit() ? "°C" : "°F", m_model.fahrenheit() ? "°F" : "°C"));
    }
    if (c.contains("rear"))
        b[7] = char(c.value("rear").toInt());
    sendClimate();
}

void BoxSimulator::applyRadar(const QJsonValue &value, const QJsonObject &)
{
    const QJsonObject r = value.toObject();
    if (r.contains("front")) {
        for (int i = 0; i < 4; ++i)
            m_model.frontRadar[i] = r.value("front").toArray().at(i).toInt();
        send(in::FrontRadar, m_model.frontRadarMessage());
    }
    if (r.contains("rear")) {
        for (int i = 0; i < 4; ++i)
            m_model.rearRadar[i] = r.value("rear").toArray().at(i).toInt();
        send(in::RearRadar, m_model.rearRadarMessage());
    }
}

void BoxSimulator::applyParkingAssist(const QJsonValue &value, const QJsonObject &)
{
    m_model.parkingAssist = value.toBool();
    send(in::ParkingAssist, m_model.parkingAssistMessage());
}

void BoxSimulator::applySteeringKey(const QJsonValue &value, const QJsonObject &)
{
    pressKey(in::SteeringKey, value);
}

void BoxSimulator::applyCarKey(const QJsonValue &value, const QJsonObject &)
{
    pressKey(in::CarKey, value);
}

// A press now and the release after the hold, in the message of the key's kind.
void BoxSimulator::pressKey(int id, const QJsonValue &value)
{
    const QJsonObject key = value.toObject();
    const int code = key.value("code").toInt();
    const auto message = [id, code](int state) {
        if (id == in::SteeringKey)
            return QByteArray(1, char(code)) + char(state);
        QByteArray m(10, '\0');
        m[2] = char(code);
        m[3] = char(state);
        return m;
    };
    send(id, message(1));
    QTimer::singleShot(int(key.value("hold").toDouble(0.2) * 1000), Qt::PreciseTimer, this,
                       [this, id, message] { send(id, message(0)); });
}

void BoxSimulator::applyTrip(const QJsonValue &value, const QJsonObject &)
{
    const QJsonArray items = value.isArray() ? value.toArray() : QJsonArray{value};
    for (const QJsonValue &v : items) {
        const QJsonObject item = v.toObject();
        const int code = item.value("item").toInt();
        m_model.trip.insert(code, {item.value("unit").toInt(), item.value("value").toDouble()});
        send(in::DrivingData, m_model.tripMessage(code));
    }
}

void BoxSimulator::applyFuel(const QJsonValue &value, const QJsonObject &)
{
    const QJsonObject f = value.toObject();
    m_model.fuelNow = f.value("now").toInt(m_model.fuelNow);
    m_model.fuelAverage = f.value("average").toDouble(m_model.fuelAverage);
    send(in::Fuel, m_model.fuelMessage());
    if (f.contains("history")) {
        for (int i = 0; i < 3; ++i)
            m_model.fuelHistory[i] = f.value("history").toArray().at(i).toDouble();
        send(in::FuelHistory, m_model.fuelHistoryMessage());
    }
}

void BoxSimulator::applyMileage(const QJsonValue &value, const QJsonObject &)
{
    const QJsonObject m = value.toObject();
    m_model.mileageTotal = value.isObject() ? m.value(QLatin1String("total")).toDouble() : value.toDouble();
    m_model.mileageSecond = m.value(QLatin1String("second")).toDouble(-1);
    send(in::TimeMileage, m_model.mileageMessage());
}

void BoxSimulator::applyMileageUnit(const QJsonValue &value, const QJsonObject &)
{
    m_model.mileageUnitFlag = value.toBool();
    send(in::LightSettings, m_model.lightMessage());
}

void BoxSimulator::applyAmbient(const QJsonValue &value, const QJsonObject &)
{
    m_model.ambientColour = value.toInt();
    send(in::CarSettings, m_model.ambientMessage());
}

void BoxSimulator::applyTyreAlert(const QJsonValue &value, const QJsonObject &)
{
    const QJsonObject t = value.toObject();
    m_model.tyreType = t.value("type").toInt();
    m_model.tyreState = t.value("state").toInt();
    send(in::TyreAlert, m_model.tyreMessage());
}

} // namespace tool
