#pragma once

#include "canboxreceive.h"

#include <QByteArray>

#include <utility>

namespace tool {

// What the head unit writes, read as the box reads it: its frames by the receiver's rules, and
// between them its answers to the box's frames, FF (accepted) and F0 (refused), which come alone
// or run together with its next frame. Any other byte outside a frame is noise. A frame the head
// unit never finishes is noise too, once a later chunk times it out or the input ends.
class HeadUnitReader
{
public:
    enum Kind { Frame, BadFrame, Acknowledgement, Refusal, Noise };

    // sink(Kind, bytes) for everything the chunk that came at `ms` completes, in order.
    template<typename Sink>
    void feed(const QByteArray &chunk, qint64 ms, Sink &&sink)
    {
        m_model.feed(chunk, ms, [&sink](const canbox::ReceiveModel::Item &item) { split(item, sink); });
    }

    template<typename Sink>
    void finish(qint64 ms, Sink &&sink)
    {
        m_model.finish(ms, [&sink](const canbox::ReceiveModel::Item &item) { split(item, sink); });
    }

private:
    template<typename Sink>
    static void split(const canbox::ReceiveModel::Item &item, Sink &sink)
    {
        using M = canbox::ReceiveModel;
        if (item.kind == M::Accepted || item.kind == M::Refused) {
            sink(item.kind == M::Accepted ? Frame : BadFrame, item.bytes);
            return;
        }
        if (item.kind != M::Noise && item.kind != M::BoxAnswer) {
            if (!item.bytes.isEmpty())
                sink(Noise, item.bytes);
            return;
        }
        QByteArray noise;
        for (const char c : item.bytes) {
            const auto b = quint8(c);
            if (b != canbox::Accepted && b != canbox::Refused) {
                noise.append(c);
                continue;
            }
            if (!noise.isEmpty())
                sink(Noise, std::exchange(noise, QByteArray()));
            sink(b == canbox::Accepted ? Acknowledgement : Refusal, QByteArray(1, c));
        }
        if (!noise.isEmpty())
            sink(Noise, noise);
    }

    canbox::ReceiveModel m_model;
};

} // namespace tool
