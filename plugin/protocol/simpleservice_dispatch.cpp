#include "simpleservice.h"

namespace canservice {

void SimpleService::dispatchEvent(int id, QByteArray &paraBuf)
{
    if (mParseOutTmr.isActive())
        mParseOutTmr.stop();

    // Whatever the message, the box is alive.
    linkUp();

    switch (id) {
    case 0x09:
        doTimeMileageInformation(id, paraBuf);
        break;
    case 0x11:
        doCarBaseInfo(id, paraBuf);
        break;
    case 0x16:
        doOilMileageInformation(id, paraBuf);
        break;
    case 0x17:
        doOilMileageInformationPast(id, paraBuf);
        break;
    case 0x20:
        doSwc(id, paraBuf);
        break;
    case 0x22:
        doRearRadar(id, paraBuf);
        break;
    case 0x23:
        doFrontRadar(id, paraBuf);
        break;
    case 0x24:
        // One message carries both the doors (5 bytes) and a unit setting.
        doCarDetailInformation(id, paraBuf);
        doUnitInfo(id, paraBuf);
        break;
    case 0x25:
        doParkingAssist(id, paraBuf);
        break;
    case 0x29:
        // One message carries both the climate block (8 bytes) and a unit setting.
        doConditioner(id, paraBuf);
        doUnitInfo(id, paraBuf);
        break;
    case 0x2F:
        doEPS(id, paraBuf);
        break;
    case 0x30:
        doVersion(id, paraBuf);
        break;
    case 0x40:
        doReport(id, paraBuf);
        break;
    case 0x41:
        doCarInformation(id, paraBuf);
        break;
    case 0x48:
        doCarSetInformation(id, paraBuf);
        break;
    case 0x50:
        doDrivingData(id, paraBuf);
        break;
    case 0x65:
        doTireAlert(id, paraBuf);
        break;
    case 0x67:
        doLightSetInformation(id, paraBuf);
        break;
    case 0x68:
        doRemainder(id, paraBuf);
        break;
    case 0x85:
        doRunMode(id, paraBuf);
        break;
    case 0x95:
        doEarGlonass(id, paraBuf);
        break;
    case 0xF2:
        doCarEnable(id, paraBuf);
        break;
    case 0xF3:
        doCarLamp(id, paraBuf);
        break;
    case 0xF6:
        doSpeed(id, paraBuf);
        break;
    case 0xFF:
        doAcAirClear(id, paraBuf);
        break;
    default:
        break;
    }
}

void SimpleService::doReport(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    if (paraBuf.size() == 4)
        emit messageChanged(64);
}

// Accepted and acknowledged, but nothing in them is shown to the head unit.
void SimpleService::doRunMode(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    Q_UNUSED(paraBuf)
}

void SimpleService::doCarEnable(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    Q_UNUSED(paraBuf)
}

void SimpleService::doCarLamp(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    Q_UNUSED(paraBuf)
}

} // namespace canservice
