#pragma once

#include "signalcatalogue.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <QVariantMap>

class CanServiceBase;

namespace tool {

// What the dashboard's QML binds to: every catalogue value by its name (undefined for no
// reading), the link and the line, the link's health and the last key events; and the plugin's
// commands as invokable methods. No byte and no decoding reaches QML.
class DashboardModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QVariantMap values READ values NOTIFY valuesChanged)
    Q_PROPERTY(QVariantMap units READ units NOTIFY valuesChanged)
    Q_PROPERTY(QString link READ link NOTIFY linkChanged)
    Q_PROPERTY(QVariantMap health READ health NOTIFY healthChanged)
    Q_PROPERTY(QStringList keys READ keys NOTIFY keysChanged)
    Q_PROPERTY(QString source READ source CONSTANT)
    Q_PROPERTY(bool canCommand READ canCommand NOTIFY linkChanged)
    Q_PROPERTY(QString commandNote READ commandNote NOTIFY linkChanged)
    Q_PROPERTY(QVariant climateLevel READ climateLevel NOTIFY valuesChanged)

public:
    DashboardModel(CanServiceBase *service, const QString &source, QObject *parent = nullptr);

    QVariantMap values() const { return m_values; }
    QVariantMap units() const { return m_units; }
    QString link() const;
    QVariantMap health() const { return m_health; }
    QStringList keys() const { return m_keys; }
    QString source() const { return m_source; }
    // A command reaches a box that can answer: the source has one, the line is up and the box
    // answers. Else commandNote says why not.
    bool canCommand() const { return commandNote().isEmpty(); }
    QString commandNote() const;
    // The temperature level of the automatic mode, as the box last reported it; undefined before.
    QVariant climateLevel() const { return m_climateLevel; }

    // A value with its unit as a person reads it, "no reading" when there is none.
    Q_INVOKABLE QString text(const QString &name) const;
    // The climate keys of the plugin (19 temperature up, 20 down, 1 AC, ...), as a head unit sends them.
    Q_INVOKABLE void climateKey(int key);
    // Unit entry 1 is the distance unit, 3 the temperature unit.
    Q_INVOKABLE void unitCommand(int entry);
    Q_INVOKABLE void carSettingKey(int key, int value);

    void setLine(bool up, const QString &reason);
    void setHealth(const QVariantMap &health);
    // The source has no box that answers (a replay): commands are refused, with this reason.
    void setNoAnswer(const QString &reason);
    // A frame the plugin accepted. The plugin keeps the automatic mode's temperature level
    // (climate byte 2 while the block says mode 0) without a getter; the model keeps it by the
    // same rule.
    void frameAccepted(int id, const QByteArray &payload);
    // The service runs in another thread: while held it is not read, release() reads it once (that
    // thread then waits); and no command reaches it from this one, held or not.
    void hold() { m_held = m_elsewhere = true; }
    void release();
    // A car on an MQTT broker, made without a service: its values as its messages give them (by
    // dotted name; an invalid value for no reading), the link's word from its health, and the car
    // gone offline. Its commands stay with it.
    void setRemoteValue(const QString &name, const QVariant &value, const QString &unit);
    void setRemoteLink(const QString &link);

signals:
    void valuesChanged();
    void linkChanged();
    void healthChanged();
    void keysChanged();

private:
    void refresh();

    CanServiceBase *m_service;
    QString m_source;
    QTimer m_refresh;
    QVector<Reading> m_readings;
    QVariantMap m_values;
    QVariantMap m_units;
    int m_linkStatus = -1;
    bool m_lineUp = true;
    QString m_lineReason;
    QVariantMap m_health;
    QStringList m_keys;
    QString m_noAnswer;
    QVariant m_climateLevel;
    bool m_held = false;
    bool m_elsewhere = false; // the service's thread is another
    QString m_remoteLink;
};

} // namespace tool
