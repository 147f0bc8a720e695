#pragma once

#include <QJsonObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>

#include <QObject>

class CanServiceBase;

namespace tool {

// What the box has told so far: one bit per change signal of the service that came at least once,
// and one for the emergency-call message, which has no signal. Until its bit is set a value has
// no reading, whatever number the plugin's getter holds before. Kept as a child of the service,
// made by the first reader, before anything is received.
class HeardSignals : public QObject
{
    Q_OBJECT

public:
    enum Bit {
        Speed, Temperature, Rotate, Door, Version, Tyre, Climate, ClimateMode, Radar, Ambient,
        OtherInfo, Driving, Fuel, TimeMileage, LightSet, Units, EmergencyCall, BitCount
    };

    static HeardSignals *of(CanServiceBase *service);
    quint32 mask() const { return m_mask; }
    // A frame the service accepted, for what no signal announces.
    void frameAccepted(int id, int payloadSize);

private:
    explicit HeardSignals(CanServiceBase *service);
    quint32 m_mask = 0;
};

// Everything a CAN service can tell about the vehicle at one moment, read through the service's
// getters only: one named value per getter or record field, in a fixed order. The printers, the
// JSON output, the fuzz target and the tests all read the vehicle through this one type.
//
// Names are dotted and stable: "speed", "climate.ac", "radar.rearLeft", "driving.item4",
// "units.text1". Values keep the getter's type (float, int, bool, QString).
class VehicleSnapshot
{
public:
    using Field = QPair<QString, QVariant>;

    static VehicleSnapshot read(CanServiceBase &service);
    // Which of HeardSignals' bits were set when the snapshot was read.
    quint32 heard() const { return m_heard; }
    bool heard(HeardSignals::Bit bit) const { return m_heard & (1u << bit); }
    // Calls changed after every signal of the service that says the vehicle state may differ
    // (not the link status, keys or notifications), for as long as context lives.
    static void onChange(CanServiceBase *service, QObject *context, const std::function<void()> &changed);

    const QVector<Field> &fields() const { return m_fields; }
    // The value of the named field; an invalid QVariant for a name the snapshot does not have.
    QVariant value(const QString &name) const;
    bool contains(const QString &name) const { return value(name).isValid(); }

    // "name: before -> after" for every field that differs, in field order.
    QStringList differences(const VehicleSnapshot &other) const;
    // One member per field; floats at the precision the getter has, not as double noise.
    QJsonObject toJson() const;
    // One "name = value" line per field.
    QString toText() const;

    bool operator==(const VehicleSnapshot &other) const { return m_fields == other.m_fields; }
    bool operator!=(const VehicleSnapshot &other) const { return !(*this == other); }

    // A float as the double of its shortest text: 12345.6f is 12345.6, not 12345.599609375.
    static double plain(float value);
    // A value as text: floats in their shortest form, texts quoted unless asked not to.
    static QString format(const QVariant &value, bool quoteText = true);

private:
    void add(const QString &name, const QVariant &value) { m_fields.append({name, value}); }

    QVector<Field> m_fields;
    quint32 m_heard = 0;
};

} // namespace tool
