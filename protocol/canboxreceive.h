#pragma once

// What a receiver of the CAN box's line does with every byte, told from the bytes and the times
// they arrived: the head unit's receive rules replayed, so that a frame view, a recording or a
// counter shows what the receiver did and not what the bytes look like.
//
// The rules, as the head unit applies them:
// - Idle, a 2E starts a frame; a chunk that is exactly one FF is the box's answer; anything else
//   is dropped as noise.
// - A frame is identifier, length, that many data bytes and the checksum. A length of 0 counts
//   below zero and never completes: the frame swallows every byte until the time-out ends it.
// - The receive time-out (500 ms, once) is started by a chunk that arrives while a frame is open,
//   not by the silence after the cut: a frame cut off stays open however long the line is quiet,
//   and the next chunk's bytes are taken as its continuation. Later chunks do not restart it.
// - Only an accepted frame stops the time-out. A refused frame, a box answer or noise leave it
//   running, so it may end a later frame that is then in progress.
// - A time-out that falls at the same moment as a chunk comes first.
//
// Header-only, shared by the tools, the simulated box and the tests.

#include "canboxframe.h"

#include <QByteArray>
#include <QtGlobal>

#include <algorithm>

namespace canbox {

class ReceiveModel
{
public:
    static constexpr qint64 ReceiveTimeoutMs = 500;
    // A frame of length 0 can grow without end; a view keeps this many of its bytes.
    static constexpr int KeptBytes = 4096;

    enum Kind {
        Accepted, // a frame with a good checksum: acknowledged with FF and decoded
        Refused, // a frame with a bad checksum: answered with F0 and dropped
        Noise, // bytes dropped while idle
        BoxAnswer, // a chunk of the single byte FF while idle: the box is alive
        TimedOut, // the receive time-out: whatever frame was open is dropped
        Open, // the input ended with a frame open: told at the end, after what came before it
    };

    struct Item
    {
        Kind kind;
        QByteArray bytes; // the item's bytes as they came, at most KeptBytes of them
        qint64 size = 0; // all its bytes, kept or not
        qint64 ms = 0; // when the receiver acted: the chunk's time, or the time-out's
        qint64 firstMs = 0; // when its first byte came
        // A frame that stopped arriving for longer than the receive time-out and was completed by
        // a later chunk: when it stopped, and how many of its bytes the completing chunk gave.
        bool resumed = false;
        qint64 stoppedMs = 0;
        int lastBytes = 0;
        // TimedOut: when the time-out was started.
        qint64 startedMs = 0;

        quint8 id() const { return bytes.size() > 1 ? quint8(bytes.at(1)) : 0; }
        bool isFrame() const { return kind == Accepted || kind == Refused; }
        // Bytes outside frames that are all the box's acknowledgements (FF, F0), every one of them
        // kept: what the receiver drops as noise when they share a chunk with other bytes.
        bool isAcknowledgements() const
        {
            return kind == Noise && size == bytes.size()
                    && std::all_of(bytes.cbegin(), bytes.cend(),
                                   [](char c) { return quint8(c) == canbox::Accepted || quint8(c) == canbox::Refused; });
        }
        // A frame cut off by the receive time-out: completed late by a later chunk, dropped
        // part-way, or still open at the end.
        bool isCut() const { return resumed || (kind == TimedOut && size > 0) || kind == Open; }
        // A frame resumed by bytes that began with a header: the frame those bytes started is
        // lost in this one.
        bool swallowedHeader() const
        {
            const qint64 at = size - lastBytes;
            return resumed && lastBytes > 0 && at < bytes.size() && quint8(bytes.at(int(at))) == Header;
        }
    };

    // The receive time-out runs until this time (ms), or -1.
    qint64 deadline() const { return m_deadline; }
    bool frameOpen() const { return m_state != Idle; }

    // Time passes to `ms`: a time-out that falls due by then acts at its own time.
    template<typename Sink>
    void advance(qint64 ms, Sink &&sink)
    {
        if (m_deadline < 0 || ms < m_deadline)
            return;
        Item item = takeFrame(TimedOut, m_deadline);
        item.startedMs = m_deadline - ReceiveTimeoutMs;
        m_deadline = -1;
        m_state = Idle;
        sink(item);
    }

    // A chunk arrived at `ms`; sink(Item) for everything it completes, in order.
    template<typename Sink>
    void feed(const QByteArray &chunk, qint64 ms, Sink &&sink)
    {
        advance(ms, sink);
        if (m_state != Idle && m_deadline < 0)
            m_deadline = ms + ReceiveTimeoutMs;
        const int size = chunk.size();
        const char *bytes = chunk.constData();
        int noiseFrom = -1;
        const auto endNoise = [&](int end) {
            if (noiseFrom < 0)
                return;
            Item item{Noise, chunk.mid(noiseFrom, qMin(end - noiseFrom, KeptBytes))};
            item.size = end - noiseFrom;
            item.ms = item.firstMs = ms;
            noiseFrom = -1;
            sink(item);
        };
        int chunkStart = 0; // where this chunk's part of the open frame begins
        for (int i = 0; i < size; ++i) {
            const auto b = quint8(bytes[i]);
            if (m_state == Idle) {
                if (b == Header) {
                    endNoise(i);
                    if (takeWholeFrame(bytes, size, i, ms, sink))
                        continue;
                    openFrame(ms);
                    chunkStart = i;
                    m_state = WaitId;
                } else if (i == 0 && size == 1 && b == canbox::Accepted) {
                    Item item{BoxAnswer, chunk};
                    item.size = 1;
                    item.ms = item.firstMs = ms;
                    sink(item);
                } else if (noiseFrom < 0) {
                    noiseFrom = i;
                }
                continue;
            }
            if (i == 0)
                resumeFrame(ms);
            keep(b);
            switch (m_state) {
            case WaitId:
                m_sum = b;
                m_state = WaitLength;
                break;
            case WaitLength:
                m_remain = b;
                m_sum += b;
                m_state = WaitData;
                break;
            case WaitData:
                m_sum += b;
                if (--m_remain == 0)
                    m_state = WaitChecksum;
                break;
            case WaitChecksum: {
                const bool good = b == (~m_sum & 0xFF);
                Item item = takeFrame(good ? Accepted : Refused, ms);
                item.lastBytes = i + 1 - chunkStart;
                if (good)
                    m_deadline = -1;
                m_state = Idle;
                sink(item);
                break;
            }
            default:
                break;
            }
        }
        endNoise(size);
    }

    // The end of the input: a frame still open is reported as such, the time-out not run.
    template<typename Sink>
    void finish(qint64 ms, Sink &&sink)
    {
        if (m_state == Idle)
            return;
        Item item = takeFrame(Open, ms);
        m_state = Idle;
        m_deadline = -1;
        sink(item);
    }

private:
    // A frame whose bytes all came in the chunk from `at`, read in one step as the byte-wise
    // rules would read it; `at` is left on its checksum. False when it goes on past the chunk
    // (or has no data: a length of 0 never ends).
    template<typename Sink>
    bool takeWholeFrame(const char *bytes, int size, int &at, qint64 ms, Sink &sink)
    {
        if (at + 2 >= size)
            return false;
        const int length = quint8(bytes[at + 2]);
        const int checksumAt = at + 3 + length;
        if (length == 0 || checksumAt >= size)
            return false;
        int sum = 0;
        for (int k = at + 1; k < checksumAt; ++k)
            sum += quint8(bytes[k]);
        const bool good = quint8(bytes[checksumAt]) == (~sum & 0xFF);
        Item item{good ? Accepted : Refused, QByteArray(bytes + at, length + FrameOverhead)};
        item.size = item.lastBytes = length + FrameOverhead;
        item.ms = item.firstMs = ms;
        if (good)
            m_deadline = -1;
        at = checksumAt;
        sink(item);
        return true;
    }

    enum State { Idle = 0, WaitLength = 2, WaitId = 3, WaitData = 4, WaitChecksum = 5 };

    void openFrame(qint64 ms)
    {
        m_frame.clear();
        m_frame.append(char(Header));
        m_frameSize = 1;
        m_firstMs = m_lastChunkMs = ms;
        m_resumed = false;
        m_stoppedMs = 0;
    }

    // The open frame goes on in a new chunk: after a gap longer than the time-out, it was cut.
    void resumeFrame(qint64 ms)
    {
        if (ms - m_lastChunkMs > ReceiveTimeoutMs) {
            m_resumed = true;
            m_stoppedMs = m_lastChunkMs;
        }
        m_lastChunkMs = ms;
    }

    void keep(quint8 b)
    {
        if (m_frameSize++ < KeptBytes)
            m_frame.append(char(b));
    }

    Item takeFrame(Kind kind, qint64 ms)
    {
        Item item{kind, m_state == Idle ? QByteArray() : m_frame};
        item.size = m_state == Idle ? 0 : m_frameSize;
        item.ms = ms;
        item.firstMs = m_state == Idle ? ms : m_firstMs;
        item.resumed = m_state != Idle && m_resumed;
        item.stoppedMs = m_stoppedMs;
        return item;
    }

    State m_state = Idle;
    int m_sum = 0;
    int m_remain = 0;
    QByteArray m_frame;
    qint64 m_frameSize = 0;
    qint64 m_firstMs = 0;
    qint64 m_lastChunkMs = 0;
    bool m_resumed = false;
    qint64 m_stoppedMs = 0;
    qint64 m_deadline = -1;
};

} // namespace canbox
