#include "simpleservice.h"

#include "simpleservice_log.h"
#include "simpleservice_payload.h"

namespace canservice {

// 101: byte 1 the alert type, byte 0 its state; the head unit hears only of changes.
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

// 149: emergency-call system state, read on demand only.
void SimpleService::doEarGlonass(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    if (paraBuf.size() == 2)
        mEarGlonass = byteAt(paraBuf, 0);
}

// 48: the box's version text, UTF-8, ended by the first zero byte if there is one.
void SimpleService::doVersion(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    const int end = paraBuf.indexOf('\0');
    mVersion = QString::fromUtf8(paraBuf.constData(), end < 0 ? paraBuf.size() : end);
    SS_DBG("--", mVersion);
    emit sigVersionData();
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

int SimpleService::getEarGlonass()
{
    return mEarGlonass;
}

QString SimpleService::version()
{
    return mVersion;
}

} // namespace canservice
