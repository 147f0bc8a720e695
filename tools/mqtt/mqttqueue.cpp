#include "mqttqueue.h"

#include <QDir>
#include <QtEndian>

#include <algorithm>

#include <cstdio>

namespace tool {

namespace {
const char CursorName[] = "cursor";
// The cursor is written after this many acknowledgements, and at close.
const int CursorEvery = 256;
} // namespace

MqttQueue::~MqttQueue()
{
    close();
}

QString MqttQueue::path(quint32 number) const
{
    return m_dir + QStringLiteral("/%1.q").arg(number, 8, 10, QLatin1Char('0'));
}

MqttQueue::Segment *MqttQueue::segment(quint32 number)
{
    for (Segment &s : m_segments)
        if (s.number == number)
            return &s;
    return nullptr;
}

void MqttQueue::fail(const QString &what, const QFileDevice &file)
{
    if (m_error.isEmpty())
        m_error = QStringLiteral("the MQTT queue: %1 %2: %3").arg(what, file.fileName(), file.errorString());
}

qint64 MqttQueue::count(Segment &s, qint64 offset, bool cut)
{
    QFile file(path(s.number));
    if (!file.open(QIODevice::ReadOnly)) {
        fail(QStringLiteral("cannot read"), file);
        return 0;
    }
    qint64 records = 0;
    const qint64 size = file.size();
    while (offset + HeaderBytes <= size) {
        uchar header[HeaderBytes];
        if (!file.seek(offset) || file.read(reinterpret_cast<char *>(header), HeaderBytes) != HeaderBytes)
            break;
        const qint64 length = qFromBigEndian<quint32>(header);
        if (length < 2 || offset + 4 + length > size)
            break;
        offset += 4 + length;
        ++records;
    }
    if (cut && offset < size) {
        file.close();
        QFile writable(path(s.number));
        if (!writable.open(QIODevice::ReadWrite) || !writable.resize(offset))
            fail(QStringLiteral("cannot cut the unfinished record off"), writable);
    }
    s.size = std::min(size, offset);
    return records;
}

bool MqttQueue::open(const QString &dir, qint64 maxBytes, QString *error)
{
    m_dir = dir;
    m_maxBytes = maxBytes;
    // Eight segments to the bound: the oldest go an eighth at a time.
    m_segmentBytes = std::clamp<qint64>(maxBytes / 8, 4096, 16 << 20);
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("the MQTT queue: cannot make the folder %1").arg(dir);
        return false;
    }
    const QStringList names = QDir(dir).entryList({QStringLiteral("*.q")}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        bool ok = false;
        const quint32 number = name.chopped(2).toUInt(&ok);
        if (ok)
            m_segments.push_back({number, 0, 0});
    }
    for (size_t i = 0; i < m_segments.size(); ++i)
        m_segments[i].records = count(m_segments[i], 0, i + 1 == m_segments.size());

    // Where the broker's acknowledgements stopped; segments before it are done with.
    m_acked = {m_segments.empty() ? 1 : m_segments.front().number, 0};
    QFile cursor(m_dir + QLatin1Char('/') + QLatin1String(CursorName));
    if (cursor.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = cursor.readAll().trimmed().split(' ');
        Segment *s = fields.size() == 2 ? segment(fields.at(0).toUInt()) : nullptr;
        if (s && fields.at(1).toLongLong() <= s->size)
            m_acked = {s->number, fields.at(1).toLongLong()};
    }
    while (!m_segments.empty() && m_segments.front().number != m_acked.number) {
        QFile::remove(path(m_segments.front().number));
        m_segments.erase(m_segments.begin());
    }
    for (Segment &s : m_segments) {
        m_waiting += s.records;
        m_bytes += s.size;
    }
    if (!m_segments.empty() && m_acked.offset > 0) {
        Segment &first = m_segments.front();
        m_waiting -= first.records - count(first, m_acked.offset, false);
        m_bytes -= m_acked.offset;
    }
    m_read = m_acked;
    if (m_segments.empty() ? !startSegment() : false) {
        *error = m_error;
        return false;
    }
    if (!m_tail.isOpen()) {
        m_tail.setFileName(path(m_segments.back().number));
        if (!m_tail.open(QIODevice::WriteOnly | QIODevice::Append))
            fail(QStringLiteral("cannot write"), m_tail);
        m_tailFlushed = m_segments.back().size;
    }
    if (!m_error.isEmpty()) {
        *error = m_error;
        return false;
    }
    return true;
}

bool MqttQueue::startSegment()
{
    const quint32 number = m_segments.empty() ? m_acked.number : m_segments.back().number + 1;
    if (m_tail.isOpen() && !m_tail.flush())
        fail(QStringLiteral("cannot write"), m_tail);
    m_tail.close();
    m_tail.setFileName(path(number));
    if (!m_tail.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        fail(QStringLiteral("cannot write"), m_tail);
        return false;
    }
    m_segments.push_back({number, 0, 0});
    m_tailFlushed = 0;
    return true;
}

void MqttQueue::append(const QByteArray &topic, const QByteArray &payload)
{
    if (m_segments.back().size >= m_segmentBytes)
        startSegment();
    const qint64 length = 2 + topic.size() + payload.size();
    uchar header[HeaderBytes];
    qToBigEndian<quint32>(quint32(length), header);
    qToBigEndian<quint16>(quint16(topic.size()), header + 4);
    if (m_tail.write(reinterpret_cast<const char *>(header), HeaderBytes) != HeaderBytes
        || m_tail.write(topic) != topic.size() || m_tail.write(payload) != payload.size())
        fail(QStringLiteral("cannot write"), m_tail);
    Segment &tail = m_segments.back();
    tail.size += 4 + length;
    ++tail.records;
    ++m_waiting;
    m_bytes += 4 + length;
    while (m_bytes > m_maxBytes && m_segments.size() > 1)
        dropOldest();
}

bool MqttQueue::flush()
{
    if (!m_tail.flush())
        fail(QStringLiteral("cannot write"), m_tail);
    m_tailFlushed = m_segments.back().size;
    return m_error.isEmpty();
}

bool MqttQueue::next(Record *record)
{
    for (;;) {
        Segment *s = segment(m_read.number);
        if (!s)
            return false;
        if (m_read.offset < s->size)
            break;
        if (s == &m_segments.back())
            return false;
        m_read = {(s + 1)->number, 0};
    }
    // The tail's last records may still be in the file's buffer: written out when reached.
    if (m_read.number == m_segments.back().number && m_read.offset >= m_tailFlushed) {
        m_tail.flush();
        m_tailFlushed = m_segments.back().size;
    }
    if (!m_reading.isOpen() || m_readingNumber != m_read.number) {
        m_reading.close();
        m_reading.setFileName(path(m_read.number));
        m_readingNumber = m_read.number;
        if (!m_reading.open(QIODevice::ReadOnly)) {
            fail(QStringLiteral("cannot read"), m_reading);
            return false;
        }
    }
    uchar header[HeaderBytes];
    if ((m_reading.pos() != m_read.offset && !m_reading.seek(m_read.offset))
        || m_reading.read(reinterpret_cast<char *>(header), HeaderBytes) != HeaderBytes) {
        fail(QStringLiteral("cannot read"), m_reading);
        return false;
    }
    const qint64 length = qFromBigEndian<quint32>(header);
    const int topicLength = qFromBigEndian<quint16>(header + 4);
    record->topic = m_reading.read(topicLength);
    record->payload = m_reading.read(length - 2 - topicLength);
    m_read.offset += 4 + length;
    m_handed.push_back(m_read);
    return true;
}

void MqttQueue::acknowledge()
{
    if (m_handed.empty())
        return;
    const Position end = m_handed.front();
    m_handed.pop_front();
    // The record lies in one segment: the cursor is at its start, or at the end of the one before.
    if (end.number != m_acked.number) {
        removeFirst();
        m_acked = {end.number, 0};
    }
    m_bytes -= end.offset - m_acked.offset;
    --m_waiting;
    m_acked = end;
    if (++m_sinceCursor >= CursorEvery)
        writeCursor();
}

void MqttQueue::rewind()
{
    m_handed.clear();
    m_read = m_acked;
    ++m_epoch;
}

void MqttQueue::removeFirst()
{
    const quint32 number = m_segments.front().number;
    if (m_reading.isOpen() && m_readingNumber == number)
        m_reading.close();
    QFile::remove(path(number));
    m_segments.erase(m_segments.begin());
}

void MqttQueue::dropOldest()
{
    Segment &first = m_segments.front();
    const qint64 records = count(first, m_acked.offset, false);
    m_dropped += records;
    m_waiting -= records;
    m_bytes -= first.size - m_acked.offset;
    const bool handedThere = !m_handed.empty() || m_read.number == first.number;
    removeFirst();
    m_acked = {m_segments.front().number, 0};
    if (handedThere) {
        // What was handed out from it is gone with it: the rest comes again from the new start.
        m_handed.clear();
        m_read = m_acked;
        ++m_epoch;
    }
    writeCursor();
}

void MqttQueue::writeCursor()
{
    m_sinceCursor = 0;
    if (m_dir.isEmpty())
        return;
    // Whole or not at all for a run killed now: written beside, then renamed over. Not synced to
    // the disk: a crash of the machine may send some records again, never lose one, as the
    // segments are older than any cursor that passes them.
    const QString name = m_dir + QLatin1Char('/') + QLatin1String(CursorName);
    QFile cursor(name + QStringLiteral(".new"));
    if (!cursor.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || cursor.write(QByteArray::number(m_acked.number) + ' ' + QByteArray::number(m_acked.offset) + '\n') < 0
        || !cursor.flush() || ::rename(QFile::encodeName(cursor.fileName()).constData(), QFile::encodeName(name).constData()) != 0)
        fail(QStringLiteral("cannot write"), cursor);
}

void MqttQueue::close()
{
    if (m_dir.isEmpty())
        return;
    if (m_tail.isOpen())
        m_tail.flush();
    m_tail.close();
    m_reading.close();
    writeCursor();
    m_dir.clear();
}

} // namespace tool
