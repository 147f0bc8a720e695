#include "simpleservice.h"

#include "canboxframe.h"
#include "simpleservice_log.h"
#include "simpleservice_payload.h"
#include "translator.h"

namespace canservice {

// 0xF6: speed in 1/16 km/h (or mph), little-endian, and the unit in byte 2 bit 0.
void SimpleService::doSpeed(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    SS_DBG("--", paraBuf.size(), logging::hex(paraBuf, ' '));
    if (paraBuf.size() != 3)
        return;

    const float speed = combineBytes(byteAt(paraBuf, 1), byteAt(paraBuf, 0)) / 16.0f;
    mSpeedUnit = Translator::translate(bitAt(paraBuf, 2, 0) ? 1205 : 1148);
    if (speed == mSpeed)
        return;
    mSpeed = speed;
    SS_DBG("--", mSpeed, mSpeedUnit);
    emit speedChanged();
}

// 0x41: only sub-type 3 carries the engine rotation; it is kept whole and read on demand.
void SimpleService::doCarInformation(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    if (byteAt(paraBuf, 0) != 3)
        return;
    storePayload(mRotateData, paraBuf);
    emit rotateChanged();
}

// 0x68: the box reports the outside temperature's unit; its two bytes carry no value we use.
void SimpleService::doRemainder(int id, QByteArray &paraBuf)
{
    doTemp(id, paraBuf);
    if (paraBuf.size() == 2)
        emit messageChanged(canbox::in::OutsideTemperature);
}

void SimpleService::doTemp(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    if (paraBuf.size() != 2) {
        SS_ERR("--");
        return;
    }
    mTemperatureUnit = Translator::translate(1163);
    emit temperatureChanged();
}

float SimpleService::getSpeed()
{
    return mSpeed;
}

QString SimpleService::getSpeedUnit()
{
    return mSpeedUnit;
}

int SimpleService::getRotate()
{
    return combineBytes(byteAt(mRotateData, 1), byteAt(mRotateData, 2));
}

float SimpleService::getTemperature()
{
    return mTemperature;
}

QString SimpleService::getTemperatureStr()
{
    if (mTemperatureStrDirty) {
        mTemperatureStrDirty = false;
        mTemperatureStr = QString::asprintf("%2.1f", double(mTemperature)) + mTemperatureUnit;
    }
    return mTemperatureStr;
}

QString SimpleService::getTemperatureUnit()
{
    return mTemperatureUnit;
}

} // namespace canservice
