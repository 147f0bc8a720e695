// libFuzzer target for the files the tool reads from others: a capture (text or binary, cut into
// reads however the input says, as a pipe delivers it) or a scenario (JSON). Whatever a file
// holds, the reader ends with chunks or one sentence, and never reads past what it was given.
//
// Input: byte 0 bit 0 clear: a capture, bits 1-7 the size of each read (1 to 128); bit 0 set: a
// scenario, the rest of the input its text.

#include "capture.h"
#include "scenario.h"

#include <QByteArray>
#include <QCoreApplication>

#include <cstddef>
#include <cstdint>

namespace {
void discard(QtMsgType, const QMessageLogContext &, const QString &) { }

void readCapture(const QByteArray &content, int readBytes)
{
    tool::CaptureReader reader(QStringLiteral("fuzz.cap"));
    bool ok = true;
    for (int at = 0; ok && at < content.size(); at += readBytes)
        ok = reader.feed(content.mid(at, readBytes));
    if (ok)
        ok = reader.finish();
    if (ok != reader.error().isEmpty())
        __builtin_trap(); // a failure that says nothing, or a sentence on success
    tool::CaptureChunk chunk;
    qint64 bytes = 0;
    while (reader.take(&chunk))
        bytes += chunk.bytes.size();
    // A text line's chunk is at most half its bytes; binary is taken whole.
    if (bytes > content.size())
        __builtin_trap();
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int argc = 1;
    static char name[] = "fuzz_files";
    static char *argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    qInstallMessageHandler(discard);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray content(reinterpret_cast<const char *>(data + 1), int(size - 1));
    if (data[0] & 1) {
        tool::Scenario scenario;
        QString error;
        if (!scenario.parse(content, QStringLiteral("fuzz.json"), &error) && error.isEmpty())
            __builtin_trap();
        return 0;
    }
    readCapture(content, 1 + (data[0] >> 1));
    return 0;
}
