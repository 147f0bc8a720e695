#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QIODevice;

// A capture of what the box sent: chunks of bytes, each with the time it arrived, if known.
//
// Text form, one chunk a line:   [SECONDS] HEX...
// SECONDS has a decimal point (0.250); hex bytes may be spaced any way; '#' starts a comment.
// Anything that is not such text is taken as raw binary, one chunk without a time.
struct CaptureChunk
{
    double time = -1.0; // seconds, or -1 when the capture has no times
    QByteArray bytes;
};

struct Capture
{
    QList<CaptureChunk> chunks;
    bool timed = false;

    // On failure returns false and sets error to one sentence with the line number.
    bool parse(const QByteArray &content, const QString &name, QString *error);
    static QString formatLine(double seconds, const QByteArray &bytes);
    static QByteArray header();
};
