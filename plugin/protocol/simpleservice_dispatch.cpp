#include "simpleservice.h"

#include "canboxframe.h"

namespace canservice {

void SimpleService::dispatchEvent(int id, QByteArray &paraBuf)
{
    if (mParseOutTmr.isActive())
        mParseOutTmr.stop();

    // Whatever the message, the box is alive.
    linkUp();

    namespace in = canbox::in;
    switch (id) {
    case in::TimeMileage:
        doTimeMileageInformation(id, paraBuf);
        break;
    case in::CarKey:
        doCarBaseInfo(id, paraBuf);
        break;
    case in::Fuel:
        doOilMileageInformation(id, paraBuf);
        break;
    case in::FuelHistory:
        doOilMileageInformationPast(id, paraBuf);
        break;
    case in::SteeringKey:
        doSwc(id, paraBuf);
        break;
    case in::RearRadar:
        doRearRadar(id, paraBuf);
        break;
    case in::FrontRadar:
        doFrontRadar(id, paraBuf);
        break;
    case in::DoorsUnits:
        // One message carries both the doors (5 bytes) and a unit setting.
        doCarDetailInformation(id, paraBuf);
        doUnitInfo(id, paraBuf);
        break;
    case in::ParkingAssist:
        doParkingAssist(id, paraBuf);
        break;
    case in::Climate:
        // One message carries both the climate block (8 bytes) and a unit setting.
        doConditioner(id, paraBuf);
        doUnitInfo(id, paraBuf);
        break;
    case in::SteeringAngle:
        doEPS(id, paraBuf);
        break;
    case in::Version:
        doVersion(id, paraBuf);
        break;
    case in::Report:
        doReport(id, paraBuf);
        break;
    case in::CarInfo:
        doCarInformation(id, paraBuf);
        break;
    case in::CarSettings:
        doCarSetInformation(id, paraBuf);
        break;
    case in::DrivingData:
        doDrivingData(id, paraBuf);
        break;
    case in::TyreAlert:
        doTireAlert(id, paraBuf);
        break;
    case in::LightSettings:
        doLightSetInformation(id, paraBuf);
        break;
    case in::OutsideTemperature:
        doRemainder(id, paraBuf);
        break;
    case in::RunMode:
        doRunMode(id, paraBuf);
        break;
    case in::EmergencyCall:
        doEarGlonass(id, paraBuf);
        break;
    case in::CarEnable:
        doCarEnable(id, paraBuf);
        break;
    case in::CarLamp:
        doCarLamp(id, paraBuf);
        break;
    case in::Speed:
        doSpeed(id, paraBuf);
        break;
    case in::AirCleaning:
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
        emit messageChanged(canbox::in::Report);
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
