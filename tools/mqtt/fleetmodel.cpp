#include "fleetmodel.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

namespace tool {

namespace {
const QString SpeedTopic = QStringLiteral("Vehicle/Speed");

// An ISO time with its zone, as the publisher writes it ("2026-12-07T03:52:26.521Z"), in ms since
// the epoch; -1 for anything else (a capture's own seconds are a number).
qint64 isoTime(const QJsonValue &value)
{
    if (!value.isString())
        return -1;
    const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    return time.isValid() && time.timeSpec() != Qt::LocalTime ? time.toMSecsSinceEpoch() : -1;
}
} // namespace

bool FleetModel::Car::operator==(const Car &other) const
{
    return online == other.online && link == other.link && speed == other.speed && speedUnit == other.speedUnit
            && lastChangeMs == other.lastChangeMs && queued == other.queued && dropped == other.dropped;
}

FleetModel::FleetModel(const QString &prefix, QObject *parent) : QObject(parent), m_prefix(prefix + QLatin1Char('/'))
{
}

void FleetModel::take(const QByteArray &topic, const QByteArray &payload, bool retained, qint64 nowMs)
{
    const QString name = QString::fromUtf8(topic);
    const int slash = name.indexOf(QLatin1Char('/'), m_prefix.size());
    if (!name.startsWith(m_prefix) || slash <= m_prefix.size() || slash + 1 >= name.size()) {
        ++m_ignored;
        return;
    }
    const QString id = name.mid(m_prefix.size(), slash - m_prefix.size());
    const auto found = m_cars.find(id);
    Car car = found != m_cars.end() ? found->second : Car();
    if (!apply(car, name.mid(slash + 1), payload, retained, nowMs)) {
        ++m_ignored;
        return;
    }
    ++m_taken;
    if (found != m_cars.end() && found->second == car)
        return;
    m_cars[id] = car;
    emit carChanged(id);
}

bool FleetModel::apply(Car &car, const QString &rest, const QByteArray &payload, bool retained, qint64 nowMs)
{
    if (rest == QLatin1String("online")) {
        if (payload != "true" && payload != "false")
            return false;
        car.online = payload == "true";
        return true;
    }
    const QJsonDocument document = QJsonDocument::fromJson(payload);
    if (!document.isObject())
        return false;
    const QJsonObject object = document.object();
    if (rest == QLatin1String("health")) {
        if (object.value(QLatin1String("link")).isString())
            car.link = object.value(QLatin1String("link")).toString();
        for (auto [key, counter] : {std::pair{"queued", &car.queued}, std::pair{"dropped", &car.dropped}})
            if (object.value(QLatin1String(key)).isDouble())
                *counter = object.value(QLatin1String(key)).toDouble();
        return true;
    }
    if (!object.contains(QLatin1String("value")))
        return false;
    // A kept message without a time of its own says nothing of when it was made.
    qint64 made = isoTime(object.value(QLatin1String("time")));
    if (made < 0 && !retained)
        made = nowMs;
    car.lastChangeMs = qMax(car.lastChangeMs, made);
    if (rest == SpeedTopic) {
        car.speed = object.value(QLatin1String("value"));
        car.speedUnit = object.value(QLatin1String("unit")).toString();
    }
    return true;
}

} // namespace tool
