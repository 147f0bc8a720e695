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
#include <QTimer>

#include <deque>

namespace tool {

namespace {
// A line that takes nothing for this long after the last chunk (a pseudo-terminal nobody reads)
// is closed with what it did not take.
const int StalledLineMs = 5000;

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
    QObject context; // the connections below end with this run, before the line is closed
    // A chunk is played once the line has taken the last of its bytes. One the line refused (a
    // device that is down) never is, nor one it had not taken all of when it closed.
    int chunks = 0;
    qint64 bytes = 0;
    qint64 accepted = 0;
    std::deque<qint64> chunkEnds; // where the chunks the line has not taken yet end in its bytes
    QElapsedTimer sinceTaken; // since the line last took bytes
    sinceTaken.start();
    int frames = 0, acknowledgements = 0, refusals = 0;
    std::unique_ptr<Replayer> replayer;
    // The capture's time once it plays; the head unit's first bytes, which start it, come at its start.
    const auto report = [&replayer](const QString &text) {
        const double seconds = replayer->firstChunkMs() < 0 ? 0.0 : replayer->now();
        tool::out() << QString::asprintf("%7.3f  ", seconds) << text << '\n';
        tool::out().flush();
    };
    QObject::connect(line, &BoxLine::taken, &context, [&] {
        sinceTaken.restart();
        for (; !chunkEnds.empty() && chunkEnds.front() <= line->bytesTaken(); chunkEnds.pop_front()) {
            ++chunks;
            bytes = chunkEnds.front();
        }
    });
    replayer = std::make_unique<Replayer>(file, reader, [&](const QByteArray &chunk) {
        if (verbose)
            report(QStringLiteral("box -> ") + hexText(chunk));
        // Counted before it is written: the line may take it at once.
        chunkEnds.push_back(accepted + chunk.size());
        if (line->write(chunk))
            accepted += chunk.size();
        else
            chunkEnds.pop_back();
    });

    bool started = false;
    const auto start = [&] {
        if (!std::exchange(started, true))
            replayer->start();
    };
    HeadUnitReader headUnit;
    QElapsedTimer heard;
    heard.start();
    QObject::connect(line, &BoxLine::received, &context, [&](const QByteArray &chunk) {
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

    bool finished = false;
    const auto finish = [&] {
        if (std::exchange(finished, true))
            return;
        tool::out() << "\nPlayed " << chunks << " chunks (" << bytes << " bytes) of " << name
                    << "; the head unit sent " << frames << " frames and acknowledged "
                    << acknowledgements << ", refused " << refusals << ".\n";
        tool::out().flush();
        QCoreApplication::quit();
    };
    // The end comes as a box is unplugged: half a second after the line took the last chunk, so
    // that the head unit reads it and a frame it cuts off runs out its receive time-out. A head
    // unit that reads the pseudo-terminal late is waited for while it reads.
    QTimer closing;
    closing.setSingleShot(true);
    closing.setTimerType(Qt::PreciseTimer);
    const auto closeWhenTaken = [&] {
        const qint64 quiet = sinceTaken.elapsed();
        if (line->bytesWaiting() == 0)
            closing.start(int(qMax<qint64>(0, Replayer::AfterLastChunkMs - quiet)));
        else if (quiet >= StalledLineMs)
            finish();
        else
            closing.start(int(StalledLineMs - quiet));
    };
    QObject::connect(&closing, &QTimer::timeout, &context, [&] {
        if (line->bytesWaiting() == 0)
            finish();
        else
            closeWhenTaken();
    });
    bool ended = false;
    QObject::connect(line, &BoxLine::taken, &context, [&] {
        if (ended)
            closeWhenTaken();
    });
    replayer->stopWaiting = [] { return Interrupt::requests() > 0; };
    replayer->finished = [&] {
        ended = true;
        closeWhenTaken();
    };
    bool interrupted = false;
    Interrupt interrupt;
    QObject::connect(&interrupt, &Interrupt::requested, [&] {
        interrupted = true;
        finish();
    });
    // The reader of the output went away: the box stops as on Ctrl-C, its summary on stderr.
    bool outputLost = false;
    QObject::connect(&interrupt, &Interrupt::outputLost, [&] {
        outputLost = true;
        sendOutputToError();
        finish();
    });

    tool::out() << "pty: " << line->deviceName() << '\n';
    if (now)
        start();
    else
        tool::out() << "playing " << name << " from the head unit's first bytes on "
                    << line->deviceName() << "; with --now it starts at once\n";
    tool::out().flush();
    QCoreApplication::exec();
    if (!replayer->error().isEmpty()) {
        tool::err() << "canservice: " << replayer->error() << '\n';
        return exitcode::BadCapture;
    }
    return outputLost ? exitcode::BrokenPipe : interrupted ? exitcode::Interrupted : exitcode::Ok;
}

} // namespace tool
