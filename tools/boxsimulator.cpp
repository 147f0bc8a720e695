#include "boxsimulator.h"

#include "boxline.h"
#include "canboxframe.h"

#include <QJsonDocument>
#include <QSet>

#include <cmath>

namespace {
using namespace canbox::in;
constexpr quint8 MileageId = TimeMileage, CarKeyId = CarKey, FuelId = Fuel, FuelHistoryId = FuelHistory,
                 SteeringKeyId = SteeringKey, RearRadarId = RearRadar, FrontRadarId = FrontRadar,
                 DoorsId = DoorsUnits, ParkingAssistId = ParkingAssist, ClimateId = Climate,
                 VersionId = Version, AmbientId = CarSettings, TripId = DrivingData, TyreId = TyreAlert,
                 LightId = LightSettings, SpeedId = Speed, RotationId = CarInfo;

const char *const DoorNames[] = {"front-lid", "rear-lid", "left-rear", "right-rear", "left-front",
                                 "right-front"};

QByteArray le(quint32 value, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
    return out;
}

QByteArray be(quint32 value, int bytes)
{
    QByteArray out;
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xFF));
    return out;
}

int tenths(double value)
{
    return int(std::lround(value * 10.0));
}

QString requestName(int id)
{
    const char *name = canbox::messageName(quint8(id), canbox::Direction::FromBox);
    return name ? QString::fromLatin1(name)
                : QStringLiteral("message 0x%1").arg(id, 2, 16, QLatin1Char('0'));
}

// Degrees to the climate block's temperature index: half degrees from 16 °C at 32, or from
// 60 °F at 120; LO and HI have their own indices.
int temperatureIndex(const QJsonValue &value, bool fahrenheit)
{
    if (value.toString() == QLatin1String("LO"))
        return fahrenheit ? 119 : 30;
    if (value.toString() == QLatin1String("HI"))
        return fahrenheit ? 171 : 60;
    const double degrees = value.toDouble();
    return fahrenheit ? int(std::lround(120 + (degrees - 60) * 2))
                      : int(std::lround(32 + (degrees - 16) * 2));
}

void setBit(QByteArray &bytes, int index, int bit, bool on)
{
    const char mask = char(1 << bit);
    bytes[index] = on ? char(bytes.at(index) | mask) : char(bytes.at(index) & ~mask);
}

const QSet<QString> &knownKeys()
{
    static const QSet<QString> keys = {
        "at",       "speed",    "speedUnit", "rpm",     "doors",     "climate",
        "radar",    "parkingAssist", "key",  "carKey",  "trip",      "fuel",
        "mileage",  "mileageUnit", "units",  "ambient", "tyreAlert", "version",
        "silence",  "note",
    };
    return keys;
}
} // namespace

QByteArray VehicleModel::speedMessage() const
{
    const auto raw = quint32(qBound(0L, std::lround(speed * 16.0), 65535L));
    return le(raw, 2) + char(speedInMiles ? 1 : 0);
}

QByteArray VehicleModel::rotationMessage() const
{
    return QByteArray(1, '\x03') + be(quint32(qBound(0, rpm, 65535)), 2);
}

QByteArray VehicleModel::doorMessage() const
{
    QByteArray m(5, '\0');
    m[0] = char(doors & 0xFC);
    // Byte 2 bit 7 says miles; kilometres need byte 1 bit 3 clear as well.
    m[2] = char(distanceInMiles ? 0x80 : 0x00);
    return m;
}

QByteArray VehicleModel::frontRadarMessage() const
{
    QByteArray m(6, '\0');
    for (int i = 0; i < 4; ++i)
        m[i] = char(frontRadar[i]);
    return m;
}

QByteArray VehicleModel::rearRadarMessage() const
{
    QByteArray m(4, '\0');
    for (int i = 0; i < 4; ++i)
        m[i] = char(rearRadar[i]);
    return m;
}

QByteArray VehicleModel::parkingAssistMessage() const
{
    return QByteArray(1, parkingAssist ? '\x80' : '\x00') + '\0';
}

QByteArray VehicleModel::versionMessage() const
{
    return version.toUtf8().left(255);
}

// Items 0x50-0x52 carry a 24-bit count in bytes 1-3; the others a unit selector in byte 1 and
// the value from byte 2, in tenths where the head unit shows one decimal.
QByteArray VehicleModel::tripMessage(int item) const
{
    const auto entry = trip.value(item);
    QByteArray m(1, char(item));
    if (item >= 0x50 && item <= 0x52) {
        m += le(quint32(std::lround(entry.second)), 3);
        m += QByteArray(2, '\0');
        return m;
    }
    m.append(char(entry.first));
    const bool whole = item == 0x10;
    const qint32 value = whole ? qint32(std::lround(entry.second)) : tenths(entry.second);
    m += le(quint32(value), 4);
    return m;
}

QByteArray VehicleModel::fuelMessage() const
{
    QByteArray m(17, '\0');
    m[0] = char(fuelNow);
    m.replace(1, 2, be(quint32(tenths(fuelAverage)), 2));
    return m;
}

QByteArray VehicleModel::fuelHistoryMessage() const
{
    QByteArray m(17, '\0');
    m.replace(3, 2, be(quint32(tenths(fuelHistory[0])), 2));
    m.replace(8, 2, be(quint32(tenths(fuelHistory[1])), 2));
    m.replace(13, 2, be(quint32(tenths(fuelHistory[2])), 2));
    return m;
}

QByteArray VehicleModel::mileageMessage() const
{
    QByteArray m(9, '\0');
    m.replace(4, 3, be(quint32(tenths(mileageTotal)), 3));
    return m;
}

QByteArray VehicleModel::lightMessage() const
{
    return QByteArray(1, '\0') + char(mileageUnitFlag ? 0x04 : 0x00);
}

QByteArray VehicleModel::ambientMessage() const
{
    return QByteArray(1, char(ambientColour)) + QByteArray(4, '\0');
}

QByteArray VehicleModel::tyreMessage() const
{
    return QByteArray(1, char(tyreState)) + char(tyreType);
}

bool Scenario::parse(const QByteArray &json, const QString &source, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (doc.isNull()) {
        *error = QStringLiteral("%1: not valid JSON at offset %2: %3.")
                         .arg(source).arg(parseError.offset).arg(parseError.errorString());
        return false;
    }
    const QJsonObject root = doc.object();
    if (!doc.isObject() || !root.value(QLatin1String("events")).isArray()) {
        *error = QStringLiteral("%1: a scenario is an object with an \"events\" array.").arg(source);
        return false;
    }
    name = root.value(QLatin1String("name")).toString(source);
    steps.clear();
    const QJsonArray events = root.value(QLatin1String("events")).toArray();
    for (int i = 0; i < events.size(); ++i) {
        const QJsonObject event = events.at(i).toObject();
        if (!events.at(i).isObject() || !event.value(QLatin1String("at")).isDouble()
            || event.value(QLatin1String("at")).toDouble() < 0) {
            *error = QStringLiteral("%1: event %2 needs \"at\", its time in seconds.")
                             .arg(source).arg(i + 1);
            return false;
        }
        for (auto it = event.begin(); it != event.end(); ++it) {
            if (!knownKeys().contains(it.key())) {
                *error = QStringLiteral("%1: event %2: unknown key \"%3\".")
                                 .arg(source).arg(i + 1).arg(it.key());
                return false;
            }
        }
        steps.append({event.value(QLatin1String("at")).toDouble(), event});
    }
    std::stable_sort(steps.begin(), steps.end(),
                     [](const ScenarioStep &a, const ScenarioStep &b) { return a.at < b.at; });
    return true;
}

Scenario Scenario::builtInDrive()
{
    static const char drive[] = R"({
      "name": "built-in drive",
      "events": [
        {"at": 0.0, "version": "CB-SIM 1.0", "climate": {"power": true, "ac": true, "auto": true,
                    "fan": 2, "wind": 1, "level": 14, "rear": 9}},
        {"at": 1.0, "speed": 12.5, "rpm": 1200},
        {"at": 2.0, "speed": 30.0, "rpm": 1800},
        {"at": 3.0, "speed": 56.5, "rpm": 2400},
        {"at": 4.0, "doors": {"left-front": true}},
        {"at": 5.0, "doors": {"left-front": false}},
        {"at": 5.5, "speed": 0.0, "rpm": 800},
        {"at": 6.0, "radar": {"rear": [24, 30, 0, 0]}, "parkingAssist": true},
        {"at": 6.8, "radar": {"rear": [14, 20, 26, 0]}},
        {"at": 7.6, "radar": {"rear": [4, 9, 15, 28]}},
        {"at": 8.4, "radar": {"rear": [1, 3, 8, 14]}},
        {"at": 9.2, "radar": {"rear": [0, 0, 0, 0]}, "parkingAssist": false},
        {"at": 11.5, "climate": {"manual": true, "fan": 4, "wind": 2, "left": 22.0, "right": 21.5}},
        {"at": 12.5, "key": {"code": 5, "hold": 0.3}},
        {"at": 13.5, "key": {"code": 3, "hold": 2.0}},
        {"at": 16.0, "trip": [{"item": 32, "unit": 0, "value": 432.1},
                              {"item": 48, "unit": 0, "value": 6.8},
                              {"item": 64, "unit": 0, "value": 45.3},
                              {"item": 80, "value": 127}]},
        {"at": 16.5, "fuel": {"now": 5, "average": 7.4, "history": [6.9, 7.1, 8.3]}},
        {"at": 17.0, "mileage": 12345.6},
        {"at": 18.0, "ambient": 3},
        {"at": 20.0, "note": "end of the drive"}
      ]
    })";
    Scenario scenario;
    QString error;
    scenario.parse(QByteArray(drive), QStringLiteral("built-in drive"), &error);
    Q_ASSERT(error.isEmpty());
    return scenario;
}

BoxSimulator::BoxSimulator(BoxLine *line, const Scenario &scenario, const FaultOptions &faults,
                           QObject *parent)
    : QObject(parent), m_line(line), m_scenario(scenario), m_faults(faults), m_random(faults.seed)
{
    connect(m_line, &BoxLine::received, this, &BoxSimulator::onReceived);
    m_stepTimer.setSingleShot(true);
    m_stepTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_stepTimer, &QTimer::timeout, this, &BoxSimulator::runDueSteps);
    m_heartbeat.setInterval(1000);
    connect(&m_heartbeat, &QTimer::timeout, this, &BoxSimulator::heartbeat);
}

void BoxSimulator::begin()
{
    m_clock.start();
    m_heartbeat.start();
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
    if (!m_faults.splitChunks || bytes.size() < 2) {
        m_line->write(bytes);
        return;
    }
    // Pieces a few milliseconds apart, as a slow or busy line delivers them.
    int offset = 0, delay = 0;
    while (offset < bytes.size()) {
        const int size = 1 + int(m_random.bounded(quint32(bytes.size() - offset)));
        const QByteArray piece = bytes.mid(offset, size);
        QTimer::singleShot(delay, this, [this, piece] { m_line->write(piece); });
        offset += size;
        delay += 2;
    }
}

// The box speaks once the head unit has started it; the scenario still moves the model before.
bool BoxSimulator::send(int id, const QByteArray &payload)
{
    if (!m_running || silent())
        return false;
    QByteArray frame = canbox::frame(quint8(id), payload);
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

void BoxSimulator::sendClimate()
{
    send(ClimateId, m_model.climateMessage());
}

// A silent box still hears the line (acknowledgements of what it sent before are counted) but
// answers nothing.
void BoxSimulator::onReceived(const QByteArray &chunk)
{
    for (const char c : chunk) {
        const auto b = quint8(c);
        if (m_frame.isEmpty()) {
            if (b == 0x2E)
                m_frame.append(c);
            else if (b == 0xFF)
                ++m_hostAcks;
            else if (b == 0xF0)
                ++m_hostNaks;
            continue;
        }
        m_frame.append(c);
        if (m_frame.size() == 3)
            m_expected = 3 + quint8(m_frame.at(2)) + 1;
        if (m_frame.size() < 3 || m_frame.size() < m_expected)
            continue;
        const QByteArray frame = m_frame;
        m_frame.clear();
        if (silent())
            continue;
        if (canbox::checksum(frame.constData() + 1, frame.size() - 2) != quint8(frame.at(frame.size() - 1))) {
            emit report(QStringLiteral("box <- frame with a wrong checksum: %1")
                                .arg(QString::fromLatin1(frame.toHex(' '))));
            m_line->write(QByteArray(1, '\xf0'));
            continue;
        }
        ++m_hostFrames;
        m_line->write(QByteArray(1, '\xff'));
        onHostFrame(quint8(frame.at(1)), frame.mid(3, frame.size() - 4));
    }
}

void BoxSimulator::onHostFrame(int id, const QByteArray &data)
{
    const auto at = [&data](int i) { return i < data.size() ? int(quint8(data.at(i))) : 0; };
    switch (id) {
    case 0x81:
        if (at(0) == 1) {
            emit report(QStringLiteral("box <- start"));
            if (!m_running) {
                // A started box reports where things stand.
                m_running = true;
                send(SpeedId, m_model.speedMessage());
                send(DoorsId, m_model.doorMessage());
                sendClimate();
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
        setBit(climate, 4, 6, fahrenheit);
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

void BoxSimulator::applyStep(const QJsonObject &change)
{
    VehicleModel &m = m_model;
    if (change.contains("note"))
        emit report(QStringLiteral("box: %1").arg(change.value("note").toString()));
    if (change.contains("silence")) {
        const double seconds = change.value("silence").toDouble();
        emit report(QStringLiteral("box falls silent for %1 s").arg(seconds));
        m_silentUntil = m_clock.elapsed() + qint64(seconds * 1000);
    }
    if (change.contains("version")) {
        m.version = change.value("version").toString();
        if (m_running)
            send(VersionId, m.versionMessage());
    }
    if (change.contains("speed") || change.contains("speedUnit")) {
        m.speed = float(change.value("speed").toDouble(double(m.speed)));
        if (change.contains("speedUnit"))
            m.speedInMiles = change.value("speedUnit").toString() == QLatin1String("mph");
        send(SpeedId, m.speedMessage());
    }
    if (change.contains("rpm")) {
        m.rpm = change.value("rpm").toInt();
        send(RotationId, m.rotationMessage());
    }
    if (change.contains("doors")) {
        const QJsonObject doors = change.value("doors").toObject();
        for (int bit = 2; bit < 8; ++bit) {
            const QString name = QLatin1String(DoorNames[bit - 2]);
            if (doors.contains(name))
                m.doors = doors.value(name).toBool() ? m.doors | (1 << bit) : m.doors & ~(1 << bit);
        }
        send(DoorsId, m.doorMessage());
    }
    if (change.contains("units")) {
        const QJsonObject units = change.value("units").toObject();
        if (units.contains("distance")) {
            m.distanceInMiles = units.value("distance").toString() == QLatin1String("mi");
            send(DoorsId, m.doorMessage());
        }
        if (units.contains("temperature")) {
            setBit(m.climate, 4, 6, units.value("temperature").toString() == QLatin1String("F"));
            sendClimate();
        }
    }
    if (change.contains("climate")) {
        const QJsonObject c = change.value("climate").toObject();
        QByteArray &b = m.climate;
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
            setBit(b, 4, 6, c.value("fahrenheit").toBool());
        if (c.contains("level"))
            b[2] = char(c.value("level").toInt());
        if (c.contains("left"))
            b[2] = char(temperatureIndex(c.value("left"), m.fahrenheit()));
        if (c.contains("right"))
            b[6] = char(temperatureIndex(c.value("right"), m.fahrenheit()));
        if (c.contains("rear"))
            b[7] = char(c.value("rear").toInt());
        sendClimate();
    }
    if (change.contains("radar")) {
        const QJsonObject r = change.value("radar").toObject();
        if (r.contains("front")) {
            for (int i = 0; i < 4; ++i)
                m.frontRadar[i] = r.value("front").toArray().at(i).toInt();
            send(FrontRadarId, m.frontRadarMessage());
        }
        if (r.contains("rear")) {
            for (int i = 0; i < 4; ++i)
                m.rearRadar[i] = r.value("rear").toArray().at(i).toInt();
            send(RearRadarId, m.rearRadarMessage());
        }
    }
    if (change.contains("parkingAssist")) {
        m.parkingAssist = change.value("parkingAssist").toBool();
        send(ParkingAssistId, m.parkingAssistMessage());
    }
    for (const char *which : {"key", "carKey"}) {
        if (!change.contains(which))
            continue;
        const QJsonObject key = change.value(which).toObject();
        const int code = key.value("code").toInt();
        const int id = qstrcmp(which, "key") == 0 ? SteeringKeyId : CarKeyId;
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
    if (change.contains("trip")) {
        const QJsonValue value = change.value("trip");
        const QJsonArray items = value.isArray() ? value.toArray() : QJsonArray{value};
        for (const QJsonValue &v : items) {
            const QJsonObject item = v.toObject();
            const int code = item.value("item").toInt();
            m.trip.insert(code, {item.value("unit").toInt(), item.value("value").toDouble()});
            send(TripId, m.tripMessage(code));
        }
    }
    if (change.contains("fuel")) {
        const QJsonObject f = change.value("fuel").toObject();
        m.fuelNow = f.value("now").toInt(m.fuelNow);
        m.fuelAverage = f.value("average").toDouble(m.fuelAverage);
        send(FuelId, m.fuelMessage());
        if (f.contains("history")) {
            for (int i = 0; i < 3; ++i)
                m.fuelHistory[i] = f.value("history").toArray().at(i).toDouble();
            send(FuelHistoryId, m.fuelHistoryMessage());
        }
    }
    if (change.contains("mileage")) {
        m.mileageTotal = change.value("mileage").toDouble();
        send(MileageId, m.mileageMessage());
    }
    if (change.contains("mileageUnit")) {
        m.mileageUnitFlag = change.value("mileageUnit").toBool();
        send(LightId, m.lightMessage());
    }
    if (change.contains("ambient")) {
        m.ambientColour = change.value("ambient").toInt();
        send(AmbientId, m.ambientMessage());
    }
    if (change.contains("tyreAlert")) {
        const QJsonObject t = change.value("tyreAlert").toObject();
        m.tyreType = t.value("type").toInt();
        m.tyreState = t.value("state").toInt();
        send(TyreId, m.tyreMessage());
    }
}
