#include "boxsimulator.h"

#include "boxline.h"
#include "hostframetext.h"

namespace tool {

// A silent box still hears the line (acknowledgements of what it sent before are counted) but
// answers nothing.
// The head unit's bytes, read by the same rules as the head unit reads the box's: its frames, and
// its acknowledgements, which arrive alone or run together with its frames.
void BoxSimulator::onReceived(const QByteArray &chunk)
{
    m_receiver.feed(chunk, m_lineClock.elapsed(),
                    [this](const canbox::ReceiveModel::Item &item) { onHostItem(item); });
}

void BoxSimulator::onHostItem(const canbox::ReceiveModel::Item &item)
{
    using M = canbox::ReceiveModel;
    if (item.kind == M::Noise || item.kind == M::BoxAnswer) {
        m_hostAcks += item.bytes.count(char(canbox::Accepted));
        m_hostNaks += item.bytes.count(char(canbox::Refused));
        return;
    }
    if (!item.isFrame() || silent())
        return;
    if (item.kind == M::Refused) {
        emit report(QStringLiteral("box <- frame with a wrong checksum: %1")
                            .arg(QString::fromLatin1(item.bytes.toHex(' '))));
        m_line->write(QByteArray(1, char(canbox::Refused)));
        return;
    }
    ++m_hostFrames;
    m_line->write(QByteArray(1, char(canbox::Accepted)));
    onHostFrame(item.id(), item.bytes.mid(3, item.bytes.size() - 4));
}

// Reported as the box hears it, then obeyed.
void BoxSimulator::onHostFrame(int id, const QByteArray &data)
{
    emit report(describeHostFrame(id, data));
    obey(id, data);
}

} // namespace tool
