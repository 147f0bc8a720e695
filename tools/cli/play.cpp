#include "commands.h"

#include "boxline.h"
#include "exitcodes.h"
#include "headunitreader.h"
#include "hostframetext.h"
#include "interrupt.h"
#include "replayer.h"
#include "session.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

namespace tool {

namespace {
QString hexText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}
} // namespace

// The recorded box, byte for byte and chunk by chunk at the capture's times, in real time from
// its first chunk; nothing else goes to the line, the box's answers to the head unit being in the
// capture already. The head unit's bytes are shown as the simulated box shows them.
int playCapture(const QString &name, QFile &file, CaptureReader &reader, BoxLine *line, bool now,
                bool verbose)
{
    int chunks = 0;
    qint64 bytes = 0;
    int frames = 0, acknowledgements = 0, refusals = 0;
    std::unique_ptr<Replayer> replayer;
    // The capture's time once it plays; the head unit's first bytes, which start it, come at its start.
    const auto report = [&replayer](const QString &text) {
        const double seconds = replayer->firstChunkMs() < 0 ? 0.0 : replayer->now();
        tool::out() << QString::asprintf("%7.3f  ", seconds) << text << '\n';
        tool::out().flush();
    };
    replayer = std::make_unique<Replayer>(file, reader, [&](const QByteArray &chunk) {
        ++chunks;
        bytes += chunk.size();
        line->write(chunk);
        if (verbose)
            report(QStringLiteral("box -> ") + hexText(chunk));
    });

    bool started = false;
    const auto start = [&] {
        if (!std::exchange(started, true))
            replayer->start();
    };
    HeadUnitReader headUnit;
    QElapsedTimer heard;
    heard.start();
    QObject::connect(line, &BoxLine::received, [&](const QByteArray &chunk) {
        headUnit.feed(chunk, heard.elapsed(), [&](HeadUnitReader::Kind kind, const QByteArray &item) {
            switch (kind) {
            case HeadUnitReader::Frame:
                ++frames;
                report(describeHostFrame(quint8(item.at(1)), item.mid(3, item.size() - canbox::FrameOverhead)));
                break;
            case HeadUnitReader::BadFrame:
                report(QStringLiteral("box <- frame with a wrong checksum: ") + hexText(item));
                break;
            case HeadUnitReader::Acknowledgement:
                ++acknowledgements;
                report(QStringLiteral("box <- acknowledgement"));
                break;
            case HeadUnitReader::Refusal:
                ++refusals;
                report(QStringLiteral("box <- refusal (checksum error)"));
                break;
            case HeadUnitReader::Noise:
                report(QStringLiteral("box <- noise ") + hexText(item));
                break;
            }
        });
        start();
    });

    const auto finish = [&] {
        tool::out() << "\nPlayed " << chunks << " chunks (" << bytes << " bytes) of " << name
                    << "; the head unit sent " << frames << " frames and acknowledged "
                    << acknowledgements << ", refused " << refusals << ".\n";
        tool::out().flush();
        QCoreApplication::quit();
    };
    replayer->finished = finish;
    bool interrupted = false;
    Interrupt interrupt;
    QObject::connect(&interrupt, &Interrupt::requested, [&] {
        interrupted = true;
        finish();
    });

    tool::out() << "pty: " << line->deviceName() << '\n';
    if (now)
        start();
    else
        tool::out() << "playing " << name << " from the head unit's first bytes on "
                    << line->deviceName() << " (--now: at once)\n";
    tool::out().flush();
    QCoreApplication::exec();
    if (!replayer->error().isEmpty()) {
        tool::err() << "canservice: " << replayer->error() << '\n';
        return exitcode::BadCapture;
    }
    return interrupted ? exitcode::Interrupted : exitcode::Ok;
}

} // namespace tool
