#include "dashboardmodel.h"

#include "canservicebase.h"
#include "vehiclesnapshot.h"

namespace tool {

namespace {
const char *const KeyActions[] = {"pressed", "short press", "long press", "released after a long press"};
const int ClimateId = 0x29;
const int EmergencyCallId = 0x95;
const int KeysShown = 6;
const int RefreshMs = 50;
} // namespace

DashboardModel::DashboardModel(CanServiceBase *service, const QString &source, QObject *parent)
    : QObject(parent), m_service(service), m_source(source)
{
    // A screen's refresh: at most twenty times a second, whatever the source's pace.
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(RefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &DashboardModel::refresh);
    if (!service) {
        m_noAnswer = QStringLiteral("a car on an MQTT broker: its commands stay with it");
        for (const SignalInfo &info : SignalCatalogue::vehicleSignals())
            m_values.insert(info.name, QVariant());
        return;
    }
    refresh();
    connect(service, &CanServiceBase::notifyCanbusStatus, this, [this](int status) {
        if (status == m_linkStatus)
            return;
        m_linkStatus = status;
        emit linkChanged();
    });
    connect(service, &CanServiceBase::keyEvent, this, [this](int key, int action, bool) {
        // The box gives key codes no meaning: the code is told, the action in words.
        m_keys.prepend(QStringLiteral("%1 %2").arg(key).arg(
                action >= 0 && action < 4 ? QLatin1String(KeyActions[action]) : QStringLiteral("action %1").arg(action)));
        while (m_keys.size() > KeysShown)
            m_keys.removeLast();
        emit keysChanged();
    });
    VehicleSnapshot::onChange(service, this, [this] {
        if (!m_refresh.isActive())
            m_refresh.start();
    });
}

void DashboardModel::setRemoteValue(const QString &name, const QVariant &value, const QString &unit)
{
    if (m_service || !m_values.contains(name))
        return;
    m_values.insert(name, value);
    m_units.insert(name, unit);
    if (!m_refresh.isActive())
        m_refresh.start();
}

void DashboardModel::setRemoteLink(const QString &link)
{
    if (m_service || link == m_remoteLink)
        return;
    m_remoteLink = link;
    emit linkChanged();
}

// Read again and tell QML only when a value moved: a box repeats itself many times a second.
void DashboardModel::release()
{
    m_held = false;
    refresh();
}

void DashboardModel::refresh()
{
    if (m_held)
        return;
    if (!m_service) {
        emit valuesChanged();
        return;
    }
    const QVector<Reading> now = SignalCatalogue::read(VehicleSnapshot::read(*m_service));
    if (now == m_readings)
        return;
    m_readings = now;
    const auto &catalogue = SignalCatalogue::vehicleSignals();
    m_values.clear();
    m_units.clear();
    for (int i = 0; i < now.size(); ++i) {
        m_values.insert(catalogue.at(i).name, now.at(i).value);
        m_units.insert(catalogue.at(i).name, now.at(i).unit);
    }
    emit valuesChanged();
}

QString DashboardModel::link() const
{
    if (!m_service)
        return m_remoteLink.isEmpty() ? QStringLiteral("waiting for the car") : m_remoteLink;
    if (!m_lineUp)
        return QStringLiteral("line down: ") + m_lineReason;
    using Link = CanServiceBase::LinkStatus;
    return m_linkStatus == int(Link::Up)     ? QStringLiteral("up")
            : m_linkStatus == int(Link::Lost) ? QStringLiteral("lost")
                                              : QStringLiteral("waiting for the box");
}

QString DashboardModel::commandNote() const
{
    if (!m_noAnswer.isEmpty())
        return m_noAnswer;
    if (!m_lineUp)
        return QStringLiteral("the serial line is down");
    return m_linkStatus == int(CanServiceBase::LinkStatus::Up) ? QString() : QStringLiteral("the box does not answer");
}

void DashboardModel::setNoAnswer(const QString &reason)
{
    m_noAnswer = reason;
    emit linkChanged();
}

void DashboardModel::frameAccepted(int id, const QByteArray &payload)
{
    // The emergency-call state comes without a signal: read again when its message came.
    if (id == EmergencyCallId && !m_refresh.isActive())
        m_refresh.start();
    if (id != ClimateId || payload.size() != 8 || (quint8(payload.at(4)) & 0x08))
        return;
    const QVariant level = int(quint8(payload.at(2)));
    if (level == m_climateLevel)
        return;
    m_climateLevel = level;
    emit valuesChanged();
}

QString DashboardModel::text(const QString &name) const
{
    const auto &catalogue = SignalCatalogue::vehicleSignals();
    for (int i = 0; i < catalogue.size() && i < m_readings.size(); ++i)
        if (catalogue.at(i).name == name)
            return m_readings.at(i).isNull() ? QStringLiteral("no reading")
                                             : m_readings.at(i).text().remove(QLatin1Char('"'));
    return QStringLiteral("no such signal");
}

void DashboardModel::climateKey(int key)
{
    if (canCommand() && !m_elsewhere)
        m_service->sendAcKey(key, 0);
}

void DashboardModel::unitCommand(int entry)
{
    if (canCommand() && !m_elsewhere)
        m_service->setUnitCmd(entry);
}

void DashboardModel::carSettingKey(int key, int value)
{
    if (canCommand() && !m_elsewhere)
        m_service->sendCarSettingKey(key, value);
}

void DashboardModel::setLine(bool up, const QString &reason)
{
    m_lineUp = up;
    m_lineReason = reason;
    emit linkChanged();
}

void DashboardModel::setHealth(const QVariantMap &health)
{
    if (health == m_health)
        return;
    m_health = health;
    emit healthChanged();
}

} // namespace tool
