#pragma once

#include <QByteArray>
#include <QString>

#include <deque>

namespace tool {

// A capture of what the box sent: chunks of bytes, each with the time it arrived, if known.
//
// Text form, one chunk a line:   [SECONDS] HEX...
// SECONDS has a decimal point (0.250); hex bytes may be spaced any way; '#' starts a comment.
// A comment "# start 2026-12-06T06:44:39.123Z" before the first chunk says when second 0 was (an
// ISO 8601 time with its zone); a capture without it has no date.
// Text is UTF-8 (with a byte-order mark or without, lines ending in LF or CRLF); anything whose
// start is not such text is raw binary, chunks without times. A gzip file and UTF-16 text are
// refused with a sentence, and so is a NUL byte in a text line (with its line).
struct CaptureChunk
{
    double time = -1.0; // seconds, or -1 when the capture has no times
    QByteArray bytes;
};

// Reads a capture as it comes, however long, keeping only what has not been taken yet. A line
// is one chunk: at most MaxLineBytes long, and its time, if it has one, at most MaxSeconds.
class CaptureReader
{
public:
    static constexpr int MaxLineBytes = 1 << 20;
    static constexpr double MaxSeconds = 1e10; // over three centuries: any epoch time

    explicit CaptureReader(const QString &name) : m_name(name) { }

    // More of the input; false, with error() set to one sentence naming the line, when it is
    // malformed. The chunks of the lines before the bad one can still be taken.
    bool feed(const QByteArray &data);
    // The end of the input.
    bool finish();
    // The next complete chunk, if there is one.
    bool take(CaptureChunk *chunk);
    bool timed() const { return m_timedLines > 0; }
    QString error() const { return m_error; }
    // When second 0 was, in microseconds since the epoch, once read; 0 when the capture does not say.
    qint64 startEpochUs() const { return m_startEpochUs; }

    static QString formatLine(double seconds, const QByteArray &bytes);
    static QByteArray header();
    // The comment that gives the capture its start.
    static QByteArray startLine(qint64 epochUs);

private:
    enum Mode { Undecided, Text, Binary };
    bool line(const char *p, const char *end);
    void fail(int lineNumber, const QString &what);
    void readStart(const char *p, const char *end);

    QString m_name;
    QString m_error;
    Mode m_mode = Undecided;
    QByteArray m_partial;
    std::deque<CaptureChunk> m_ready;
    int m_lineNumber = 0;
    int m_timedLines = 0;
    int m_untimedLines = 0;
    double m_lastTime = -1.0;
    qint64 m_startEpochUs = 0;
};

} // namespace tool
