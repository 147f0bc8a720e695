#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QObject>
#include <QString>

#include <map>

namespace tool {

// The cars that publish under PREFIX/ID/ on one broker, as their messages tell: one row a car,
// known from its first message. A value's topic is its dotted name with slashes
// (PREFIX/car7/Vehicle/Speed, JSON {"value": ..., "unit": ..., "time": ...}); PREFIX/ID/online is
// true or false; PREFIX/ID/health is JSON with the link's word and the queue's counters.
// Everything comes from the broker and is taken as it is: a message that does not read is left out.
class FleetModel : public QObject
{
    Q_OBJECT

public:
    struct Car
    {
        int online = -1; // 1, 0, or -1: not said yet
        QString link;
        QJsonValue speed{QJsonValue::Undefined}; // Vehicle.Speed's value (a number, or null: no reading), undefined: not heard
        QString speedUnit;
        // When the newest value message was made, in ms since the epoch: its own time when that is
        // an ISO time, else when it came. -1: not known (none yet, or only ones the broker had kept,
        // whose time does not say when).
        qint64 lastChangeMs = -1;
        double queued = -1; // -1: no health yet
        double dropped = -1;

        bool operator==(const Car &other) const;
        bool operator!=(const Car &other) const { return !(*this == other); }
    };

    explicit FleetModel(const QString &prefix, QObject *parent = nullptr);

    // A message as it came at nowMs (ms since the epoch); retained: one the broker kept, sent as
    // the subscription began, which may be old.
    void take(const QByteArray &topic, const QByteArray &payload, bool retained, qint64 nowMs);
    // By vehicle id.
    const std::map<QString, Car> &cars() const { return m_cars; }
    // Messages that told something of a car, and the others (another prefix, unreadable).
    qint64 taken() const { return m_taken; }
    qint64 ignored() const { return m_ignored; }

signals:
    // A car's row is not what it was (a car first heard among them).
    void carChanged(const QString &id);

private:
    bool apply(Car &car, const QString &rest, const QByteArray &payload, bool retained, qint64 nowMs);

    QString m_prefix;
    std::map<QString, Car> m_cars;
    qint64 m_taken = 0;
    qint64 m_ignored = 0;
};

} // namespace tool
