#include "simpleservice.h"

#include "simpleservice_log.h"
#include "simpleservice_payload.h"
#include "translator.h"

namespace canservice {

namespace {
const int NoObstacle = 0xFF;
const int FrontBlock = 0;
const int RearBlock = 4;
const int SideBlock = 8;

// The box's raw distance (1 to 31) to the display's steps; 0 and anything above 31 mean
// nothing in range. Step 6 is never used.
int quantise(int raw)
{
    if (raw == 0 || raw >= 32)
        return NoObstacle;
    if (raw == 1)
        return 1;
    if (raw >= 26)
        return 7;
    return 2 + (raw - 2) / 6;
}

// The candidate block is built in a buffer kept for it, so a radar message costs no allocation.
const QByteArray &radarWith(QByteArray &candidate, const QByteArray &block,
                            const QByteArray &paraBuf, int first)
{
    storePayload(candidate, block);
    char *bytes = candidate.data();
    for (int k = 0; k < 4; ++k)
        bytes[first + k] = static_cast<char>(quantise(byteAt(paraBuf, k)));
    return candidate;
}
} // namespace

// 0x23: four front sensors in bytes 0 to 3 of six.
void SimpleService::doFrontRadar(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    SS_DBG(paraBuf.size());
    if (paraBuf.size() != 6)
        return;
    radarChanged(radarWith(mRadarCandidate, mRadarData, paraBuf, FrontBlock));
}

// 0x22: four rear sensors.
void SimpleService::doRearRadar(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    SS_DBG(paraBuf.size());
    if (paraBuf.size() != 4)
        return;
    radarChanged(radarWith(mRadarCandidate, mRadarData, paraBuf, RearBlock));
}

void SimpleService::radarChanged(QByteArray radarData)
{
    if (radarData == mRadarData)
        return;
    storePayload(mRadarData, radarData);
    emit sigRadarChanged();
}

int SimpleService::radarStep(int index)
{
    const int step = byteAt(mRadarData, index);
    return step >= 1 && step <= 7 ? step : NoObstacle;
}

int SimpleService::sideRadarStep(int index)
{
    const int step = byteAt(mRadarData, index);
    return step > 7 ? NoObstacle : step + 1;
}

int SimpleService::getFrontRadarLeftDistance()
{
    return radarStep(FrontBlock + 0);
}

int SimpleService::getFrontRadarMiddleLeftDistance()
{
    return radarStep(FrontBlock + 1);
}

int SimpleService::getFrontRadarMiddleRightDistance()
{
    return radarStep(FrontBlock + 2);
}

int SimpleService::getFrontRadarRightDistance()
{
    return radarStep(FrontBlock + 3);
}

int SimpleService::getRearRadarLeftDistance()
{
    return radarStep(RearBlock + 0);
}

int SimpleService::getRearRadarMiddleLeftDistance()
{
    return radarStep(RearBlock + 1);
}

int SimpleService::getRearRadarMiddleRightDistance()
{
    return radarStep(RearBlock + 2);
}

int SimpleService::getRearRadarRightDistance()
{
    return radarStep(RearBlock + 3);
}

// The box has no side sensors; these read the block's untouched 0xFF bytes.
int SimpleService::getLeftRadarFrontDistance()
{
    return sideRadarStep(SideBlock + 0);
}

int SimpleService::getLeftRadarMiddleFrontDistance()
{
    return sideRadarStep(SideBlock + 1);
}

int SimpleService::getLeftRadarMiddleRearDistance()
{
    return sideRadarStep(SideBlock + 2);
}

int SimpleService::getLeftRadarRearDistance()
{
    return sideRadarStep(SideBlock + 3);
}

int SimpleService::getRightRadarFrontDistance()
{
    return sideRadarStep(SideBlock + 4);
}

int SimpleService::getRightRadarMiddleFrontDistance()
{
    return sideRadarStep(SideBlock + 5);
}

int SimpleService::getRightRadarMiddleRearDistance()
{
    return sideRadarStep(SideBlock + 6);
}

int SimpleService::getRightRadarRearDistance()
{
    return sideRadarStep(SideBlock + 7);
}

} // namespace canservice
