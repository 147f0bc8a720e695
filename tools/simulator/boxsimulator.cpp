#include "boxsimulator.h"

#include "boxline.h"
#include "canboxframe.h"

#include <QJsonArray>

#include <cmath>

namespace {
using namespace canbox::in;
constexpr quint8 MileageId = TimeMileage, CarKeyId = CarKey, FuelId = Fuel, FuelHistoryId = FuelHistory,
                 SteeringKeyId = SteeringKey, RearRadarId = RearRadar, FrontRadarId = FrontRadar,
                 DoorsId = DoorsUnits, ParkingAssistId = ParkingAssist, ClimateId = Climate,
                 VersionId = Version, AmbientId = CarSettings, TripId = DrivingData, TyreId = TyreAlert,
                 LightId = LightSettings, SpeedId = Speed, RotationId = CarInfo;

QString requestName(int id)
{
    const char *name = canbox::messageName(quint8(id), canbox::Direction::FromBox);
    return name ? QString::fromLatin1(name)
                : QStringLiteral("message 0x%1").arg(id, 2, 16, QLatin1Char('0'));
}
} // namespace

BoxSimulator::BoxSimulator(BoxLine *line, const Scenario &scenario, const FaultOptions &faults,
                           QObject *parent)
    : QObject(parent), m_line(line), m_scenario(scenario), m_faults(faults), m_random(faults.seed)
{
    connect(m_line, &BoxLine::received, this, &BoxSimulator::onReceived);
    m_lineClock.start();
    m_stepTimer.setSingleShot(true);
    m_stepTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_stepTimer, &QTimer::timeout, this, &BoxSimulator::runDueSteps);
    m_heartbeat.setInterval(1000);
    m_splitTimer.setInterval(2);
    connect(&m_splitTimer, &QTimer::timeout, this, &BoxSimulator::writePiece);
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
    for (const auto &silence : qAsConst(m_faults.silences)) {
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
        send(SpeedId, m_model.speedMessage());
}

void BoxSimulator::writeOut(const QByteArray &bytes)
{
    if (!m_faults.splitChunks) {
        m_line->write(bytes);
        return;
    }
    // Pieces a few milliseconds apart, as a slow or busy line delivers them: one queue, so the
    // pieces only cut the stream and never reorder it.
    m_splitQueue += bytes;
    if (!m_splitTimer.isActive())
        m_splitTimer.start();
}

void BoxSimulator::writePiece()
{
    const int size = 1 + int(m_random.bounded(quint32(qMin(m_splitQueue.size(), 16))));
    m_line->write(m_splitQueue.left(size));
    m_splitQueue.remove(0, size);
    if (m_splitQueue.isEmpty())
        m_splitTimer.stop();
}

// The box speaks once the head unit has started it; the scenario still moves the model before.
bool BoxSimulator::send(int id, const QByteArray &payload)
{
    if (!m_running || silent())
        return false;
    QByteArray frame = canbox::frame(quint8(id), payload);
    if (m_verbose)
        emit report(QStringLiteral("box -> %1: %2").arg(requestName(id), QString::fromLatin1(frame.toHex(' '))));
    if (m_faults.noiseRate > 0 && m_random.generateDouble() < m_faults.noiseRate) {
        QByteArray noise;
        const int count = 1 + int(m_random.bounded(3));
        for (int i = 0; i < count; ++i)
            noise.append(char(0x30 + m_random.bounded(0x40)));
        frame.prepend(noise);
    }
    if (m_faults.corruptRate > 0 && m_random.generateDouble() < m_faults.corruptRate) {
        frame[frame.size() - 1] = char(frame.at(frame.size() - 1) ^ 0x5A);
        ++m_framesCorrupted;
    } else {
        ++m_framesSent;
    }
    writeOut(frame);
    return true;
}

// Everything the box knows, as a box reports where things stand when it is started.
void BoxSimulator::sendSnapshot()
{
    const VehicleModel &m = m_model;
    send(SpeedId, m.speedMessage());
    send(RotationId, m.rotationMessage());
    send(DoorsId, m.doorMessage());
    sendClimate();
    send(FrontRadarId, m.frontRadarMessage());
    send(RearRadarId, m.rearRadarMessage());
    send(ParkingAssistId, m.parkingAssistMessage());
    for (auto it = m.trip.cbegin(); it != m.trip.cend(); ++it)
        send(TripId, m.tripMessage(it.key()));
    send(FuelId, m.fuelMessage());
    send(FuelHistoryId, m.fuelHistoryMessage());
    send(MileageId, m.mileageMessage());
    send(LightId, m.lightMessage());
    send(AmbientId, m.ambientMessage());
    send(TyreId, m.tyreMessage());
}

void BoxSimulator::sendClimate()
{
    send(ClimateId, m_model.climateMessage());
}

// A silent box still hears the line (acknowledgements of what it sent before are counted) but
// answers nothing.
// The head unit's bytes, read by the same rules as the head unit reads the box's: its frames, and
// its acknowledgements, which arrive alone or run together with its frames.
void BoxSimulator::onReceived(const QByteArray &chunk)
{
    m_receiver.feed(chunk, m_lineClock.elapsed(),
                    [this](const canbox::ReceiveModel::Item &item) { onHostItem(item); });
}

void BoxSimulator::onHostItem(const canbox::ReceiveModel::Item &item)
{
    using M = canbox::ReceiveModel;
    if (item.kind == M::Noise || item.kind == M::BoxAnswer) {
        m_hostAcks += item.bytes.count(char(canbox::Accepted));
        m_hostNaks += item.bytes.count(char(canbox::Refused));
        return;
    }
    if (!item.isFrame() || silent())
        return;
    if (item.kind == M::Refused) {
        emit report(QStringLiteral("box <- frame with a wrong checksum: %1")
                            .arg(QString::fromLatin1(item.bytes.toHex(' '))));
        m_line->write(QByteArray(1, char(canbox::Refused)));
        return;
    }
    ++m_hostFrames;
    m_line->write(QByteArray(1, char(canbox::Accepted)));
    onHostFrame(item.id(), item.bytes.mid(3, item.bytes.size() - 4));
}

void BoxSimulator::onHostFrame(int id, const QByteArray &data)
{
    const auto at = [&data](int i) { return i < data.size() ? int(quint8(data.at(i))) : 0; };
    switch (id) {
    case 0x81:
        if (at(0) == 1) {
            emit report(QStringLiteral("box <- start"));
            if (!m_running) {
                // The steps due at the start set the model; then a started box reports where
                // things stand.
                if (!m_clock.isValid())
                    startScenario();
                m_running = true;
                sendSnapshot();
            }
        } else {
            emit report(QStringLiteral("box <- stop"));
            m_running = false;
        }
        return;
    case 0x90:
        emit report(QStringLiteral("box <- request %1").arg(requestName(at(0))));
        answerRequest(at(0));
        return;
    case 0x6C:
        emit report(QStringLiteral("box <- radar start"));
        return;
    case 0xC6:
        onSetting(at(0), at(1));
        return;
    case 0xC0:
        emit report(QStringLiteral("box <- source status %1 %2")
                            .arg(at(0), 2, 16, QLatin1Char('0'))
                            .arg(at(1), 2, 16, QLatin1Char('0')));
        return;
    case 0xC2: {
        const int frequency = at(1) | (at(2) << 8);
        const QString band = at(0) == 1 ? QStringLiteral("FM1") : at(0) == 2 ? QStringLiteral("FM2")
                                                                            : QStringLiteral("AM");
        const QString tuned = at(0) == 0x10 ? QStringLiteral("%1 kHz").arg(frequency)
                                            : QString::asprintf("%.2f MHz", frequency / 100.0);
        emit report(QStringLiteral("box <- radio %1 %2").arg(band, tuned));
        return;
    }
    case 0xCB: {
        QString text;
        for (int i = 2; i + 1 < data.size(); i += 2) {
            const ushort unit = ushort(at(i) | (at(i + 1) << 8));
            if (unit == 0)
                break;
            text.append(QChar(unit));
        }
        emit report(QStringLiteral("box <- %1 text \"%2\"")
                            .arg(at(1) == 3 ? QLatin1String("song") : QLatin1String("album"), text));
        return;
    }
    default:
        emit report(QStringLiteral("box <- frame 0x%1: %2")
                            .arg(id, 2, 16, QLatin1Char('0'))
                            .arg(QString::fromLatin1(data.toHex(' '))));
    }
}

// Settings and keys: the box applies what has a plain effect and reports the new state.
void BoxSimulator::onSetting(int code, int value)
{
    QByteArray &climate = m_model.climate;
    switch (code) {
    case 0xAC:
        if (value == 0x24 || value == 0x23) {
            const bool up = value == 0x24;
            emit report(QStringLiteral("box <- climate key temperature %1").arg(up ? "up" : "down"));
            climate[2] = char(qBound(0, quint8(climate.at(2)) + (up ? 1 : -1), 255));
            sendClimate();
        } else {
            emit report(QStringLiteral("box <- climate key 0x%1").arg(value, 2, 16, QLatin1Char('0')));
        }
        return;
    case 0xAE:
        emit report(QStringLiteral("box <- climate temperature level %1").arg(value));
        climate[2] = char(value);
        sendClimate();
        return;
    case 0xA3:
        m_model.distanceInMiles = value == 0x0F;
        emit report(QStringLiteral("box <- unit distance %1")
                            .arg(m_model.distanceInMiles ? "miles" : "kilometres"));
        send(DoorsId, m_model.doorMessage());
        return;
    case 0xA0: {
        // The head unit sends the level it has; the box switches to the other one.
        const bool fahrenheit = value == 1;
        m_model.setFahrenheit(fahrenheit);
        emit report(QStringLiteral("box <- unit temperature %1").arg(fahrenheit ? "°F" : "°C"));
        sendClimate();
        return;
    }
    case 0x05:
    case 0x07:
        emit report(QStringLiteral("box <- unit entry %1 level %2").arg(code == 0x05 ? 0 : 5).arg(value));
        return;
    case 0xBD:
        emit report(QStringLiteral("box <- ambient colour code %1").arg(value));
        m_model.ambientColour = value;
        send(AmbientId, m_model.ambientMessage());
        return;
    case 0xB1:
        emit report(QStringLiteral("box <- light mode %1").arg(value));
        return;
    default:
        emit report(QStringLiteral("box <- setting 0x%1 = 0x%2")
                            .arg(code, 2, 16, QLatin1Char('0'))
                            .arg(value, 2, 16, QLatin1Char('0')));
    }
}

void BoxSimulator::answerRequest(int id)
{
    switch (id) {
    case ClimateId:
        sendClimate();
        break;
    case FrontRadarId:
        send(FrontRadarId, m_model.frontRadarMessage());
        break;
    case RearRadarId:
        send(RearRadarId, m_model.rearRadarMessage());
        break;
    case DoorsId:
        send(DoorsId, m_model.doorMessage());
        break;
    case AmbientId:
        send(AmbientId, m_model.ambientMessage());
        break;
    case ParkingAssistId:
        send(ParkingAssistId, m_model.parkingAssistMessage());
        break;
    case TripId:
        for (auto it = m_model.trip.cbegin(); it != m_model.trip.cend(); ++it)
            send(TripId, m_model.tripMessage(it.key()));
        break;
    case SpeedId:
        send(SpeedId, m_model.speedMessage());
        break;
    case VersionId:
        send(VersionId, m_model.versionMessage());
        break;
    default:
        break;
    }
}

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

void BoxSimulator::applyNote(const QJsonValue &value, const QJsonObject &)
{
    emit report(QStringLiteral("box: %1").arg(value.toString()));
}

void BoxSimulator::applySilence(const QJsonValue &value, const QJsonObject &)
{
    const double seconds = value.toDouble();
    emit report(QStringLiteral("box falls silent for %1 s").arg(seconds));
    m_silentUntil = m_clock.elapsed() + qint64(seconds * 1000);
}

void BoxSimulator::applyVersion(const QJsonValue &value, const QJsonObject &)
{
    m_model.version = value.toString();
    if (m_running)
        send(VersionId, m_model.versionMessage());
}

void BoxSimulator::applySpeedUnit(const QJsonValue &value, const QJsonObject &change)
{
    m_model.speedInMiles = value.toString() == QLatin1String("mph");
    if (!change.contains(QLatin1String("speed")))
        send(SpeedId, m_model.speedMessage());
}

void BoxSimulator::applySpeed(const QJsonValue &value, const QJsonObject &)
{
    m_model.speed = float(value.toDouble());
    send(SpeedId, m_model.speedMessage());
}

void BoxSimulator::applyRpm(const QJsonValue &value, const QJsonObject &)
{
    m_model.rpm = value.toInt();
    send(RotationId, m_model.rotationMessage());
}

void BoxSimulator::applyDoors(const QJsonValue &value, const QJsonObject &)
{
    const QJsonObject doors = value.toObject();
    for (int bit = 2; bit < 8; ++bit) {
        const QString name = QLatin1String(DoorNames[bit - 2]);
        if (doors.contains(name))
            m_model.doors = doors.value(name).toBool() ? m_model.doors | (1 << bit)
                                                       : m_model.doors & ~(1 << bit);
    }
    send(DoorsId, m_model.doorMessage());
}

void BoxSimulator::applyUnits(const QJsonValue &value, const QJsonObject &)
{
    const QJsonObject units = value.toObject();
    if (units.contains("distance")) {
        m_model.distanceInMiles = units.value("distance").toString() == QLatin1String("mi");
        send(DoorsId, m_model.doorMessage());
    }
    if (units.contains("temperature")) {
        m_model.setFahrenheit(units.value("temperature").toString() == QLatin1String("F"));
        sendClimate();
    }
}

void BoxSimulator::applyClimate(const QJsonValue &value, const QJsonObject &)
{
    const QJsonObject c = value.toObject();
    QByteArray &b = m_model.climate;
    if (c.contains("power"))
        setBit(b, 0, 7, !c.value("power").toBool());
    if (c.contains("ac"))
        setBit(b, 0, 6, c.value("ac").toBool());
    if (c.contains("inside"))
        setBit(b, 0, 5, c.value("inside").toBool());
    if (c.contains("auto"))
        setBit(b, 0, 3, c.value("auto").toBool());
    if (c.contains("dual"))
        setBit(b, 0, 2, c.value("dual").toBool());
    if (c.contains("fan"))
        b[1] = char((quint8(b.at(1)) & ~0x07) | (c.value("fan").toInt() & 0x07));
    if (c.contains("wind"))
        b[1] = char((quint8(b.at(1)) & 0x1F) | ((c.value("wind").toInt() & 0x07) << 5));
    if (c.contains("manual"))
        setBit(b, 4, 3, c.value("manual").toBool());
    if (c.contains("fahrenheit"))
        m_model.setFahrenheit(c.value("fahrenheit").toBool());
    if (c.contains("level"))
        b[2] = char(c.value("level").toInt());
    using Side = QPair<const char *, int>;
    for (const Side &side : {Side("left", 2), Side("right", 6)}) {
        if (!c.contains(QLatin1String(side.first)))
            continue;
        bool converted = false;
        const QJsonValue v = c.value(QLatin1String(side.first));
        b[side.second] = char(temperatureIndex(v, m_model.fahrenheit(), &converted));
        if (converted)
            emit report(QStringLiteral("box: %1 %2 taken as %3, since the block is in %4")
                                .arg(QLatin1String(side.first))
                                .arg(v.toDouble())
                                .arg(m_model.fahrenheit() ? "°C" : "°F", m_model.fahrenheit() ? "°F" : "°C"));
    }
    if (c.contains("rear"))
        b[7] = char(c.value("rear").toInt());
    sendClimate();
}

void BoxSimulator::applyRadar(const QJsonValue &value, const QJsonObject &)
{
    const QJsonObject r = value.toObject();
    if (r.contains("front")) {
        for (int i = 0; i < 4; ++i)
            m_model.frontRadar[i] = r.value("front").toArray().at(i).toInt();
        send(FrontRadarId, m_model.frontRadarMessage());
    }
    if (r.contains("rear")) {
        for (int i = 0; i < 4; ++i)
            m_model.rearRadar[i] = r.value("rear").toArray().at(i).toInt();
        send(RearRadarId, m_model.rearRadarMessage());
    }
}

void BoxSimulator::applyParkingAssist(const QJsonValue &value, const QJsonObject &)
{
    m_model.parkingAssist = value.toBool();
    send(ParkingAssistId, m_model.parkingAssistMessage());
}

void BoxSimulator::applySteeringKey(const QJsonValue &value, const QJsonObject &)
{
    pressKey(SteeringKeyId, value);
}

void BoxSimulator::applyCarKey(const QJsonValue &value, const QJsonObject &)
{
    pressKey(CarKeyId, value);
}

// A press now and the release after the hold, in the message of the key's kind.
void BoxSimulator::pressKey(int id, const QJsonValue &value)
{
    const QJsonObject key = value.toObject();
    const int code = key.value("code").toInt();
    const auto message = [id, code](int state) {
        if (id == SteeringKeyId)
            return QByteArray(1, char(code)) + char(state);
        QByteArray m(10, '\0');
        m[2] = char(code);
        m[3] = char(state);
        return m;
    };
    send(id, message(1));
    QTimer::singleShot(int(key.value("hold").toDouble(0.2) * 1000), Qt::PreciseTimer, this,
                       [this, id, message] { send(id, message(0)); });
}

void BoxSimulator::applyTrip(const QJsonValue &value, const QJsonObject &)
{
    const QJsonArray items = value.isArray() ? value.toArray() : QJsonArray{value};
    for (const QJsonValue &v : items) {
        const QJsonObject item = v.toObject();
        const int code = item.value("item").toInt();
        m_model.trip.insert(code, {item.value("unit").toInt(), item.value("value").toDouble()});
        send(TripId, m_model.tripMessage(code));
    }
}

void BoxSimulator::applyFuel(const QJsonValue &value, const QJsonObject &)
{
    const QJsonObject f = value.toObject();
    m_model.fuelNow = f.value("now").toInt(m_model.fuelNow);
    m_model.fuelAverage = f.value("average").toDouble(m_model.fuelAverage);
    send(FuelId, m_model.fuelMessage());
    if (f.contains("history")) {
        for (int i = 0; i < 3; ++i)
            m_model.fuelHistory[i] = f.value("history").toArray().at(i).toDouble();
        send(FuelHistoryId, m_model.fuelHistoryMessage());
    }
}

void BoxSimulator::applyMileage(const QJsonValue &value, const QJsonObject &)
{
    const QJsonObject m = value.toObject();
    m_model.mileageTotal = value.isObject() ? m.value(QLatin1String("total")).toDouble() : value.toDouble();
    m_model.mileageSecond = m.value(QLatin1String("second")).toDouble(-1);
    send(MileageId, m_model.mileageMessage());
}

void BoxSimulator::applyMileageUnit(const QJsonValue &value, const QJsonObject &)
{
    m_model.mileageUnitFlag = value.toBool();
    send(LightId, m_model.lightMessage());
}

void BoxSimulator::applyAmbient(const QJsonValue &value, const QJsonObject &)
{
    m_model.ambientColour = value.toInt();
    send(AmbientId, m_model.ambientMessage());
}

void BoxSimulator::applyTyreAlert(const QJsonValue &value, const QJsonObject &)
{
    const QJsonObject t = value.toObject();
    m_model.tyreType = t.value("type").toInt();
    m_model.tyreState = t.value("state").toInt();
    send(TyreId, m_model.tyreMessage());
}
