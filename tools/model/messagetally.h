#pragma once

#include "canboxreceive.h"

#include <QVector>

#include <map>

namespace tool {

// What the receiver did, message by message: frames accepted, checksum errors and cut frames by
// identifier, the gaps between accepted frames, and the times of the accepted frames of the last
// window for their rate.
class MessageTally
{
public:
    // Cut frames whose identifier never came are counted under this key.
    static constexpr int NoIdentifier = -1;

    struct Counts
    {
        int frames = 0;
        int checksumErrors = 0;
        int cutFrames = 0;
        qint64 lastMs = -1;
        qint64 shortestGapMs = -1;
        qint64 longestGapMs = -1;
        QVector<qint64> recentMs; // accepted frames within the window, oldest first
    };

    // windowMs: how far back accepted frames are kept for a rate; 0 keeps none.
    explicit MessageTally(qint64 windowMs = 0) : m_windowMs(windowMs) { }

    void add(const canbox::ReceiveModel::Item &item)
    {
        using M = canbox::ReceiveModel;
        const bool cut = item.isCut();
        if (!cut && !item.isFrame())
            return;
        Counts &c = m_counts[item.bytes.size() > 1 ? item.id() : NoIdentifier];
        c.cutFrames += cut;
        if (item.kind == M::Refused)
            ++c.checksumErrors;
        if (item.kind != M::Accepted)
            return;
        ++c.frames;
        if (c.lastMs >= 0) {
            const qint64 gap = item.ms - c.lastMs;
            c.shortestGapMs = c.shortestGapMs < 0 ? gap : qMin(c.shortestGapMs, gap);
            c.longestGapMs = qMax(c.longestGapMs, gap);
        }
        c.lastMs = item.ms;
        if (m_windowMs > 0) {
            // What has left the window goes, so that a long run keeps only the last seconds.
            c.recentMs.erase(c.recentMs.begin(), std::lower_bound(c.recentMs.begin(), c.recentMs.end(),
                                                                  item.ms - m_windowMs + 1));
            c.recentMs << item.ms;
        }
    }

    // Accepted frames of a message within the window that ends at nowMs.
    qint64 recent(const Counts &c, qint64 nowMs) const
    {
        return c.recentMs.cend() - std::lower_bound(c.recentMs.cbegin(), c.recentMs.cend(), nowMs - m_windowMs + 1);
    }

    const std::map<int, Counts> &counts() const { return m_counts; }

private:
    qint64 m_windowMs;
    std::map<int, Counts> m_counts;
};

} // namespace tool
