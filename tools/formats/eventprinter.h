#pragma once

#include "canboxreceive.h"
#include "canservicebase.h"
#include "signalcatalogue.h"

#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QTextStream>
#include <QTimer>


namespace tool {

class SessionModel;
struct RepeatedWrites;
class VehicleState;

// What a session shows a person: every change of a catalogue value with its name and unit, key
// events, the link and the line, optionally every frame; as aligned text or as JSON Lines (one
// record a line, "type" first; the schema is docs/canservice-jsonl.schema.json).
class EventPrinter : public QObject
{
    Q_OBJECT

public:
    static constexpr int SchemaVersion = 1;

    struct Options
    {
        bool json = false;
        bool live = true; // wall-clock "ts" on every record; off for a replay
        bool paced = false; // a replay that keeps pace with the wall clock: its reader watches it
        bool frames = false; // every frame both ways
        bool changesOnly = false; // only frames whose bytes differ from the last of their identifier
        QString source; // the device or capture, for the header
        bool quiet = false; // print nothing (the dashboard shows it instead)
        bool healthWhenQuiet = false; // but the health at the end
    };

    // Prints what the session's model tells, at the model's time.
    EventPrinter(SessionModel &model, QTextStream &out, const Options &options, QObject *parent = nullptr);

    // The first record of a JSON Lines stream.
    void header();
    // A line that is not the plugin's (the simulated box's view, a hint), in the same stream.
    void note(const QString &text);

    // What the receiver did with an item: its kind as the JSON names it, and in words.
    static const char *kindName(canbox::ReceiveModel::Kind kind);
    static QString describe(const canbox::ReceiveModel::Item &item);
    // Every catalogue value as it stands now.
    void printSummary();
    // The link's health as the model counted it.
    void printHealth();
    const Options &options() const { return m_options; }

private:
    static constexpr int NameWidth = 55; // a value's or a frame's name, padded to line them up
    void vehicleChanged(const QVector<int> &entries);
    void lineChanged(bool up, const QString &reason);
    // What the receiver did with bytes from the box, at the time it did it.
    void received(const canbox::ReceiveModel::Item &item);
    // A write of the head unit: one whole frame or one acknowledgement byte.
    void sent(const QByteArray &bytes);
    void repeated(const RepeatedWrites &repeat);
    void onLink(CanServiceBase::LinkStatus status);
    void onKey(int key, int action);
    void onNotification(int id);
    // Starts a record: JSON members "type", "time" and "ts" in that order, or the text's time.
    QString begin(const char *type) const;
    QString begin(const char *type, double seconds) const;
    // wallMs: the wall clock's time for a live JSON line, -1 to read it now.
    void appendBegin(QString &line, const char *type, double seconds, qint64 wallMs = -1) const;
    qint64 wallNowMs() const;
    void frameRecord(qint64 ms, bool inbound, const char *kind, const QByteArray &bytes,
                     const QString &name, bool isFrame);
    void end(QString line);
    // Ends the line in place and writes it.
    void write(QString &line);
    static QString member(const char *key, const QJsonValue &value);


    SessionModel &m_model;
    QTextStream &m_out;
    Options m_options;
    struct Begun
    {
        const char *type = nullptr;
        qint64 ms = -1;
        qint64 wallMs = 0;
        QString text;
    };
    mutable Begun m_begun; // the start of the last line, for the next of its kind and time
    QString m_line; // a value's line, its room kept
    VehicleState *m_state = nullptr; // none when quiet: a quiet printer does not even look
    QHash<int, QByteArray> m_lastFrames; // by direction << 8 | identifier, for the changes view
    bool m_toTerminal = false;
    QTimer m_flushSoon; // at most 100 ms after a line
    QElapsedTimer m_sinceFlush; // since the output last went out
    static constexpr int FlushEarlyMs = 80;
};

} // namespace tool
