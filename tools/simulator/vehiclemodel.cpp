#include "vehiclemodel.h"

#include "canboxframe.h"

#include <cmath>

namespace tool {

const char *const DoorNames[6] = {"front-lid", "rear-lid", "left-rear", "right-rear", "left-front",
                                  "right-front"};

namespace {
QByteArray le(quint32 value, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
    return out;
}

QByteArray be(quint32 value, int bytes)
{
    QByteArray out;
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xFF));
    return out;
}

int tenths(double value)
{
    return int(std::lround(value * 10.0));
}

} // namespace

// Degrees to the climate block's temperature index: half degrees from 16 °C at 32, or from
// 60 °F at 120; LO and HI have their own indices.
int temperatureIndex(const QJsonValue &value, bool fahrenheit, bool *converted)
{
    if (converted)
        *converted = false;
    if (value.toString() == QLatin1String("LO"))
        return fahrenheit ? 119 : 30;
    if (value.toString() == QLatin1String("HI"))
        return fahrenheit ? 171 : 60;
    double degrees = value.toDouble();
    const bool otherUnit = fahrenheit ? degrees < 40 : degrees >= 40;
    if (otherUnit) {
        degrees = fahrenheit ? degrees * 1.8 + 32 : (degrees - 32) / 1.8;
        if (converted)
            *converted = true;
    }
    return fahrenheit ? int(std::lround(120 + (degrees - 60) * 2))
                      : int(std::lround(32 + (degrees - 16) * 2));
}

int convertedTemperatureIndex(int index, bool toFahrenheit)
{
    const bool lo = index == 30 || index == 119, hi = index == 60 || index == 171;
    if (lo || hi)
        return toFahrenheit ? (lo ? 119 : 171) : (lo ? 30 : 60);
    const bool isFahrenheit = index >= 80;
    if (isFahrenheit == toFahrenheit)
        return index;
    const double degrees = isFahrenheit ? 60 + (index - 120) * 0.5 : 16 + (index - 32) * 0.5;
    return qBound(0, temperatureIndex(degrees, toFahrenheit), 255);
}

void setBit(QByteArray &bytes, int index, int bit, bool on)
{
    const char mask = char(1 << bit);
    bytes[index] = on ? char(bytes.at(index) | mask) : char(bytes.at(index) & ~mask);
}

void VehicleModel::setFahrenheit(bool on)
{
    if (climate.at(4) & 0x08) {
        climate[2] = char(convertedTemperatureIndex(quint8(climate.at(2)), on));
        climate[6] = char(convertedTemperatureIndex(quint8(climate.at(6)), on));
    }
    setBit(climate, 4, 6, on);
}

QByteArray VehicleModel::speedMessage() const
{
    const auto raw = quint32(qBound(0L, std::lround(speed * 16.0), 65535L));
    return le(raw, 2) + char(speedInMiles ? 1 : 0);
}

QByteArray VehicleModel::rotationMessage() const
{
    return QByteArray(1, '\x03') + be(quint32(qBound(0, rpm, 65535)), 2);
}

QByteArray VehicleModel::doorMessage() const
{
    QByteArray m(5, '\0');
    m[0] = char(doors & 0xFC);
    // Byte 2 bit 7 says miles; kilometres need byte 1 bit 3 clear as well.
    m[2] = char(distanceInMiles ? 0x80 : 0x00);
    return m;
}

QByteArray VehicleModel::frontRadarMessage() const
{
    QByteArray m(6, '\0');
    for (int i = 0; i < 4; ++i)
        m[i] = char(frontRadar[i]);
    return m;
}

QByteArray VehicleModel::rearRadarMessage() const
{
    QByteArray m(4, '\0');
    for (int i = 0; i < 4; ++i)
        m[i] = char(rearRadar[i]);
    return m;
}

QByteArray VehicleModel::parkingAssistMessage() const
{
    return QByteArray(1, parkingAssist ? '\x80' : '\x00') + '\0';
}

QByteArray VehicleModel::versionMessage() const
{
    return version.toUtf8().left(255);
}

// The time items carry a 24-bit count in bytes 1-3; the others a unit selector in byte 1 and
// the value from byte 2, in tenths where the head unit shows one decimal.
QByteArray VehicleModel::tripMessage(int item) const
{
    const auto entry = trip.value(item);
    QByteArray m(1, char(item));
    if (item >= canbox::trip::Time1 && item <= canbox::trip::Time3) {
        m += le(quint32(std::lround(entry.second)), 3);
        m += QByteArray(2, '\0');
        return m;
    }
    m.append(char(entry.first));
    const bool whole = item == canbox::trip::DistanceWhole;
    const qint32 value = whole ? qint32(std::lround(entry.second)) : tenths(entry.second);
    m += le(quint32(value), 4);
    return m;
}

QByteArray VehicleModel::fuelMessage() const
{
    QByteArray m(17, '\0');
    m[0] = char(fuelNow);
    m.replace(1, 2, be(quint32(tenths(fuelAverage)), 2));
    return m;
}

QByteArray VehicleModel::fuelHistoryMessage() const
{
    QByteArray m(17, '\0');
    m.replace(3, 2, be(quint32(tenths(fuelHistory[0])), 2));
    m.replace(8, 2, be(quint32(tenths(fuelHistory[1])), 2));
    m.replace(13, 2, be(quint32(tenths(fuelHistory[2])), 2));
    return m;
}

QByteArray VehicleModel::mileageMessage() const
{
    QByteArray m(9, '\0');
    if (mileageSecond >= 0)
        m.replace(6, 3, be(quint32(tenths(mileageSecond)), 3));
    m.replace(4, 3, be(quint32(tenths(mileageTotal)), 3));
    return m;
}

QByteArray VehicleModel::lightMessage() const
{
    return QByteArray(1, '\0') + char(mileageUnitFlag ? 0x04 : 0x00);
}

QByteArray VehicleModel::ambientMessage() const
{
    return QByteArray(1, char(ambientColour)) + QByteArray(4, '\0');
}

QByteArray VehicleModel::tyreMessage() const
{
    return QByteArray(1, char(tyreState)) + char(tyreType);
}

} // namespace tool
