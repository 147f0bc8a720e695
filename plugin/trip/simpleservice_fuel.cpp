#include "simpleservice.h"

#include "simpleservice_payload.h"
#include "translator.h"

namespace canservice {

namespace {
// Fuel figures travel in tenths, high byte first; the text shows as many digits as needed.
QString tenths(int high, int low)
{
    return QString(QStringLiteral("%1")).arg(double(float((high * 256 + low) / 10.0)));
}

float tenthsOf24(const QByteArray &data, int first)
{
    const float sum = float(byteAt(data, first) * 65536 + byteAt(data, first + 1) * 256
                            + byteAt(data, first + 2));
    return float(sum * 0.1);
}
} // namespace

// 0x16: current fuel figures.
void SimpleService::doOilMileageInformation(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    if (paraBuf.size() != 17)
        return;
    mFuelConsumptionData.fuel0 = QString(QStringLiteral("%1")).arg(double(byteAt(paraBuf, 0)));
    mFuelConsumptionData.fuel1 = tenths(byteAt(paraBuf, 1), byteAt(paraBuf, 2));
    emit fuelDataChanged();
}

// 0x17: past fuel figures. fuel3 repeats fuel2: the box's message has no distinct field for it.
void SimpleService::doOilMileageInformationPast(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    if (paraBuf.size() != 17)
        return;
    mFuelConsumptionData.fuel2 = tenths(byteAt(paraBuf, 3), byteAt(paraBuf, 4));
    mFuelConsumptionData.fuel3 = tenths(byteAt(paraBuf, 3), byteAt(paraBuf, 4));
    mFuelConsumptionData.fuel4 = tenths(byteAt(paraBuf, 8), byteAt(paraBuf, 9));
    mFuelConsumptionData.fuel5 = tenths(byteAt(paraBuf, 13), byteAt(paraBuf, 14));
    emit fuelDataChanged();
}

// 0x09: total mileages, kept whole and read on demand.
void SimpleService::doTimeMileageInformation(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    if (paraBuf.size() != 9)
        return;
    storePayload(mTimeMileageData, paraBuf);
    emit timeMileageInformation();
}

int SimpleService::getFuelConsumptionData(FuelConsumptionData &data)
{
    data = mFuelConsumptionData;
    return 0;
}

// The two 24-bit figures share byte 6: the low byte of one and the high byte of the other.
float SimpleService::getOilAllMileage()
{
    return tenthsOf24(mTimeMileageData, 4);
}

float SimpleService::getTimeAllMileage()
{
    return tenthsOf24(mTimeMileageData, 6);
}

} // namespace canservice
