#include "boxsimulator.h"

#include "boxline.h"
#include "canboxframe.h"
#include "hostframetext.h"

#include <cmath>

namespace tool {

namespace {
namespace in = canbox::in;
} // namespace

BoxSimulator::BoxSimulator(BoxLine *line, const Scenario &scenario, const FaultOptions &faults,
                           QObject *parent)
    : QObject(parent), m_line(line), m_scenario(scenario), m_silences(faults.silences), m_output(line, faults)
{
    connect(m_line, &BoxLine::received, this, &BoxSimulator::onReceived);
    m_lineClock.start();
    m_stepTimer.setSingleShot(true);
    m_stepTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_stepTimer, &QTimer::timeout, this, &BoxSimulator::runDueSteps);
    m_heartbeat.setInterval(1000);
    connect(&m_heartbeat, &QTimer::timeout, this, &BoxSimulator::heartbeat);
}

void BoxSimulator::begin()
{
    m_heartbeat.start();
}

// The scenario's clock starts with the head unit's first start command: "at": 0 is then.
void BoxSimulator::startScenario()
{
    m_clock.start();
    for (const auto &silence : qAsConst(m_silences)) {
        QTimer::singleShot(int(silence.first * 1000), Qt::PreciseTimer, this, [this, silence] {
            m_silentUntil = m_clock.elapsed() + qint64(silence.second * 1000);
            emit report(QStringLiteral("box falls silent for %1 s").arg(silence.second));
        });
    }
    runDueSteps();
}

bool BoxSimulator::silent() const
{
    return m_silentUntil >= 0 && m_clock.isValid() && m_clock.elapsed() < m_silentUntil;
}

void BoxSimulator::runDueSteps()
{
    const double now = m_clock.elapsed() / 1000.0;
    while (m_nextStep < m_scenario.steps.size() && m_scenario.steps.at(m_nextStep).at <= now)
        applyStep(m_scenario.steps.at(m_nextStep++).change);
    if (m_nextStep < m_scenario.steps.size()) {
        const double wait = m_scenario.steps.at(m_nextStep).at - m_clock.elapsed() / 1000.0;
        m_stepTimer.start(qMax(0, int(std::ceil(wait * 1000))));
    } else {
        emit scenarioFinished();
    }
}

void BoxSimulator::heartbeat()
{
    if (m_running)
        send(in::Speed, m_model.speedMessage());
}

// The box speaks once the head unit has started it; the scenario still moves the model before.
bool BoxSimulator::send(int id, const QByteArray &payload)
{
    if (!m_running || silent())
        return false;
    QByteArray frame = canbox::frame(quint8(id), payload);
    if (m_verbose)
        emit report(QStringLiteral("box -> %1: %2").arg(boxMessageName(id), QString::fromLatin1(frame.toHex(' '))));
    m_output.send(std::move(frame));
    return true;
}

// Everything the box knows, as a box reports where things stand when it is started.
void BoxSimulator::sendSnapshot()
{
    const VehicleModel &m = m_model;
    send(in::Speed, m.speedMessage());
    send(in::CarInfo, m.rotationMessage());
    send(in::DoorsUnits, m.doorMessage());
    sendClimate();
    send(in::FrontRadar, m.frontRadarMessage());
    send(in::RearRadar, m.rearRadarMessage());
    send(in::ParkingAssist, m.parkingAssistMessage());
    for (auto it = m.trip.cbegin(); it != m.trip.cend(); ++it)
        send(in::DrivingData, m.tripMessage(it.key()));
    send(in::Fuel, m.fuelMessage());
    send(in::FuelHistory, m.fuelHistoryMessage());
    send(in::TimeMileage, m.mileageMessage());
    send(in::LightSettings, m.lightMessage());
    send(in::CarSettings, m.ambientMessage());
    send(in::TyreAlert, m.tyreMessage());
}

void BoxSimulator::sendClimate()
{
    send(in::Climate, m_model.climateMessage());
}

} // namespace tool
