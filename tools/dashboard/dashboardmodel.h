#pragma once

#include "signalcatalogue.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
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

public:
    DashboardModel(CanServiceBase *service, const QString &source, QObject *parent = nullptr);

    QVariantMap values() const { return m_values; }
    QVariantMap units() const { return m_units; }
    QString link() const;
    QVariantMap health() const { return m_health; }
    QStringList keys() const { return m_keys; }
    QString source() const { return m_source; }

    // A value with its unit as a person reads it, "no reading" when there is none.
    Q_INVOKABLE QString text(const QString &name) const;
    // The climate keys of the plugin (19 temperature up, 20 down, 1 AC, ...), as a head unit sends them.
    Q_INVOKABLE void climateKey(int key);
    // Unit entry 1 is the distance unit, 3 the temperature unit.
    Q_INVOKABLE void unitCommand(int entry);
    Q_INVOKABLE void carSettingKey(int key, int value);

    void setLine(bool up, const QString &reason);
    void setHealth(const QVariantMap &health);

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
};

} // namespace tool
