#include "boxsimulator.h"

#include "canboxframe.h"
#include "hostframetext.h"

namespace tool {

namespace {
namespace in = canbox::in;
namespace out = canbox::out;
namespace setting = canbox::setting;
} // namespace

// What the head unit's frame makes the box do; its report is already out.
void BoxSimulator::obey(int id, const QByteArray &data)
{
    switch (id) {
    case out::StartStop:
        if (dataByte(data, 0) == out::Start)
            onStart();
        else
            m_running = false;
        return;
    case out::DataRequest:
        answerRequest(dataByte(data, 0));
        return;
    case out::Setting:
        onSetting(dataByte(data, 0), dataByte(data, 1));
        return;
    default:
        return;
    }
}

void BoxSimulator::onStart()
{
    if (m_running)
        return;
    // The steps due at the start set the model; then a started box reports where things stand.
    if (!m_clock.isValid())
        startScenario();
    m_running = true;
    sendSnapshot();
}

// Settings and keys: the box applies what has a plain effect and reports the new state.
void BoxSimulator::onSetting(int code, int value)
{
    QByteArray &climate = m_model.climate;
    switch (code) {
    case setting::ClimateKey:
        if (value == canbox::climate::TemperatureUp || value == canbox::climate::TemperatureDown) {
            const bool up = value == canbox::climate::TemperatureUp;
            climate[2] = char(qBound(0, quint8(climate.at(2)) + (up ? 1 : -1), 255));
            sendClimate();
        }
        return;
    case setting::ClimateLevel:
        climate[2] = char(value);
        sendClimate();
        return;
    case setting::DistanceUnit:
        m_model.distanceInMiles = value == setting::Miles;
        send(in::DoorsUnits, m_model.doorMessage());
        return;
    case setting::TemperatureUnit:
        // The head unit sends the level it has; the box switches to the other one.
        m_model.setFahrenheit(value == 1);
        sendClimate();
        return;
    case setting::AmbientColour:
        m_model.ambientColour = value;
        send(in::CarSettings, m_model.ambientMessage());
        return;
    default:
        return;
    }
}

} // namespace tool
