#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <deque>
#include <memory>
#include <vector>

namespace tool {

// The changes on their way to the broker, in order, in files: they outlive a network that is
// gone and a run that was killed. A folder of segment files (NNNNNNNN.q, records of a 4-byte
// length, a 2-byte topic length, the topic and the payload) and a cursor file that names the
// oldest record the broker has not acknowledged. Memory holds one segment's file handles and the
// records handed out and not yet acknowledged, never the queue: its length changes nothing.
// Bounded: when the records waiting pass maxBytes, whole segments go, the oldest first, and
// dropped() counts their records. A record cut short by a killed run is cut off at the next open.
// A record acknowledged just before a kill may go again (the cursor is written every few
// acknowledgements and at close): at least once, as the broker's QoS 1 is.
class MqttQueue
{
public:
    struct Record
    {
        QByteArray topic;
        QByteArray payload;
    };

    ~MqttQueue();
    // Opens the queue in dir (made if need be), with what a run before left. False with why not.
    bool open(const QString &dir, qint64 maxBytes, QString *error);
    void append(const QByteArray &topic, const QByteArray &payload);
    // What was appended, to the file (the system's cache): at least every 100 ms is enough.
    bool flush();
    // The next record not handed out yet, read from its file; false at the end.
    bool next(Record *record);
    // The oldest handed-out record is at the broker.
    void acknowledge();
    // The records handed out and not acknowledged come again (the connection was lost).
    void rewind();
    // Records appended and not acknowledged; handed out and not acknowledged; dropped for room.
    qint64 waiting() const { return m_waiting; }
    int handedOut() const { return int(m_handed.size()); }
    qint64 dropped() const { return m_dropped; }
    // Bumped when the records handed out went with a dropped segment: their acknowledgements,
    // when they come, are of nothing.
    int epoch() const { return m_epoch; }
    QString error() const { return m_error; }
    // The cursor written out and the files closed.
    void close();

private:
    struct Segment
    {
        quint32 number = 0;
        qint64 size = 0;
        qint64 records = 0;
    };
    struct Position
    {
        quint32 number = 0; // of the segment
        qint64 offset = 0;
    };
    static constexpr qint64 HeaderBytes = 6;

    QString path(quint32 number) const;
    Segment *segment(quint32 number);
    // Records from offset to the segment's end; with cut, a record cut short there is cut off.
    qint64 count(Segment &segment, qint64 offset, bool cut);
    bool startSegment();
    void removeFirst();
    void dropOldest();
    void writeCursor();
    void fail(const QString &what, const QFileDevice &file);

    QString m_dir;
    qint64 m_maxBytes = 0;
    qint64 m_segmentBytes = 0;
    std::vector<Segment> m_segments;
    Position m_acked; // the oldest record not acknowledged
    Position m_read; // the next record to hand out
    std::deque<Position> m_handed; // where each handed-out record ends
    QFile m_tail; // the last segment, appended to
    qint64 m_tailFlushed = 0; // how much of it is in the file, not in its buffer
    QFile m_reading;
    quint32 m_readingNumber = 0;
    qint64 m_waiting = 0;
    qint64 m_bytes = 0; // of the records waiting
    qint64 m_dropped = 0;
    int m_epoch = 0;
    int m_sinceCursor = 0;
    QString m_error;
};

} // namespace tool
