#pragma once

#include "canboxreceive.h"
#include "messagetally.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSize>
#include <QStringList>
#include <QTextStream>
#include <QTimer>
#include <QVector>

#include <map>

namespace tool {

class Screen;
class SessionModel;
class VehicleState;

// A live instrument panel: the link's health, every chosen catalogue value with its unit and age
// (seconds since it last changed), beside each message identifier's rate per second, checksum
// errors, cut frames and last payload, the busiest first. What changed and what went quiet stand
// out: a payload byte that changed within ChangedMs, and a row silent for QuietMs (a message with no
// frame accepted, a value whose reading has not changed), both on the session's clock. On a
// terminal it is one screen redrawn in place, in the alternate screen, at most five
// times a second and at the terminal's size of the moment, changed bytes in reverse video and
// silent rows dim; the terminal is given back as it was
// when the run ends, by Ctrl-C too, and the last table is printed on it. Elsewhere (a pipe, a
// file) it is a log without attributes, a changed byte marked by a '*' before it: a snapshot for
// every second of the session's clock in which the box sent something, and the last one at the end.
class TableView : public QObject
{
    Q_OBJECT

public:
    // entries: places in the catalogue's vehicle signals, shown in that order. source names the
    // device or capture in the status line.
    TableView(SessionModel &session, const QVector<int> &entries, const QString &source, QTextStream &out,
              bool terminal, QObject *parent = nullptr);

    // Ends the view: the terminal as it was, then the last table.
    void finish();
    // The table as lines at most width long, in at most height lines (0: as many as it takes,
    // one value a line).
    QStringList render(int width, int height) const;

private:
    static constexpr int RateWindowMs = 5000;
    static constexpr int ChangedMs = 1000;
    static constexpr int QuietMs = 3000;
    static constexpr int PayloadBytes = 16; // shown of a message's payload; the rest is counted

    // A message's last accepted payload, and when each of its bytes last changed (-1: as first heard).
    struct Payload
    {
        QByteArray bytes;
        QVector<qint64> changedMs;
    };

    void received(const canbox::ReceiveModel::Item &item);
    void tick();
    void draw();
    QString statusLine(qint64 nowMs) const;
    QString healthLine() const;
    QStringList messageLines(qint64 nowMs) const;
    QStringList valueLines(qint64 nowMs, int nameWidth, const QVector<int> &entries) const;
    QString payloadText(int id, qint64 nowMs) const;
    QString finished(const QString &line, int width) const;

    SessionModel &m_session;
    VehicleState *m_state;
    QVector<int> m_entries;
    QString m_source;
    QTextStream &m_out;
    bool m_terminal;
    Screen *m_screen = nullptr; // on a terminal
    bool m_finished = false;
    QVector<qint64> m_changedMs; // by catalogue place: when its reading last changed, or -1
    MessageTally m_messages{RateWindowMs};
    std::map<int, Payload> m_payloads; // by identifier
    qint64 m_firstMs = -1; // when the box's first byte was acted on
    bool m_heardSince = false; // the box sent something since the last snapshot
    qint64 m_lastSnapshotMs = -1;
    QTimer m_timer;
    QElapsedTimer m_lastDraw; // wall time: a replay's clock may run far faster
};

} // namespace tool
