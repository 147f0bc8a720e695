#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QRandomGenerator>
#include <QTimer>

namespace tool {

class BoxLine;

struct FaultOptions
{
    double corruptRate = 0.0; // share of frames sent with a wrong checksum
    double noiseRate = 0.0; // share of frames preceded by noise bytes
    bool splitChunks = false; // cut what is sent into random pieces
    QList<QPair<double, double>> silences; // at, seconds
    quint32 seed = 1;
};

// The box's frames on their way out, with the faults of a poor line: noise before a frame, a
// wrong checksum, the stream cut into pieces. One random sequence from the seed drives them all,
// so a run can be repeated.
class FaultyLine
{
public:
    FaultyLine(BoxLine *line, const FaultOptions &faults);
    FaultyLine(const FaultyLine &) = delete;
    FaultyLine &operator=(const FaultyLine &) = delete;

    // One whole frame; a frame corrupted on purpose counts as sent.
    void send(QByteArray frame);

    // Every frame sent, those corrupted on purpose included, and of them the corrupted ones.
    int framesSent() const { return m_framesSent; }
    int framesCorrupted() const { return m_framesCorrupted; }

private:
    void write(const QByteArray &bytes);
    void writePiece();

    BoxLine *m_line;
    double m_corruptRate;
    double m_noiseRate;
    bool m_splitChunks;
    QRandomGenerator m_random;
    QTimer m_splitTimer;
    QByteArray m_splitQueue;
    int m_framesSent = 0;
    int m_framesCorrupted = 0;
};

} // namespace tool
