#include "simpleservice.h"

#include "simpleservice_log.h"
#include "simpleservice_payload.h"
#include "translator.h"

namespace canservice {

namespace {
// The front wind mode as the box numbers it, to the head unit's numbering.
const int WindModeMap[8] = {0, 2, 1, 3, 7, 5, 4, 6};

bool isLoOrHi(int index)
{
    return index == 30 || index == 119 || index == 60 || index == 171;
}
} // namespace

// 0x29: the climate block, eight bytes kept whole and decoded when the head unit asks.
void SimpleService::doConditioner(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    SS_DBG("paraBuf.size(): ", paraBuf.size());
    if (paraBuf.size() != 8)
        return;
    SS_DBG(logging::hex(paraBuf));
    storePayload(mAcData, paraBuf);
    // In automatic mode the box's temperature index is the level the temperature keys step.
    if (getManualClimateMode() == 0)
        mAcTemperatureLevel = byteAt(paraBuf, 2);
    SS_DBG(mAcTemperatureLevel);
    emit acStatusChanged();
    emit acManualClimateModeChanged();
}

// 0xFF: air cleaning.
void SimpleService::doAcAirClear(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    if (paraBuf.size() != 2)
        return;
    mAcAirClearStatus = byteAt(paraBuf, 0);
    emit acStatusChanged();
}

bool SimpleService::isPowerOff()
{
    return bitAt(mAcData, 0, 7);
}

bool SimpleService::isPowerOffRear()
{
    return bitAt(mAcData, 3, 7);
}

bool SimpleService::isRearClimate()
{
    return bitAt(mAcData, 3, 7);
}

bool SimpleService::isAcMax()
{
    return bitAt(mAcData, 4, 2);
}

bool SimpleService::isAc()
{
    return bitAt(mAcData, 0, 6);
}

bool SimpleService::isInside()
{
    return bitAt(mAcData, 0, 5);
}

bool SimpleService::isAuto()
{
    return bitAt(mAcData, 0, 3);
}

bool SimpleService::isDual()
{
    return bitAt(mAcData, 0, 2);
}

bool SimpleService::isRearDefrost()
{
    return bitAt(mAcData, 0, 0);
}

bool SimpleService::isFrontDefrost()
{
    return bitAt(mAcData, 4, 1);
}

int SimpleService::getAcFrontLeftHeat()
{
    return byteAt(mAcData, 7) & 0x03;
}

int SimpleService::getAcFrontRightHeat()
{
    return (byteAt(mAcData, 7) >> 2) & 0x03;
}

// Bytes 8 and 9 are beyond the eight the box sends, so the rear fields read as 0.
int SimpleService::getAcRearLeftHeat()
{
    return (byteAt(mAcData, 8) >> 4) & 0x07;
}

int SimpleService::getAcRearRightHeat()
{
    return (byteAt(mAcData, 8) >> 1) & 0x07;
}

bool SimpleService::isAcSwcHeat()
{
    return bitAt(mAcData, 4, 7);
}

bool SimpleService::isAcGlassHeat()
{
    return bitAt(mAcData, 2, 3);
}

bool SimpleService::isAirCareActive()
{
    return bitAt(mAcData, 4, 2);
}

int SimpleService::getAirConProfile()
{
    return byteAt(mAcData, 6) & 0x03;
}

int SimpleService::getLeftVentilation()
{
    return (byteAt(mAcData, 7) >> 4) & 0x03;
}

int SimpleService::getRightVentilation()
{
    return (byteAt(mAcData, 7) >> 6) & 0x03;
}

int SimpleService::getAcWindMode()
{
    const int raw = byteAt(mAcData, 1) >> 5;
    SS_DBG(raw);
    return WindModeMap[raw];
}

int SimpleService::getAcWindScale()
{
    return byteAt(mAcData, 1) & 0x07;
}

int SimpleService::getAcWindModeRear()
{
    const int mode = (byteAt(mAcData, 9) >> 5) & 0x07;
    SS_DBG(mode);
    return mode;
}

int SimpleService::getAcWindScaleRear()
{
    const int scale = byteAt(mAcData, 9) & 0x0F;
    SS_DBG(scale);
    return scale;
}

int SimpleService::getAcShowRequest()
{
    return bitAt(mAcData, 1, 4);
}

// Index 30/119 is LO and 60/171 HI; below 80 the index counts half degrees Celsius from 16.0
// at 32, above it half degrees Fahrenheit from 60.0 at 120.
float SimpleService::acTemperatureFromIndex(int index)
{
    if (index == 30 || index == 119)
        return -100.0f;
    if (index == 60 || index == 171)
        return -101.0f;
    if (index <= 79)
        return float(16.0 + (index - 32) * 0.5);
    return float(60.0 + (index - 120) * 0.5);
}

float SimpleService::getAcTemperature()
{
    if (getManualClimateMode() == 0)
        return -1.0f;
    const int index = byteAt(mAcData, 2);
    SS_DBG("index:", index);
    return acTemperatureFromIndex(index);
}

float SimpleService::getAcRightTemperature()
{
    if (getManualClimateMode() == 0)
        return -1.0f;
    const int index = byteAt(mAcData, 6);
    SS_DBG("index:", index);
    const float degrees = acTemperatureFromIndex(index);
    if (!isLoOrHi(index))
        SS_DBG(degrees);
    return degrees;
}

// The rear step has no LO or HI. Either Fahrenheit bit (6 or 4 of byte 4) selects whole
// degrees Fahrenheit from 59; otherwise half degrees Celsius from 16.0 at step 1.
float SimpleService::getAcRearTemperature()
{
    const int step = byteAt(mAcData, 7);
    if (byteAt(mAcData, 4) & 0x50)
        return step + 60.0f - 1.0f;
    return float((step - 1) * 0.5 + 16.0);
}

QString SimpleService::getAcTemperatureUnit()
{
    return Translator::translate(bitAt(mAcData, 4, 6) ? 1163 : 1150);
}

QString SimpleService::getAcRightTemperatureUnit()
{
    const bool fahrenheit = bitAt(mAcData, 4, 6);
    SS_DBG(fahrenheit, "======================");
    return Translator::translate(fahrenheit ? 1163 : 1150);
}

int SimpleService::getAcAirClearStatus()
{
    return mAcAirClearStatus;
}

int SimpleService::getManualClimateMode()
{
    const int mode = bitAt(mAcData, 4, 3);
    SS_DBG(mode);
    return mode;
}

} // namespace canservice
