#pragma once

#include "signalcatalogue.h"
#include "vehiclestate.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <vector>

class CanServiceBase;
namespace canservice {
class SerialPort;
}

namespace tool {

// The vehicle on D-Bus as org.canservice.Vehicle1 (tools/dbus/org.canservice.Vehicle1.xml): the
// catalogue's values, the link and the line, the link's health, and the plugin's commands, each
// checked before anything reaches the line. The adaptor generated from the XML calls the slots
// below by their D-Bus names.
class VehicleService : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_PROPERTY(QString Link READ link)
    Q_PROPERTY(QString Line READ line)
    Q_PROPERTY(QString LineError READ lineError)
    Q_PROPERTY(QVariantMap Health READ health)
    Q_PROPERTY(QVariantMap Units READ units)
    Q_PROPERTY(QString Version READ version)

public:
    static const char ServiceName[];
    static const char ObjectPath[];
    // Changes are sent at most this often: a box at line rate changes values hundreds of times a
    // second, and every subscriber would be woken for each.
    static constexpr int BatchMs = 50;
    static constexpr int BusRetries = 10;
    // Commands are taken while at most this much of the line's time is queued before them; a
    // burst beyond it is refused rather than kept waiting behind itself.
    static constexpr int MaxQueuedMs = 1000;
    // The line's pace: 38400 baud, ten bits a byte.
    static constexpr int LineBytesPerSecond = 3840;
    static const char LineDownError[];

    // Values are followed through the session's vehicle model when it has one (serve's), or
    // through one of its own.
    explicit VehicleService(CanServiceBase *service, VehicleState *state = nullptr, QObject *parent = nullptr);

    // Connects to the bus, publishes the object and takes the name: false with the bus's reason.
    // A bus that goes away (restarted) is connected to again every second, and the name taken
    // again; busLost and busBack say so. After BusRetries tries it is gone for good (the session
    // that had it ended) and busGone says so.
    bool publish(QDBusConnection::BusType bus, QString *error);

    QString link() const;
    QString line() const { return m_lineUp ? QStringLiteral("up") : QStringLiteral("down"); }
    QString lineError() const { return m_lineUp ? QString() : m_lineReason; }
    QVariantMap health() const { return m_health; }
    // Every value's unit by its name: the catalogue's, or for a value whose unit the box chooses
    // (the trip computer's) the one of its reading, while it has one.
    QVariantMap units() const { return m_units; }
    QString version() const;

    void setLine(bool up, const QString &reason);
    // Every write the port takes counts against the line's time, acknowledgements included.
    void paceBy(const canservice::SerialPort *port);
    // The line time queued by what was written, in milliseconds from now.
    qint64 queuedMs() const;
    // The counters as the session gives them; the caller says how often (once a second).
    void setHealth(const QJsonObject &health);

    static QVariantMap unitsOf(const QVector<Reading> &readings);
    // A catalogue value as the interface types it: whole numbers (levels, steps, codes, engine
    // speed) as int32, the others as double; flags and texts as they are.
    static QVariant onBus(int entry, const QVariant &value);

public slots:
    QVariantMap GetValues();
    void SendClimateKey(int key, int value);
    void SwitchUnit(int entry);
    void SetMediaSource(const QString &name, const QStringList &information, int type);
    void RequestClimate();
    void RequestParkAssist();
    void RequestVehicleInfo();
    void RequestCarSetting();
    void RequestUnitSettings();
    void RequestOtherInfo();
    void RequestSpeed();
    void RequestDrivingData();

signals:
    void ValuesChanged(const QVariantMap &changed, const QStringList &gone);
    void busLost();
    void busBack();
    void busGone();

private:
    bool connectToBus(QString *error);
    void sendValues();
    void propertiesChanged(const QVariantMap &changed);
    // False, with an InvalidArgs error to the caller, unless ok.
    bool check(bool ok, const QString &message);
    // False, with an error to the caller, when a command cannot go out now: the line is down, or
    // more than MaxQueuedMs of it is queued.
    bool lineTakes();
    template <typename Result>
    void ask(Result (CanServiceBase::*request)());

    CanServiceBase *m_service;
    VehicleState *m_state;
    QVector<Reading> m_readings; // as last sent
    QVariantMap m_units; // as last sent
    QVector<int> m_dirty; // the values changed since, maybe back again
    std::vector<bool> m_isDirty;
    QTimer m_batch;
    QTimer m_busWatch;
    QDBusConnection::BusType m_busType = QDBusConnection::SessionBus;
    QDBusConnection m_bus;
    int m_busTries = 0;
    int m_linkStatus = -1;
    bool m_lineUp = true;
    QString m_lineReason;
    QVariantMap m_health;
    QElapsedTimer m_clock;
    qint64 m_lineFreeAtUs = 0; // when the line has sent what was written, on m_clock
};

} // namespace tool
