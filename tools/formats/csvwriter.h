#pragma once

#include "signalcatalogue.h"

#include <QObject>
#include <QTextStream>
#include <QTimer>
#include <QVector>

namespace tool {

class SessionModel;
class VehicleState;

// The chosen vehicle values as CSV (RFC 4180), for a spreadsheet or a script: the time in seconds
// first, then one column per value, each holding its last reading until it changes (empty for no
// reading). A row is written for every instant at which a chosen value changed; changes at the
// same millisecond of the session's clock make one row. The header names each column with its unit;
// a value whose unit the box chooses (a trip computer's) has its number in one column and its unit
// in the next, "NAME unit", so that every number column holds only numbers.
class CsvWriter : public QObject
{
    Q_OBJECT

public:
    // columns: places in the catalogue's vehicle signals, in the order they are written. To a
    // terminal, the box's texts are shown with their control characters escaped. Watched (a live
    // run, a paced replay), each row goes out as soon as its instant has passed; else the rows go
    // out in blocks, each written once the next instant's change comes, the last at finish().
    // A byte-order mark first, if asked: what a spreadsheet needs to read UTF-8 ("°C") as such.
    CsvWriter(SessionModel &session, const QVector<int> &columns, QTextStream &out, bool terminal = false,
              bool watched = true, bool byteOrderMark = false, QObject *parent = nullptr);
    // Writes the row of the last instant, if it is not written yet (at the end of a run).
    void finish() { writeRow(); }

    // One field as RFC 4180 has it: quoted, with quotes doubled, when it holds a comma, a quote,
    // a carriage return or a line feed.
    static QString field(const QString &text);
    // The header's names of a value's columns: "Vehicle.Speed (km/h)", or the name alone; a value
    // whose unit varies, its name and then "NAME unit".
    static QStringList columnNames(int entry);
    // What a reading's cells hold: a number as JSON writes it, true or false, a text as it is,
    // except that a text a spreadsheet would take for a formula (one that starts with = + - @, a
    // tab or a carriage return) starts with ' instead; for a value whose unit varies, its unit next.
    static QStringList cells(int entry, const Reading &reading, bool terminal = false);
    static bool unitVaries(int entry);

private:
    void changed(const QVector<int> &entries);
    void writeRow();

    SessionModel &m_session;
    VehicleState *m_state;
    QVector<int> m_columns;
    QVector<int> m_columnOf; // by catalogue place: the column, or -1
    QVector<Reading> m_values; // by column, as of the pending row's instant
    QTextStream &m_out;
    bool m_terminal;
    bool m_watched;
    qint64 m_pendingMs = -1; // the instant of the row not written yet, or -1
    QTimer m_rowDone; // writes the pending row once its instant has passed
};

} // namespace tool
