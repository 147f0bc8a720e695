#include "simpleservice.h"

#include "simpleservice_payload.h"

namespace canservice {

// 0x95: emergency-call system state, read on demand only.
void SimpleService::doEarGlonass(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    if (paraBuf.size() == 2)
        mEarGlonass = byteAt(paraBuf, 0);
}

int SimpleService::getEarGlonass()
{
    return mEarGlonass;
}

} // namespace canservice
