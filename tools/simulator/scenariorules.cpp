#include "boxsimulator.h"

#include <cmath>

namespace tool {

// Applied in this order whatever the order in the file, so a step that sets a unit and a value
// sends the value in its unit.
namespace {
using namespace check;
// Degrees in either unit map to the block's index 0 to 255 between 0 and 127.5.
const ValueCheck Temperature = either(number(0, 127.5), oneOf({"LO", "HI"}));
const ValueCheck Key = object({{"code", integer(0, 255)}, {"hold", number(0, 60)}});
const ValueCheck TripItem = object({{"item", integer(0, 255)}, {"unit", integer(0, 255)},
                                    {"value", number(-214748364.8, 214748364.7)}});
const ValueCheck Tenths = number(0, 6553.5);
// The time-and-mileage message carries two figures in tenths, bytes 4-6 and bytes 6-8: they share
// byte 6, so a box that sends both sends figures that agree on it.
const ValueCheck Mileage = [](const QJsonValue &value) -> QString {
    const ValueCheck shape = either(number(0, 1677721.5),
                                    object({{"total", number(0, 1677721.5)}, {"second", number(0, 1677721.5)}}));
    if (const QString problem = shape(value); !problem.isEmpty())
        return problem;
    if (!value.isObject() || !value.toObject().contains(QLatin1String("second")))
        return QString();
    const QJsonObject m = value.toObject();
    const auto total = quint32(std::lround(m.value(QLatin1String("total")).toDouble() * 10));
    const auto second = quint32(std::lround(m.value(QLatin1String("second")).toDouble() * 10));
    if ((total & 0xFF) == (second >> 16))
        return QString();
    return QStringLiteral("total %1 and second %2 disagree on the byte they share (0x%3 and 0x%4); "
                          "a total that is a multiple of 25.6 with a second below 6553.6 agrees")
            .arg(m.value(QLatin1String("total")).toDouble())
            .arg(m.value(QLatin1String("second")).toDouble())
            .arg(total & 0xFF, 2, 16, QLatin1Char('0'))
            .arg(second >> 16, 2, 16, QLatin1Char('0'));
};
} // namespace

const BoxSimulator::KeyHandler BoxSimulator::Handlers[] = {
    {"note", &BoxSimulator::applyNote, text(1000)},
    {"silence", &BoxSimulator::applySilence, number(0.001, 86400)},
    {"version", &BoxSimulator::applyVersion, text(255)},
    {"speedUnit", &BoxSimulator::applySpeedUnit, oneOf({"km/h", "mph"})},
    {"speed", &BoxSimulator::applySpeed, number(0, 4095.9375)},
    {"rpm", &BoxSimulator::applyRpm, integer(0, 65535)},
    {"doors", &BoxSimulator::applyDoors,
     object({{"front-lid", boolean()}, {"rear-lid", boolean()}, {"left-rear", boolean()},
             {"right-rear", boolean()}, {"left-front", boolean()}, {"right-front", boolean()}})},
    {"units", &BoxSimulator::applyUnits,
     object({{"distance", oneOf({"km", "mi"})}, {"temperature", oneOf({"C", "F"})}})},
    {"climate", &BoxSimulator::applyClimate,
     object({{"power", boolean()}, {"ac", boolean()}, {"inside", boolean()}, {"auto", boolean()},
             {"dual", boolean()}, {"manual", boolean()}, {"fahrenheit", boolean()},
             {"fan", integer(0, 7)}, {"wind", integer(0, 7)}, {"level", integer(0, 255)},
             {"left", Temperature}, {"right", Temperature}, {"rear", integer(0, 255)}})},
    {"radar", &BoxSimulator::applyRadar,
     object({{"front", array(integer(0, 31), 4)}, {"rear", array(integer(0, 31), 4)}})},
    {"parkingAssist", &BoxSimulator::applyParkingAssist, boolean()},
    {"key", &BoxSimulator::applySteeringKey, Key},
    {"carKey", &BoxSimulator::applyCarKey, Key},
    {"trip", &BoxSimulator::applyTrip, either(TripItem, array(TripItem))},
    {"fuel", &BoxSimulator::applyFuel,
     object({{"now", integer(0, 255)}, {"average", Tenths}, {"history", array(Tenths, 3)}})},
    {"mileage", &BoxSimulator::applyMileage, Mileage},
    {"mileageUnit", &BoxSimulator::applyMileageUnit, boolean()},
    {"ambient", &BoxSimulator::applyAmbient, integer(0, 255)},
    {"tyreAlert", &BoxSimulator::applyTyreAlert, object({{"type", integer(0, 255)}, {"state", integer(0, 255)}})},
};

QString BoxSimulator::checkScenarioValue(const QString &key, const QJsonValue &value)
{
    for (const KeyHandler &h : Handlers)
        if (key == QLatin1String(h.key))
            return h.rule(value);
    return QStringLiteral("unknown key");
}

QStringList BoxSimulator::scenarioKeys()
{
    QStringList keys;
    for (const KeyHandler &h : Handlers)
        keys << QLatin1String(h.key);
    return keys;
}

void BoxSimulator::applyStep(const QJsonObject &change)
{
    for (const KeyHandler &h : Handlers) {
        const auto it = change.constFind(QLatin1String(h.key));
        if (it != change.constEnd())
            (this->*h.apply)(it.value(), change);
    }
}

} // namespace tool
