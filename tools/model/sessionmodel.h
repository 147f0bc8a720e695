#pragma once

#include "canboxreceive.h"
#include "canservicebase.h"
#include "quietspan.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

namespace tool {

class HeardSignals;
class VehicleState;

// The link as the head unit saw it: what the receiver did with the box's bytes, the line's events
// and the service's link reports.
struct LinkHealth
{
    int framesAccepted = 0;
    int checksumErrors = 0;
    int receiveTimeouts = 0;
    int cutFrames = 0; // frames that stopped arriving for longer than the receive time-out
    qint64 noiseBytes = 0; // bytes dropped outside frames, the box's acknowledgements aside
    // The box's acknowledgements of the head unit's frames (FF, F0 for one it refused): alone in
    // their chunk, or beside frames, where the receiver drops them as it drops noise.
    qint64 boxAcknowledgements = 0;
    int linkLosses = 0;
    int lineLosses = 0;
    qint64 droppedWrites = 0;
    qint64 bytesReceived = 0;

    QString text() const;
    QJsonObject toJson() const;
};

// One session of a head unit with its CAN service: the only clock the views read (capture time in
// a replay, time since the start live), the link's health, and the vehicle state. The line's
// events come in by the calls below, each chunk in this order: chunkReceived() before the service
// reads it, then the head unit's writes in answer (headUnitWrote()), then chunkHandled(). The
// receive model tells what the service did with every byte; the views hear it from the signals,
// each item once, in the order the service acted, and keep no count or clock of their own.
class SessionModel : public QObject
{
    Q_OBJECT

public:
    using Item = canbox::ReceiveModel::Item;
    using LinkStatus = CanServiceBase::LinkStatus;

    explicit SessionModel(CanServiceBase *service, QObject *parent = nullptr);
    ~SessionModel() override;

    CanServiceBase *service() const { return m_service; }

    // Seconds since the session's start, by default on the wall clock; a replay gives its own.
    void setClock(std::function<double()> seconds);
    double seconds() const { return m_clock(); }
    qint64 ms() const;

    const LinkHealth &health() const { return m_health; }
    // The link as the service last reported it; none before its first report.
    bool linkKnown() const { return m_linkKnown; }
    LinkStatus link() const { return m_link; }
    // "up", "lost", or "not up yet".
    QString linkText() const;

    // The vehicle's values, kept up to date from the first call on: a session whose views show no
    // values does not read them.
    VehicleState *vehicle();

    void chunkReceived(const QByteArray &chunk);
    // A write of the head unit: one whole frame or one acknowledgement byte. An acknowledgement
    // answers the first frame the views have not heard of yet, so they hear of that frame first.
    void headUnitWrote(const QByteArray &bytes);
    // The head unit's writes of one period, again and again through a quiet stretch that the
    // clock jumped: told once.
    void headUnitRepeated(const RepeatedWrites &repeat) { emit headUnitRepeating(repeat); }
    // Bytes the head unit wrote that are not a frame (heard on a tap's line).
    void headUnitNoise(const QByteArray &bytes);
    void chunkHandled();
    void writeDropped() { ++m_health.droppedWrites; }
    void lineChanged(bool up, const QString &reason);
    // The line the service hears the box through went down outside its own port (a tap's side
    // that hears the box): counted as its own line's losses are, told by whoever watches that line.
    void lineLost() { ++m_health.lineLosses; }
    // The end: a frame still open is told as such.
    void finish();

signals:
    // What the receiver did with bytes from the box, at the time it did it; counted before.
    void itemReceived(const canbox::ReceiveModel::Item &item);
    // A frame the service accepted: its identifier and data bytes. Emitted only when connected.
    void frameAccepted(int id, const QByteArray &payload);
    void headUnitSent(const QByteArray &bytes);
    void headUnitSentNoise(const QByteArray &bytes);
    void headUnitRepeating(const RepeatedWrites &repeat);
    // Only changes: the service reports the link with every frame.
    void linkChanged(CanServiceBase::LinkStatus status);
    // The serial line under the service went down, with the system's reason, or came back.
    void lineStateChanged(bool up, const QString &reason);

protected:
    void connectNotify(const QMetaMethod &signal) override;
    void disconnectNotify(const QMetaMethod &signal) override;

private:
    void take(const Item &item);
    void flushReceived(bool toFirstFrame);
    void armReceiveTimeout();
    void onStatus(int status);

    CanServiceBase *m_service;
    HeardSignals *m_heard;
    VehicleState *m_vehicle = nullptr;
    QElapsedTimer m_started;
    std::function<double()> m_clock;
    LinkHealth m_health;
    bool m_linkKnown = false;
    LinkStatus m_link = LinkStatus::Lost;
    canbox::ReceiveModel m_receiver;
    // What the receiver said of a chunk, told as the service acts on it: up to each frame when the
    // service acknowledges it, the rest once the chunk is handled.
    std::vector<Item> m_items;
    size_t m_nextItem = 0; // the first not told yet
    bool m_framesHeard = false; // frameAccepted has a receiver
    bool m_itemsHeard = false; // itemReceived has one
    bool m_silentFrame = false; // the chunk carried a frame the service handles without a signal
    QTimer m_receiveTimeout; // the receiver's time-out, when one runs
};

} // namespace tool
