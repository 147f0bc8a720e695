#include "sessionmodel.h"

#include "vehiclesnapshot.h"
#include "vehiclestate.h"

#include <QMetaMethod>

#include <cmath>
#include <utility>

namespace tool {

QString LinkHealth::text() const
{
    return QStringLiteral("frames accepted %1, checksum errors %2, receive time-outs %3, "
                          "cut frames %4, noise bytes %5, box acknowledgements %6, link losses %7, line losses %8, "
                          "dropped writes %9")
            .arg(framesAccepted)
            .arg(checksumErrors)
            .arg(receiveTimeouts)
            .arg(cutFrames)
            .arg(noiseBytes)
            .arg(boxAcknowledgements)
            .arg(linkLosses)
            .arg(lineLosses)
            .arg(droppedWrites);
}

QJsonObject LinkHealth::toJson() const
{
    return {{"framesAccepted", framesAccepted}, {"checksumErrors", checksumErrors},
            {"receiveTimeouts", receiveTimeouts}, {"cutFrames", cutFrames},
            {"noiseBytes", noiseBytes},           {"boxAcknowledgements", boxAcknowledgements},
            {"linkLosses", linkLosses},
            {"lineLosses", lineLosses},         {"droppedWrites", droppedWrites}};
}

SessionModel::SessionModel(CanServiceBase *service, QObject *parent)
    : QObject(parent), m_service(service), m_heard(HeardSignals::of(service))
{
    m_started.start();
    m_clock = [this] { return m_started.elapsed() / 1000.0; };
    connect(service, &CanServiceBase::notifyCanbusStatus, this, &SessionModel::onStatus);
    m_receiveTimeout.setSingleShot(true);
    m_receiveTimeout.setTimerType(Qt::PreciseTimer);
    connect(&m_receiveTimeout, &QTimer::timeout, this, [this] {
        flushReceived(false);
        m_receiver.advance(ms(), [this](const Item &item) { take(item); });
        // On a live line the wall clock may read a millisecond short of the deadline.
        armReceiveTimeout();
    });
}

SessionModel::~SessionModel() = default;

void SessionModel::setClock(std::function<double()> seconds)
{
    m_clock = std::move(seconds);
}

qint64 SessionModel::ms() const
{
    return qint64(std::llround(m_clock() * 1000));
}

QString SessionModel::linkText() const
{
    if (!m_linkKnown)
        return QStringLiteral("not up yet");
    return m_link == LinkStatus::Up ? QStringLiteral("up") : QStringLiteral("lost");
}

VehicleState *SessionModel::vehicle()
{
    if (!m_vehicle)
        m_vehicle = new VehicleState(m_service, this);
    return m_vehicle;
}

// The service reports the link with every frame; only a change is news.
void SessionModel::onStatus(int status)
{
    const auto link = LinkStatus(status);
    if (m_linkKnown && link == m_link)
        return;
    m_linkKnown = true;
    m_link = link;
    if (link == LinkStatus::Lost)
        ++m_health.linkLosses;
    emit linkChanged(link);
}

// Whether the signals of every frame are heard, kept here rather than asked of Qt for every
// frame. A receiver that is destroyed disconnects without a call: a flag then stays up, and the
// signal goes to nobody.
void SessionModel::connectNotify(const QMetaMethod &signal)
{
    if (signal == QMetaMethod::fromSignal(&SessionModel::frameAccepted))
        m_framesHeard = true;
    else if (signal == QMetaMethod::fromSignal(&SessionModel::itemReceived))
        m_itemsHeard = true;
}

void SessionModel::disconnectNotify(const QMetaMethod &)
{
    m_framesHeard = isSignalConnected(QMetaMethod::fromSignal(&SessionModel::frameAccepted));
    m_itemsHeard = isSignalConnected(QMetaMethod::fromSignal(&SessionModel::itemReceived));
}

void SessionModel::lineChanged(bool up, const QString &reason)
{
    if (!up)
        ++m_health.lineLosses;
    emit lineStateChanged(up, reason);
}

// A chunk reaches the service: the receive model does with it what the service does, now, and
// the views hear of it as the service acts.
void SessionModel::chunkReceived(const QByteArray &chunk)
{
    m_health.bytesReceived += chunk.size();
    m_receiver.feed(chunk, ms(), [this](Item &item) { m_items.push_back(std::move(item)); });
    armReceiveTimeout();
}

void SessionModel::chunkHandled()
{
    flushReceived(false);
    if (std::exchange(m_silentFrame, false) && m_vehicle)
        m_vehicle->refreshSilent();
}

void SessionModel::headUnitWrote(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    if (bytes.size() == 1 && (quint8(bytes.at(0)) == canbox::Accepted || quint8(bytes.at(0)) == canbox::Refused))
        flushReceived(true);
    emit headUnitSent(bytes);
}

void SessionModel::headUnitNoise(const QByteArray &bytes)
{
    flushReceived(false);
    emit headUnitSentNoise(bytes);
}

void SessionModel::finish()
{
    flushReceived(false);
    m_receiver.finish(ms(), [this](const Item &item) { take(item); });
}

void SessionModel::flushReceived(bool toFirstFrame)
{
    while (m_nextItem < m_items.size()) {
        const Item &item = m_items[m_nextItem++];
        take(item);
        if (toFirstFrame && item.isFrame())
            break;
    }
    if (m_nextItem == m_items.size()) {
        m_items.clear();
        m_nextItem = 0;
    }
}

// The service's receive time-out runs from the chunk that found a frame open; this timer, started
// after it, runs out at the same time and lets the model act then.
void SessionModel::armReceiveTimeout()
{
    const qint64 deadline = m_receiver.deadline();
    if (deadline < 0) {
        m_receiveTimeout.stop();
        return;
    }
    if (!m_receiveTimeout.isActive())
        m_receiveTimeout.start(int(qMax<qint64>(1, deadline - ms())));
}

void SessionModel::take(const Item &item)
{
    using M = canbox::ReceiveModel;
    switch (item.kind) {
    case M::Accepted:
        ++m_health.framesAccepted;
        // A frame that changes the vehicle without a signal: the state looks once the chunk is
        // handled.
        if (m_heard->frameAccepted(item.id(), item.bytes.size() - canbox::FrameOverhead))
            m_silentFrame = true;
        if (m_framesHeard)
            emit frameAccepted(item.id(), item.bytes.mid(3, item.bytes.size() - canbox::FrameOverhead));
        break;
    case M::Refused:
        ++m_health.checksumErrors;
        break;
    case M::Noise:
        (item.isAcknowledgements() ? m_health.boxAcknowledgements : m_health.noiseBytes) += item.size;
        break;
    case M::BoxAnswer:
        ++m_health.boxAcknowledgements;
        break;
    case M::TimedOut:
        ++m_health.receiveTimeouts;
        break;
    default:
        break;
    }
    if (item.isCut())
        ++m_health.cutFrames;
    if (m_itemsHeard)
        emit itemReceived(item);
}

} // namespace tool
