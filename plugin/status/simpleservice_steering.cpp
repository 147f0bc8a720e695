#include "simpleservice.h"

#include "simpleservice_log.h"
#include "simpleservice_payload.h"

#include <algorithm>

namespace canservice {

namespace {
const int SteeringAngleLimit = 19948;
} // namespace

// 0x2F: signed little-endian steering angle. Kept, though the head unit has no getter for it.
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

} // namespace canservice
