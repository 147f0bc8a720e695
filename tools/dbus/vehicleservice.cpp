#include "vehicleservice.h"

#include "canboxframe.h"
#include "canservicebase.h"
#include "serialport.h"
#include "vehicle1adaptor.h"
#include "vehiclesnapshot.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QRegularExpression>

#include <algorithm>
#include <limits>

namespace tool {

const char VehicleService::ServiceName[] = "org.canservice.Vehicle1";
const char VehicleService::ObjectPath[] = "/org/canservice/Vehicle1";
const char VehicleService::LineDownError[] = "org.canservice.Vehicle1.Error.LineDown";

namespace {
const char ConnectionName[] = "canservice-vehicle";
const int BusRetryMs = 1000;

// Numbers that are whole by nature, though the catalogue types them as numbers: engine speed (its
// standard name types it float; the box sends whole revolutions) and the fuel message's first byte.
const char *const WholeNumbers[] = {"Vehicle.Powertrain.CombustionEngine.Speed", "CanBox.Fuel.Field0"};

// By catalogue place: whether the value goes on the bus as an int32.
const std::vector<bool> &wholeOnBus()
{
    static const std::vector<bool> whole = [] {
        const auto &catalogue = SignalCatalogue::vehicleSignals();
        std::vector<bool> w(size_t(catalogue.size()));
        for (int i = 0; i < catalogue.size(); ++i)
            w[size_t(i)] = catalogue.at(i).type == QLatin1String("integer")
                    || std::any_of(std::begin(WholeNumbers), std::end(WholeNumbers),
                                   [&](const char *name) { return catalogue.at(i).name == QLatin1String(name); });
        return w;
    }();
    return whole;
}
} // namespace

VehicleService::VehicleService(CanServiceBase *service, VehicleState *state, QObject *parent)
    : QObject(parent), m_service(service), m_state(state ? state : new VehicleState(service, this)), m_bus(QString())
{
    m_clock.start();
    new Vehicle1Adaptor(this);
    m_readings = m_state->readings();
    m_units = unitsOf(m_readings);
    m_isDirty.resize(size_t(m_readings.size()));
    m_batch.setSingleShot(true);
    m_batch.setInterval(BatchMs);
    connect(&m_batch, &QTimer::timeout, this, &VehicleService::sendValues);
    connect(m_state, &VehicleState::changed, this, [this](const QVector<int> &entries) {
        for (const int i : entries)
            if (!m_isDirty[size_t(i)]) {
                m_isDirty[size_t(i)] = true;
                m_dirty << i;
            }
        if (!m_batch.isActive())
            m_batch.start();
    });
    connect(service, &CanServiceBase::notifyCanbusStatus, this, [this](int status) {
        if (status == m_linkStatus)
            return;
        m_linkStatus = status;
        propertiesChanged({{QStringLiteral("Link"), link()}});
    });
    m_busWatch.setInterval(BusRetryMs);
    connect(&m_busWatch, &QTimer::timeout, this, [this] {
        if (m_bus.isConnected())
            return;
        if (m_busTries++ == 0)
            emit busLost();
        QString error;
        if (connectToBus(&error)) {
            m_busTries = 0;
            emit busBack();
        } else if (m_busTries == BusRetries) {
            m_busWatch.stop();
            emit busGone();
        }
    });
}

bool VehicleService::publish(QDBusConnection::BusType bus, QString *error)
{
    m_busType = bus;
    if (!connectToBus(error))
        return false;
    m_busWatch.start();
    return true;
}

bool VehicleService::connectToBus(QString *error)
{
    QDBusConnection::disconnectFromBus(QLatin1String(ConnectionName));
    m_bus = QDBusConnection::connectToBus(m_busType, QLatin1String(ConnectionName));
    if (!m_bus.isConnected()) {
        *error = QStringLiteral("cannot reach the %1 bus: %2")
                         .arg(m_busType == QDBusConnection::SystemBus ? QLatin1String("system")
                                                                     : QLatin1String("session"),
                              m_bus.lastError().message());
        // A desktop's or a container's session has a bus of its own where the system has none.
        if (m_busType == QDBusConnection::SystemBus)
            *error += QStringLiteral(" (where there is no system bus, --bus session publishes on the session's)");
        return false;
    }
    if (!m_bus.registerObject(QLatin1String(ObjectPath), this)) {
        *error = QStringLiteral("cannot publish %1: %2").arg(QLatin1String(ObjectPath), m_bus.lastError().message());
        return false;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = m_bus.interface()->registerService(
            QLatin1String(ServiceName), QDBusConnectionInterface::DontQueueService,
            QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        *error = QStringLiteral("cannot take the name %1: %2")
                         .arg(QLatin1String(ServiceName),
                              reply.isValid() ? QStringLiteral("another program has it") : reply.error().message());
        return false;
    }
    return true;
}

QString VehicleService::link() const
{
    using Link = CanServiceBase::LinkStatus;
    return m_linkStatus == int(Link::Up)     ? QStringLiteral("up")
            : m_linkStatus == int(Link::Lost) ? QStringLiteral("lost")
                                              : QStringLiteral("waiting");
}

void VehicleService::setLine(bool up, const QString &reason)
{
    m_lineUp = up;
    m_lineReason = reason;
    propertiesChanged({{QStringLiteral("Line"), line()}, {QStringLiteral("LineError"), lineError()}});
}

void VehicleService::paceBy(const canservice::SerialPort *port)
{
    connect(port, &canservice::SerialPort::written, this, [this](const QByteArray &bytes) {
        const qint64 now = m_clock.nsecsElapsed() / 1000;
        m_lineFreeAtUs = qMax(m_lineFreeAtUs, now) + bytes.size() * 1000000LL / LineBytesPerSecond;
    });
}

qint64 VehicleService::queuedMs() const
{
    return qMax<qint64>(0, m_lineFreeAtUs - m_clock.nsecsElapsed() / 1000) / 1000;
}

void VehicleService::setHealth(const QJsonObject &health)
{
    QVariantMap counters;
    for (auto it = health.begin(); it != health.end(); ++it)
        counters.insert(it.key(), qlonglong(it.value().toDouble()));
    if (counters == m_health)
        return;
    m_health = counters;
    propertiesChanged({{QStringLiteral("Health"), m_health}});
}

void VehicleService::propertiesChanged(const QVariantMap &changed)
{
    if (!m_bus.isConnected())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(QLatin1String(ObjectPath),
                                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QLatin1String(ServiceName) << changed << QStringList();
    m_bus.send(signal);
}

// What moved since the last batch: a box repeats itself many times a second, and a value that
// went and came back within one batch has not changed for a reader.
void VehicleService::sendValues()
{
    const QVector<Reading> &now = m_state->readings();
    const auto &catalogue = SignalCatalogue::vehicleSignals();
    std::sort(m_dirty.begin(), m_dirty.end());
    QVariantMap changed;
    QStringList gone;
    bool unitsMoved = false;
    for (const int i : qAsConst(m_dirty)) {
        m_isDirty[size_t(i)] = false;
        if (now.at(i) == m_readings.at(i))
            continue;
        if (now.at(i).isNull())
            gone << catalogue.at(i).name;
        else
            changed.insert(catalogue.at(i).name, onBus(i, now.at(i).value));
        // A trip value's unit is its reading's, while it has one.
        unitsMoved = unitsMoved
                || (catalogue.at(i).unit == QLatin1String("varies")
                    && (now.at(i).unit != m_readings.at(i).unit || now.at(i).isNull() != m_readings.at(i).isNull()));
        m_readings[i] = now.at(i);
    }
    m_dirty.clear();
    if (!changed.isEmpty() || !gone.isEmpty())
        emit ValuesChanged(changed, gone);
    if (!unitsMoved)
        return;
    if (QVariantMap unitsNow = unitsOf(m_readings); unitsNow != m_units) {
        m_units = std::move(unitsNow);
        propertiesChanged({{QStringLiteral("Units"), m_units}});
    }
}

QVariantMap VehicleService::unitsOf(const QVector<Reading> &readings)
{
    const auto &catalogue = SignalCatalogue::vehicleSignals();
    QVariantMap units;
    for (int i = 0; i < catalogue.size(); ++i) {
        const QString &unit = catalogue.at(i).unit;
        if (unit == QLatin1String("varies")) {
            if (i < readings.size() && !readings.at(i).isNull() && !readings.at(i).unit.isEmpty())
                units.insert(catalogue.at(i).name, readings.at(i).unit);
        } else if (!unit.isEmpty()) {
            units.insert(catalogue.at(i).name, unit);
        }
    }
    return units;
}

QString VehicleService::version() const
{
    return QStringLiteral(CANSERVICE_VERSION);
}

QVariantMap VehicleService::GetValues()
{
    const QVector<Reading> now = SignalCatalogue::read(VehicleSnapshot::read(*m_service));
    const auto &catalogue = SignalCatalogue::vehicleSignals();
    QVariantMap values;
    for (int i = 0; i < now.size(); ++i)
        if (!now.at(i).isNull())
            values.insert(catalogue.at(i).name, onBus(i, now.at(i).value));
    return values;
}

QVariant VehicleService::onBus(int entry, const QVariant &value)
{
    const int type = value.userType();
    if (type != QMetaType::Int && type != QMetaType::Double && type != QMetaType::LongLong)
        return value; // a flag, a text, or a trip figure that came without a number
    if (!wholeOnBus()[size_t(entry)])
        return value.toDouble();
    return int(qBound<qint64>(std::numeric_limits<int>::min(), qRound64(value.toDouble()),
                              std::numeric_limits<int>::max()));
}

bool VehicleService::check(bool ok, const QString &message)
{
    if (!ok && calledFromDBus())
        sendErrorReply(QDBusError::InvalidArgs, message);
    return ok;
}

bool VehicleService::lineTakes()
{
    if (!calledFromDBus())
        return true;
    if (!m_lineUp) {
        sendErrorReply(QLatin1String(LineDownError),
                       QStringLiteral("the line to the box is down (%1): nothing was sent").arg(m_lineReason));
        return false;
    }
    const qint64 queued = queuedMs();
    if (queued > MaxQueuedMs) {
        sendErrorReply(QDBusError::LimitsExceeded,
                       QStringLiteral("the line has %1 ms of writes queued, more than %2 ms: nothing was sent; "
                                      "try again in %3 ms")
                               .arg(queued)
                               .arg(MaxQueuedMs)
                               .arg(queued - MaxQueuedMs));
        return false;
    }
    return true;
}

void VehicleService::SendClimateKey(int key, int value)
{
    using namespace canbox::climate;
    if (check(key >= 0 && key <= LastKey,
              QStringLiteral("climate key %1 is out of range: the keys are 0 to %2").arg(key).arg(LastKey))
        && check(keySends(key), QStringLiteral("climate key %1 has no command: nothing would be sent").arg(key))
        && lineTakes())
        m_service->sendAcKey(key, value);
}

void VehicleService::SwitchUnit(int entry)
{
    using namespace canbox::setting;
    if (check(hasUnitCommand(entry),
              QStringLiteral("unit entry %1 has no command: the entries are %2, %3 (distance), %4 (temperature) and %5")
                      .arg(entry)
                      .arg(CycledEntry0)
                      .arg(DistanceEntry)
                      .arg(TemperatureEntry)
                      .arg(CycledEntry5))
        && lineTakes())
        m_service->setUnitCmd(entry);
}

void VehicleService::SetMediaSource(const QString &name, const QStringList &information, int type)
{
    const int types = canbox::source::TypeCount;
    if (!check(type >= 0 && type < types,
               QStringLiteral("source type %1 is out of range: the types are 0 to %2").arg(type).arg(types - 1))
        || !check(information.size() <= canbox::tracktext::Texts,
                  QStringLiteral("%1 information texts: the box takes two, the frequency or song title and the album")
                          .arg(information.size())))
        return;
    // A radio's frequency must fit the frame's two bytes, or the box would be sent another one.
    if (type == canbox::source::RadioType && !information.isEmpty()) {
        // The plugin takes the text's last three characters for the unit and the rest for the
        // number: anything else would reach the box as another frequency.
        static const QRegularExpression Frequency(QStringLiteral("^[0-9]{1,6}(\\.[0-9]{1,3})?[A-Za-z]{3}$"));
        if (!check(Frequency.match(information.at(0)).hasMatch(),
                   QStringLiteral("the frequency %1 is not a number and its three-letter unit, as 87.5MHz or 531kHz")
                           .arg(information.at(0))))
            return;
        const canbox::radio::Band band = canbox::radio::bandOf(name);
        const int perNumber = canbox::radio::unitsPerNumber(band);
        const double units = double(information.at(0).chopped(3).toFloat()) * perNumber;
        const bool fm = band != canbox::radio::Other;
        if (!check(units >= 0 && units <= canbox::radio::MaxUnits,
                   QStringLiteral("the frequency %1 is out of range: the box takes 0 to %2 %3")
                           .arg(information.at(0))
                           .arg(fm ? canbox::radio::MaxUnits / double(perNumber) : canbox::radio::MaxUnits)
                           .arg(fm ? QStringLiteral("MHz on FM") : QStringLiteral("kHz"))))
            return;
    }
    if (lineTakes())
        m_service->onRadioSourceInformation(name, information, type);
}

// A request for a message again: one frame, when the line takes it.
template <typename Result>
void VehicleService::ask(Result (CanServiceBase::*request)())
{
    if (lineTakes())
        (m_service->*request)();
}

void VehicleService::RequestClimate() { ask(&CanServiceBase::requsetClimate); }
void VehicleService::RequestParkAssist() { ask(&CanServiceBase::requsetParkAssist); }
void VehicleService::RequestVehicleInfo() { ask(&CanServiceBase::requsetVehicleInfo); }
void VehicleService::RequestCarSetting() { ask(&CanServiceBase::requsetCarSetting); }
void VehicleService::RequestUnitSettings() { ask(&CanServiceBase::requsetUnitSettings); }
void VehicleService::RequestOtherInfo() { ask(&CanServiceBase::requsetOtherInfo); }
void VehicleService::RequestSpeed() { ask(&CanServiceBase::requestSpeed); }
void VehicleService::RequestDrivingData() { ask(&CanServiceBase::requestDrivingData); }

} // namespace tool
