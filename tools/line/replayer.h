#pragma once

#include "capture.h"
#include "quietspan.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class QFile;
namespace canservice {
class VirtualSerialLine;
}

namespace tool {

// Opens a capture, a file or "-" for standard input, and reads its first block, which says
// whether it is timed text, before anything is decoded. False, with error set to one sentence,
// when it cannot be read; a malformed line is the replay's to report, after the chunks before it.
bool openCapture(const QString &name, QFile &file, std::unique_ptr<CaptureReader> &reader, QString *error);

// Feeds a capture to a line as it is read, a block at a time, each chunk at its own time: memory
// stays bounded however long the input is, endless included. On the capture clock (see
// CaptureClock) the capture's times are the clock's, so a replay runs as fast as the processor
// allows and every timer the chunks start runs out exactly when it would have on the line; on
// Qt's own dispatcher it runs in real time from the first chunk. Chunks without times come one
// after the other as fast as the line would carry them.
class Replayer : public QObject
{
public:
    static constexpr qint64 BlockBytes = 64 * 1024;
    // After the last chunk the replay goes on for the receive time-out, so that a frame the
    // capture cut off is dropped as the head unit drops it.
    static constexpr int AfterLastChunkMs = 500;

    Replayer(QFile &input, CaptureReader &reader, canservice::VirtualSerialLine *line);
    // Each chunk to deliver instead, at its time (a real line, for playback).
    Replayer(QFile &input, CaptureReader &reader, std::function<void(const QByteArray &)> deliver);

    // The capture's time now, in milliseconds and in seconds.
    qint64 nowMs() const;
    double now() const { return nowMs() / 1000.0; }
    QString error() const { return m_error; }
    // The times of the first and the last chunk given to the line so far (ms), or -1.
    qint64 firstChunkMs() const { return m_firstChunkMs; }
    qint64 lastChunkMs() const { return m_lastChunkMs; }
    void start();

    // Called once, at the end of the input or at a malformed line (error() then says which).
    std::function<void()> finished;
    // What the head unit wrote again and again through a quiet stretch, jumped on the capture
    // clock and told once (see QuietSpan).
    std::function<void(const RepeatedWrites &)> repeated;
    // Asked while a pipe's input is quiet: true stops waiting for it (a signal to end came).
    std::function<bool()> stopWaiting;

private:
    void pump();
    bool take(CaptureChunk *chunk);
    // Waits until the sequential input has bytes or ended; false when stopWaiting says so.
    bool waitForInput();

    QFile &m_input;
    CaptureReader &m_reader;
    std::function<void(const QByteArray &)> m_deliver;
    QTimer m_next;
    QElapsedTimer m_wall; // Qt's dispatcher: the capture's time is m_baseMs plus this
    qint64 m_baseMs = 0;
    bool m_based = false;
    CaptureChunk m_pending;
    bool m_haveChunk = false;
    bool m_ended = false;
    qint64 m_lineMicros = 0; // when the next chunk without a time is due
    qint64 m_firstChunkMs = -1;
    qint64 m_lastChunkMs = -1;
    QString m_error;
    std::unique_ptr<QuietSpan> m_quiet; // on a line of the plugin's
};

} // namespace tool
