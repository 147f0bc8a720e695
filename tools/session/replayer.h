#pragma once

#include "capture.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class QFile;
namespace canservice {
class VirtualSerialLine;
}

// Opens a capture, a file or "-" for standard input, and reads its first block, which says
// whether it is timed text, before anything is decoded. False with error set to one sentence.
bool openCapture(const QString &name, QFile &file, std::unique_ptr<CaptureReader> &reader, QString *error);

// Feeds a capture to a line as it is read, a block at a time, at the capture's times or at once:
// memory stays bounded however long the input is, endless included.
class Replayer : public QObject
{
public:
    static constexpr qint64 BlockBytes = 64 * 1024;
    // Long enough after the last chunk for a cut frame's receive time-out to run out.
    static constexpr int AfterLastChunkMs = 600;

    Replayer(QFile &input, CaptureReader &reader, canservice::VirtualSerialLine *line, bool wait);

    // Records carry the capture's own times: the chunk's being delivered, and after it the time
    // that has passed since, as the capture's clock would have run on.
    double now() const { return m_chunkTime + (m_wait ? m_sinceChunk.elapsed() / 1000.0 : 0.0); }
    QString error() const { return m_error; }
    void start();

    // Called once, at the end of the input or at a malformed line (error() then says which).
    std::function<void()> finished;

private:
    void pump();

    QFile &m_input;
    CaptureReader &m_reader;
    canservice::VirtualSerialLine *m_line;
    const bool m_wait;
    QTimer m_next;
    QElapsedTimer m_sinceStart;
    QElapsedTimer m_sinceChunk;
    CaptureChunk m_pending;
    bool m_haveChunk = false;
    bool m_ended = false;
    double m_first = -1.0;
    double m_chunkTime = 0.0;
    QString m_error;
};
