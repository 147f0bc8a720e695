#include "simpleservice.h"

#include "simpleservice_log.h"
#include "simpleservice_payload.h"

namespace canservice {

// 0x65: byte 1 the alert type, byte 0 its state; the head unit hears only of changes.
void SimpleService::doTireAlert(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    if (paraBuf.size() != 2)
        return;
    const int type = byteAt(paraBuf, 1);
    const int state = byteAt(paraBuf, 0);
    if (type == mTireAlertType && state == mTireAlertState)
        return;
    mTireAlertType = type;
    mTireAlertState = state;
    SS_DBG("--", mTireAlertType);
    SS_DBG("--", mTireAlertState);
    emit tireAlert();
}

int SimpleService::getTireAlertType()
{
    return mTireAlertType;
}

// No message carries tyre pressures: these stay at "no reading".
float SimpleService::getTirePressureValueFR()
{
    return mTirePressureFR;
}

float SimpleService::getTirePressureValueFL()
{
    return mTirePressureFL;
}

float SimpleService::getTirePressureValueRL()
{
    return mTirePressureRL;
}

float SimpleService::getTirePressureValueRR()
{
    return mTirePressureRR;
}

QString SimpleService::getTireUnit()
{
    return mTireUnit;
}

} // namespace canservice
