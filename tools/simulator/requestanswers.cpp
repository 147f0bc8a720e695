#include "boxsimulator.h"

#include "canboxframe.h"

namespace tool {

namespace {
namespace in = canbox::in;
} // namespace

// A request for a message the box knows is answered with that message from the model.
void BoxSimulator::answerRequest(int id)
{
    switch (id) {
    case in::Climate:
        sendClimate();
        break;
    case in::FrontRadar:
        send(in::FrontRadar, m_model.frontRadarMessage());
        break;
    case in::RearRadar:
        send(in::RearRadar, m_model.rearRadarMessage());
        break;
    case in::DoorsUnits:
        send(in::DoorsUnits, m_model.doorMessage());
        break;
    case in::CarSettings:
        send(in::CarSettings, m_model.ambientMessage());
        break;
    case in::ParkingAssist:
        send(in::ParkingAssist, m_model.parkingAssistMessage());
        break;
    case in::DrivingData:
        for (auto it = m_model.trip.cbegin(); it != m_model.trip.cend(); ++it)
            send(in::DrivingData, m_model.tripMessage(it.key()));
        break;
    case in::Speed:
        send(in::Speed, m_model.speedMessage());
        break;
    case in::Version:
        send(in::Version, m_model.versionMessage());
        break;
    default:
        break;
    }
}

} // namespace tool
