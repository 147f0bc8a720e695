#include "simpleservice.h"

#include "simpleservice_log.h"
#include "simpleservice_payload.h"

#include <algorithm>

namespace canservice {

namespace {
enum DoorBit {
    FrontLid = 2,
    RearLid = 3,
    LeftRear = 4,
    RightRear = 5,
    LeftFront = 6,
    RightFront = 7,
};
const int SteeringAngleLimit = 19948;
} // namespace

void SimpleService::doCarDetailInformation(int id, QByteArray &paraBuf)
{
    doDoor(id, paraBuf);
}

// 36 with five bytes: byte 0 holds one bit per door and lid; bits 0 and 1 mean nothing to us.
void SimpleService::doDoor(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    SS_DBG("--", "paraBuf.size():", paraBuf.size(), 10);
    if (paraBuf.size() != 5) {
        SS_ERR("--");
        return;
    }
    const int status = byteAt(paraBuf, 0) & 0xFC;
    SS_DBG("--", "status:", status, mDoorStatus);
    if (status == mDoorStatus)
        return;
    mDoorStatus = status;
    emit doorChanged();
}

// 47: signed little-endian steering angle. Kept, though the head unit has no getter for it.
void SimpleService::doEPS(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    if (paraBuf.size() != 2) {
        SS_ERR("--");
        return;
    }
    const int raw = static_cast<qint16>(combineBytes(byteAt(paraBuf, 1), byteAt(paraBuf, 0)));
    const int angle = std::clamp(raw, -SteeringAngleLimit, SteeringAngleLimit);
    SS_DBG("--", angle, mSteeringAngle);
    if (angle != mSteeringAngle)
        mSteeringAngle = angle;
}

int SimpleService::getDoorStatus()
{
    return mDoorStatus;
}

bool SimpleService::isFrontDoorOpen()
{
    return (mDoorStatus >> FrontLid) & 1;
}

bool SimpleService::isRearDoorOpen()
{
    return (mDoorStatus >> RearLid) & 1;
}

bool SimpleService::isLeftRearDoorOpen()
{
    return (mDoorStatus >> LeftRear) & 1;
}

bool SimpleService::isRightRearDoorOpen()
{
    return (mDoorStatus >> RightRear) & 1;
}

bool SimpleService::isLeftFrontDoorOpen()
{
    return (mDoorStatus >> LeftFront) & 1;
}

bool SimpleService::isRightFrontDoorOpen()
{
    return (mDoorStatus >> RightFront) & 1;
}

} // namespace canservice
