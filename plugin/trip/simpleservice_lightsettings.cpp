#include "simpleservice.h"

#include "simpleservice_payload.h"

namespace canservice {

// 0x67: light settings, kept whole; the mileage unit is read from it.
void SimpleService::doLightSetInformation(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    if (paraBuf.size() != 2)
        return;
    storePayload(mLightSetData, paraBuf);
    emit lightSetInformation();
}

int SimpleService::getMileageUnits()
{
    return byteAt(mLightSetData, 1) & 0x04;
}

} // namespace canservice
