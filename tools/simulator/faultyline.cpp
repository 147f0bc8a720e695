#include "faultyline.h"

#include "boxline.h"

namespace tool {

FaultyLine::FaultyLine(BoxLine *line, const FaultOptions &faults)
    : m_line(line),
      m_corruptRate(faults.corruptRate),
      m_noiseRate(faults.noiseRate),
      m_splitChunks(faults.splitChunks),
      m_random(faults.seed)
{
    m_splitTimer.setInterval(2);
    QObject::connect(&m_splitTimer, &QTimer::timeout, [this] { writePiece(); });
}

void FaultyLine::send(QByteArray frame)
{
    if (m_noiseRate > 0 && m_random.generateDouble() < m_noiseRate) {
        QByteArray noise;
        const int count = 1 + int(m_random.bounded(3));
        for (int i = 0; i < count; ++i)
            noise.append(char(0x30 + m_random.bounded(0x40)));
        frame.prepend(noise);
    }
    if (m_corruptRate > 0 && m_random.generateDouble() < m_corruptRate) {
        frame[frame.size() - 1] = char(frame.at(frame.size() - 1) ^ 0x5A);
        ++m_framesCorrupted;
    }
    ++m_framesSent;
    write(frame);
}

void FaultyLine::write(const QByteArray &bytes)
{
    if (!m_splitChunks) {
        m_line->write(bytes);
        return;
    }
    // Pieces a few milliseconds apart, as a slow or busy line delivers them: one queue, so the
    // pieces only cut the stream and never reorder it.
    m_splitQueue += bytes;
    if (!m_splitTimer.isActive())
        m_splitTimer.start();
}

void FaultyLine::writePiece()
{
    const int size = 1 + int(m_random.bounded(quint32(qMin(m_splitQueue.size(), 16))));
    m_line->write(m_splitQueue.left(size));
    m_splitQueue.remove(0, size);
    if (m_splitQueue.isEmpty())
        m_splitTimer.stop();
}

} // namespace tool
