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
} // namespace

void SimpleService::doCarDetailInformation(int id, QByteArray &paraBuf)
{
    doDoor(id, paraBuf);
}

// 0x24 with five bytes: byte 0 holds one bit per door and lid; bits 0 and 1 mean nothing to us.
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
