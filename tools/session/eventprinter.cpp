#include "eventprinter.h"

#include "canbusmanager.h"
#include "canservicebase.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
const char *const DoorNames[] = {"front-lid", "rear-lid", "left-rear", "right-rear", "left-front",
                                 "right-front"};

QString number(float value)
{
    QString text = QString::number(double(value), 'f', 2);
    while (text.contains(QLatin1Char('.')) && (text.endsWith(QLatin1Char('0')) || text.endsWith(QLatin1Char('.'))))
        text.chop(1);
    return text;
}

QString distance(int step)
{
    return step == 255 ? QStringLiteral("-") : QString::number(step);
}

QString temperature(float degrees, const QString &unit)
{
    if (degrees == -1.0f)
        return QStringLiteral("auto");
    if (degrees == -100.0f)
        return QStringLiteral("LO");
    if (degrees == -101.0f)
        return QStringLiteral("HI");
    return number(degrees) + QLatin1Char(' ') + unit;
}

QStringList drivingFields(const DrivingData &d)
{
    return {d.item0,  d.item1,  d.item2,  d.item3,  d.item4,  d.item5,  d.item6,  d.item7,  d.item8,
            d.item9,  d.item10, d.item11, d.item12, d.item13, d.item14, d.item15, d.item16, d.item17};
}

QStringList fuelFields(const FuelConsumptionData &f)
{
    return {f.fuel0, f.fuel1, f.fuel2, f.fuel3, f.fuel4, f.fuel5};
}

const char *const KeyActions[] = {"press", "short release", "long press", "long release"};
} // namespace

EventPrinter::EventPrinter(CanServiceBase *service, QTextStream &out, bool json, QObject *parent)
    : QObject(parent), m_service(service), m_out(out), m_json(json)
{
    m_clock.start();
    m_service->getUnitData(m_units);
    CanServiceBase *s = service;

    connect(s, &CanServiceBase::notifyCanbusStatus, this, &EventPrinter::onStatus);
    connect(s, &CanServiceBase::speedChanged, this, [this, s] {
        emitLine(QStringLiteral("speedChanged"),
                 QStringLiteral("speed %1 %2").arg(number(s->getSpeed()), s->getSpeedUnit()),
                 {{"speed", double(s->getSpeed())}, {"unit", s->getSpeedUnit()}});
    });
    connect(s, &CanServiceBase::rotateChanged, this, [this, s] {
        emitLine(QStringLiteral("rotateChanged"), QStringLiteral("rotation %1 rpm").arg(s->getRotate()),
                 {{"rotate", s->getRotate()}});
    });
    connect(s, &CanServiceBase::temperatureChanged, this, [this, s] {
        emitLine(QStringLiteral("temperatureChanged"),
                 QStringLiteral("outside temperature unit %1").arg(s->getTemperatureUnit()),
                 {{"unit", s->getTemperatureUnit()}, {"temperature", s->getTemperatureStr()}});
    });
    connect(s, &CanServiceBase::messageChanged, this, [this](int id) {
        emitLine(QStringLiteral("messageChanged"), QStringLiteral("message %1").arg(id),
                 {{"id", id}});
    });
    connect(s, &CanServiceBase::doorChanged, this, &EventPrinter::onDoors);
    connect(s, &CanServiceBase::sigVersionData, this, [this, s] {
        emitLine(QStringLiteral("sigVersionData"), QStringLiteral("version %1").arg(s->version()),
                 {{"version", s->version()}});
    });
    connect(s, &CanServiceBase::tireAlert, this, [this, s] {
        emitLine(QStringLiteral("tireAlert"),
                 QStringLiteral("tyre alert type %1").arg(s->getTireAlertType()),
                 {{"type", s->getTireAlertType()}});
    });
    connect(s, &CanServiceBase::keyEvent, this, [this](int key, int action, bool flag) {
        const QString what = action >= 0 && action < 4 ? QLatin1String(KeyActions[action])
                                                       : QStringLiteral("action %1").arg(action);
        emitLine(QStringLiteral("keyEvent"), QStringLiteral("key %1 %2").arg(key).arg(what),
                 {{"key", key}, {"action", action}, {"flag", flag}});
    });
    connect(s, &CanServiceBase::acStatusChanged, this,
            [this] { onClimate(QStringLiteral("acStatusChanged")); });
    connect(s, &CanServiceBase::acManualClimateModeChanged, this,
            [this] { onClimate(QStringLiteral("acManualClimateModeChanged")); });
    connect(s, &CanServiceBase::sigRadarChanged, this, [this, s] {
        const QList<int> front = {s->getFrontRadarLeftDistance(), s->getFrontRadarMiddleLeftDistance(),
                                  s->getFrontRadarMiddleRightDistance(), s->getFrontRadarRightDistance()};
        const QList<int> rear = {s->getRearRadarLeftDistance(), s->getRearRadarMiddleLeftDistance(),
                                 s->getRearRadarMiddleRightDistance(), s->getRearRadarRightDistance()};
        QStringList f, r;
        QJsonArray jf, jr;
        for (int v : front) {
            f << distance(v);
            jf << v;
        }
        for (int v : rear) {
            r << distance(v);
            jr << v;
        }
        emitLine(QStringLiteral("sigRadarChanged"),
                 QStringLiteral("radar front %1 rear %2").arg(f.join(' '), r.join(' ')),
                 {{"front", jf}, {"rear", jr}});
    });
    connect(s, &CanServiceBase::otherInfoDataChanged, this, [this, s] {
        OtherInfoData info;
        s->getOtherInfoData(info);
        emitLine(QStringLiteral("otherInfoDataChanged"),
                 QStringLiteral("parking assist: %1").arg(info.parkingAssistText),
                 {{"parkingAssistText", info.parkingAssistText}});
    });
    connect(s, &CanServiceBase::sigAmbientChanged, this, [this, s] {
        const int index = s->getCarSettingData().colorIndex;
        const auto colours = CanBusManager::instance()->getHwdColorDiffList();
        const QString name = index < colours.size() ? colours.at(index).name : QStringLiteral("unknown");
        emitLine(QStringLiteral("sigAmbientChanged"),
                 QStringLiteral("ambient colour %1 (%2)").arg(index).arg(name),
                 {{"colorIndex", index}, {"name", name}});
    });
    connect(s, &CanServiceBase::drivingDataChanged, this, &EventPrinter::onDrivingData);
    connect(s, &CanServiceBase::fuelDataChanged, this, &EventPrinter::onFuel);
    connect(s, &CanServiceBase::timeMileageInformation, this, [this, s] {
        emitLine(QStringLiteral("timeMileageInformation"),
                 QStringLiteral("mileage total %1, time total %2")
                         .arg(number(s->getOilAllMileage()), number(s->getTimeAllMileage())),
                 {{"oilAllMileage", double(s->getOilAllMileage())},
                  {"timeAllMileage", double(s->getTimeAllMileage())}});
    });
    connect(s, &CanServiceBase::lightSetInformation, this, [this, s] {
        emitLine(QStringLiteral("lightSetInformation"),
                 QStringLiteral("light setting, mileage unit %1").arg(s->getMileageUnits()),
                 {{"mileageUnits", s->getMileageUnits()}});
    });
    connect(s, &CanServiceBase::unitDataChanged, this, &EventPrinter::onUnits);
}

void EventPrinter::emitLine(const QString &signal, const QString &text, const QJsonObject &state)
{
    const double seconds = m_clock.elapsed() / 1000.0;
    if (m_json) {
        const QJsonObject object{{"time", seconds}, {"signal", signal}, {"state", state}};
        m_out << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n';
    } else {
        m_out << QString::asprintf("%7.3f  ", seconds) << text << '\n';
    }
    m_out.flush();
}

void EventPrinter::note(const QString &text)
{
    const double seconds = m_clock.elapsed() / 1000.0;
    if (m_json) {
        const QJsonObject object{{"time", seconds}, {"note", text}};
        m_out << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n';
    } else {
        m_out << QString::asprintf("%7.3f  ", seconds) << text << '\n';
    }
    m_out.flush();
}

void EventPrinter::lineChanged(bool up, const QString &reason)
{
    emitLine(QStringLiteral("line"),
             up ? QStringLiteral("line back") : QStringLiteral("line lost: %1").arg(reason),
             up ? QJsonObject{{"up", true}} : QJsonObject{{"up", false}, {"reason", reason}});
}

// The service reports 3 for every frame; only a change of the link is an event.
void EventPrinter::onStatus(int status)
{
    if (status == m_linkStatus)
        return;
    m_linkStatus = status;
    if (status == 0)
        ++m_linkLosses;
    emitLine(QStringLiteral("notifyCanbusStatus"),
             status == 3 ? QStringLiteral("link up") : QStringLiteral("link lost"),
             {{"status", status}});
}

void EventPrinter::onDoors()
{
    const int doors = m_service->getDoorStatus();
    for (int bit = 2; bit < 8; ++bit) {
        const bool was = (m_doors >> bit) & 1;
        const bool is = (doors >> bit) & 1;
        if (was == is)
            continue;
        emitLine(QStringLiteral("doorChanged"),
                 QStringLiteral("door %1 %2")
                         .arg(QLatin1String(DoorNames[bit - 2]),
                              is ? QLatin1String("open") : QLatin1String("closed")),
                 {{"doorStatus", doors}, {"door", QLatin1String(DoorNames[bit - 2])}, {"open", is}});
    }
    m_doors = doors;
}

// The box repeats its climate status; print it when what it says has changed.
void EventPrinter::onClimate(const QString &signal)
{
    CanServiceBase *s = m_service;
    if (signal == QLatin1String("acManualClimateModeChanged")) {
        const int mode = s->getManualClimateMode();
        if (mode == m_climateMode)
            return;
        m_climateMode = mode;
        emitLine(signal,
                 QStringLiteral("climate mode %1").arg(mode ? QLatin1String("manual")
                                                            : QLatin1String("automatic")),
                 {{"manualClimateMode", mode}});
        return;
    }
    const QString unit = s->getAcTemperatureUnit();
    const QString text =
            QStringLiteral("climate %1, ac %2%3%4, fan %5, wind mode %6, left %7, right %8, rear %9")
                    .arg(s->isPowerOff() ? QLatin1String("off") : QLatin1String("on"),
                         s->isAc() ? QLatin1String("on") : QLatin1String("off"),
                         s->isAuto() ? QLatin1String(", auto") : QLatin1String(""),
                         s->isDual() ? QLatin1String(", dual") : QLatin1String(""))
                    .arg(s->getAcWindScale())
                    .arg(s->getAcWindMode())
                    .arg(temperature(s->getAcTemperature(), unit),
                         temperature(s->getAcRightTemperature(), unit),
                         temperature(s->getAcRearTemperature(), unit))
            + (s->getAcAirClearStatus() ? QStringLiteral(", air cleaning %1").arg(s->getAcAirClearStatus())
                                        : QString());
    if (text == m_climate)
        return;
    m_climate = text;
    emitLine(signal, text,
             {{"powerOff", s->isPowerOff()},
              {"ac", s->isAc()},
              {"auto", s->isAuto()},
              {"dual", s->isDual()},
              {"windScale", s->getAcWindScale()},
              {"windMode", s->getAcWindMode()},
              {"temperature", double(s->getAcTemperature())},
              {"rightTemperature", double(s->getAcRightTemperature())},
              {"rearTemperature", double(s->getAcRearTemperature())},
              {"unit", unit},
              {"airClearStatus", s->getAcAirClearStatus()}});
}

void EventPrinter::onDrivingData()
{
    DrivingData now;
    m_service->getDrivingData(now);
    const QStringList before = drivingFields(m_driving), after = drivingFields(now);
    for (int i = 0; i < after.size(); ++i) {
        if (after.at(i) != before.at(i))
            emitLine(QStringLiteral("drivingDataChanged"),
                     QStringLiteral("trip item%1 %2").arg(i).arg(after.at(i)),
                     {{"item", i}, {"text", after.at(i)}});
    }
    m_driving = now;
}

void EventPrinter::onFuel()
{
    FuelConsumptionData now;
    m_service->getFuelConsumptionData(now);
    const QStringList after = fuelFields(now);
    if (after == fuelFields(m_fuel))
        return;
    m_fuel = now;
    QStringList shown = after;
    for (QString &text : shown)
        if (text.isEmpty())
            text = QStringLiteral("-");
    emitLine(QStringLiteral("fuelDataChanged"), QStringLiteral("fuel %1").arg(shown.join(QLatin1String(" / "))),
             {{"fuel", QJsonArray::fromStringList(after)}});
}

void EventPrinter::onUnits()
{
    UnitData now;
    m_service->getUnitData(now);
    if (now.level == m_units.level && now.text == m_units.text)
        return;
    m_units = now;
    QJsonArray texts;
    for (const QString &t : now.text)
        texts << t;
    emitLine(QStringLiteral("unitDataChanged"),
             QStringLiteral("units distance %1, temperature %2")
                     .arg(now.text.value(1).isEmpty() ? QStringLiteral("-") : now.text.value(1),
                          now.text.value(3).isEmpty() ? QStringLiteral("-") : now.text.value(3)),
             {{"text", texts}});
}

void EventPrinter::printSummary()
{
    CanServiceBase *s = m_service;
    DrivingData driving;
    s->getDrivingData(driving);
    FuelConsumptionData fuel;
    s->getFuelConsumptionData(fuel);
    OtherInfoData other;
    s->getOtherInfoData(other);
    UnitData units;
    s->getUnitData(units);
    QStringList openDoors;
    for (int bit = 2; bit < 8; ++bit)
        if ((s->getDoorStatus() >> bit) & 1)
            openDoors << QLatin1String(DoorNames[bit - 2]);
    const QString acUnit = s->getAcTemperatureUnit();

    QStringList trip;
    const QStringList fields = drivingFields(driving);
    for (int i = 0; i < fields.size(); ++i)
        if (!fields.at(i).isEmpty())
            trip << QStringLiteral("item%1 %2").arg(i).arg(fields.at(i));

    const QList<QPair<QString, QString>> rows = {
        {"box version", s->version()},
        {"link", m_linkStatus == 3 ? "up" : m_linkStatus == 0 ? "lost" : "never up"},
        {"speed", number(s->getSpeed()) + ' ' + s->getSpeedUnit()},
        {"rotation", QString::number(s->getRotate()) + " rpm"},
        {"doors open", openDoors.isEmpty() ? "none" : openDoors.join(", ")},
        {"climate", m_climate.isEmpty() ? "-" : m_climate.mid(8)},
        {"climate mode", s->getManualClimateMode() ? "manual" : "automatic"},
        {"climate unit", acUnit},
        {"radar front",
         QStringList{distance(s->getFrontRadarLeftDistance()), distance(s->getFrontRadarMiddleLeftDistance()),
                     distance(s->getFrontRadarMiddleRightDistance()), distance(s->getFrontRadarRightDistance())}
                 .join(' ')},
        {"radar rear",
         QStringList{distance(s->getRearRadarLeftDistance()), distance(s->getRearRadarMiddleLeftDistance()),
                     distance(s->getRearRadarMiddleRightDistance()), distance(s->getRearRadarRightDistance())}
                 .join(' ')},
        {"parking assist", other.parkingAssistText.isEmpty() ? "-" : other.parkingAssistText},
        {"trip computer", trip.isEmpty() ? "-" : trip.join(", ")},
        {"fuel", fuelFields(fuel).join(" / ")},
        {"mileage total", number(s->getOilAllMileage())},
        {"units", QStringLiteral("distance %1, temperature %2")
                          .arg(units.text.value(1).isEmpty() ? "-" : units.text.value(1),
                               units.text.value(3).isEmpty() ? "-" : units.text.value(3))},
        {"ambient colour", QString::number(s->getCarSettingData().colorIndex)},
        {"tyre alert", QString::number(s->getTireAlertType())},
    };
    if (m_json) {
        QJsonObject summary;
        for (const auto &row : rows)
            summary.insert(row.first, row.second);
        m_out << QJsonDocument(QJsonObject{{"summary", summary}}).toJson(QJsonDocument::Compact)
              << '\n';
    } else {
        m_out << "\nFinal vehicle state\n";
        for (const auto &row : rows)
            m_out << QStringLiteral("  %1  %2\n").arg(row.first, -16).arg(row.second);
    }
    m_out.flush();
}
