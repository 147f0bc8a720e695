// The frame view: what the receiver did with the box's bytes and what the head unit wrote, one
// line each, in text or JSON.
#include "eventprinter.h"

#include "canboxframe.h"
#include "jsontext.h"
#include "sessionmodel.h"

#include <QJsonArray>

namespace tool {

namespace {
QString messageName(quint8 id, bool inbound)
{
    const char *name = canbox::messageName(id, inbound ? canbox::Direction::FromBox : canbox::Direction::ToBox);
    return name ? QString::fromLatin1(name) : QStringLiteral("unknown 0x%1").arg(id, 2, 16, QLatin1Char('0'));
}

QString seconds(qint64 ms)
{
    return QString::number(ms / 1000.0, 'f', 3);
}
} // namespace

// What the receiver did with an item, in words: the message's name for a frame, and how a frame
// that stopped arriving part-way ended.
QString EventPrinter::describe(const canbox::ReceiveModel::Item &item)
{
    using M = canbox::ReceiveModel;
    const QString name = item.size > 1 ? messageName(item.id(), true) : QStringLiteral("a frame");
    switch (item.kind) {
    case M::Accepted:
    case M::Refused: {
        QString text = name;
        if (item.kind == M::Refused)
            text += QStringLiteral(", CHECKSUM ERROR");
        if (item.resumed) {
            text += QStringLiteral(": cut off at %1, completed %2 s later by the first %3 bytes of this chunk")
                            .arg(seconds(item.stoppedMs), seconds(item.ms - item.stoppedMs))
                            .arg(item.lastBytes);
            if (item.swallowedHeader())
                text += QStringLiteral("; the frame those bytes began is lost");
        }
        return text;
    }
    case M::Noise: {
        // The box acknowledges the head unit's frames with FF (F0 for a bad one); one that shares
        // its chunk with other bytes is dropped like any byte between frames.
        return item.isAcknowledgements()
                ? QStringLiteral("noise, dropped: the box's acknowledgements, not alone in their chunk")
                : QStringLiteral("noise, dropped");
    }
    case M::BoxAnswer:
        return QStringLiteral("acknowledgement from the box, an answer");
    case M::TimedOut:
        if (item.size == 0)
            return QStringLiteral("receive time-out, no frame open");
        return QStringLiteral("receive time-out: %1 cut off, dropped (%2 bytes since %3)")
                .arg(name)
                .arg(item.size)
                .arg(seconds(item.firstMs));
    case M::Open:
        return QStringLiteral("%1 cut off: the input ends inside it (%2 bytes since %3)")
                .arg(name)
                .arg(item.size)
                .arg(seconds(item.firstMs));
    }
    return name;
}

const char *EventPrinter::kindName(canbox::ReceiveModel::Kind kind)
{
    using M = canbox::ReceiveModel;
    switch (kind) {
    case M::Accepted:
        return "frame";
    case M::Refused:
        return "bad-checksum";
    case M::Noise:
        return "noise";
    case M::BoxAnswer:
        return "ack";
    case M::TimedOut:
        return "timeout";
    case M::Open:
        return "cut";
    }
    return "frame";
}

void EventPrinter::received(const canbox::ReceiveModel::Item &item)
{
    frameRecord(item.ms, true, kindName(item.kind), item.bytes, describe(item), item.isFrame());
}

void EventPrinter::sent(const QByteArray &bytes)
{
    const auto first = quint8(bytes.at(0));
    if (bytes.size() == 1 && (first == canbox::Accepted || first == canbox::Refused)) {
        const bool accepted = first == canbox::Accepted;
        frameRecord(m_model.ms(), false, accepted ? "ack" : "nak", bytes,
                    accepted ? QStringLiteral("acknowledgement") : QStringLiteral("refusal (checksum error)"),
                    false);
        return;
    }
    const bool whole = bytes.size() >= canbox::FrameOverhead && first == canbox::Header
            && bytes.size() == canbox::FrameOverhead + quint8(bytes.at(2));
    const bool good = whole && canbox::checksum(bytes.constData() + 1, bytes.size() - 2) == quint8(bytes.back());
    frameRecord(m_model.ms(), false, good ? "frame" : "bad-checksum", bytes,
                messageName(bytes.size() > 1 ? quint8(bytes.at(1)) : 0, false)
                        + (good ? QString() : QStringLiteral(", CHECKSUM ERROR")),
                whole);
}

// The head unit wrote the same again through a quiet stretch: one line for all of it, at the time
// of the first of the repeats, saying what came, how often and until when.
void EventPrinter::repeated(const RepeatedWrites &repeat)
{
    QString line = begin("repeat", repeat.firstMs / 1000.0);
    const auto seconds = [](qint64 ms) { return QString::number(ms / 1000.0, 'f', 3); };
    if (m_options.json) {
        QJsonArray writes;
        for (const auto &write : repeat.writes)
            writes << QJsonObject{{"offset", write.first / 1000.0}, {"bytes", QString::fromLatin1(write.second.toHex())}};
        line += QLatin1Char(',') + member("direction", QStringLiteral("out")) + QLatin1Char(',')
                + member("every", repeat.periodMs / 1000.0) + QLatin1Char(',') + member("times", repeat.times)
                + QLatin1Char(',') + member("last", repeat.lastMs() / 1000.0) + QLatin1Char(',')
                + member("writes", writes);
    } else {
        line += QStringLiteral("hu > box  the %1 of %2 s again every %3 s, %4 times, the last at %5 s; "
                               "not shown one by one")
                        .arg(repeat.writes.size() == 1 ? QStringLiteral("write")
                                                       : QStringLiteral("%1 writes").arg(repeat.writes.size()))
                        .arg(seconds(repeat.firstMs - repeat.periodMs), seconds(repeat.periodMs))
                        .arg(repeat.times)
                        .arg(seconds(repeat.lastMs()));
    }
    end(line);
}

void EventPrinter::frameRecord(qint64 ms, bool inbound, const char *kind, const QByteArray &bytes,
                               const QString &name, bool isFrame)
{
    QList<int> changed;
    if (m_options.changesOnly) {
        if (!isFrame)
            return;
        const int key = (inbound ? 0x100 : 0) | quint8(bytes.at(1));
        const auto last = m_lastFrames.constFind(key);
        if (last != m_lastFrames.constEnd() && *last == bytes)
            return;
        // A first frame of its identifier is new as a whole: nothing is marked.
        for (int i = 0; last != m_lastFrames.constEnd() && i < bytes.size(); ++i)
            if (i >= last->size() || last->at(i) != bytes.at(i))
                changed << i;
        m_lastFrames.insert(key, bytes);
    }
    QString line = begin("frame", ms / 1000.0);
    if (m_options.json) {
        line += QLatin1Char(',') + member("direction", inbound ? QStringLiteral("in") : QStringLiteral("out"))
                + QLatin1Char(',') + member("kind", QLatin1String(kind));
        if (isFrame)
            line += QLatin1Char(',') + member("id", quint8(bytes.at(1)));
        line += QLatin1Char(',') + member("name", name) + QLatin1Char(',')
                + member("bytes", QString::fromLatin1(bytes.toHex()));
        if (m_options.changesOnly) {
            QJsonArray indices;
            for (int i : qAsConst(changed))
                indices << i;
            line += QLatin1Char(',') + member("changed", indices);
        }
    } else {
        static const char digits[] = "0123456789abcdef";
        line.reserve(line.size() + 12 + qMax(NameWidth, bytes.size() * 4) + name.size());
        line += inbound ? QLatin1String("box > hu  ") : QLatin1String("hu > box  ");
        const int start = line.size();
        for (int i = 0; i < bytes.size(); ++i) {
            if (i)
                line += QLatin1Char(' ');
            const bool marked = m_options.changesOnly && changed.contains(i);
            if (marked)
                line += QLatin1Char('[');
            const auto b = quint8(bytes.at(i));
            line += QLatin1Char(digits[b >> 4]);
            line += QLatin1Char(digits[b & 15]);
            if (marked)
                line += QLatin1Char(']');
        }
        if (line.size() - start < NameWidth)
            line += QString(NameWidth - (line.size() - start), QLatin1Char(' '));
        line += QLatin1Char(' ');
        line += name;
    }
    end(line);
}

} // namespace tool
