// The tools that work on real lines, run as a person runs them over pseudo-terminals: a capture
// played to a head unit, a tap on a Y-cable's two lines, and a recording's start carried into
// Wireshark's dates.
#include "pty.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

using testsupport::Pty;

namespace {
const QString Tool = QStringLiteral(CANSERVICE_TOOL);
const QString DataDir = QStringLiteral(TEST_DATA_DIR);

QString runTool(const QStringList &arguments, int *exitCode)
{
    QProcess process;
    process.start(Tool, arguments);
    *exitCode = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
            ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
}

// Reads a process's output until it holds `text`; what was read so far is kept in `seen`.
bool waitFor(QProcess &process, QString &seen, const QString &text, int ms = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!(seen += QString::fromUtf8(process.readAllStandardOutput())).contains(text) && clock.elapsed() < ms)
        process.waitForReadyRead(100);
    return seen.contains(text);
}

int interrupt(QProcess &process, QString &seen)
{
    ::kill(pid_t(process.processId()), SIGINT);
    process.waitForFinished(10000);
    seen += QString::fromUtf8(process.readAllStandardOutput());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Decoded values and keys (not the link's state, which only a started plugin has), without times.
QStringList values(const QString &output)
{
    QStringList lines;
    for (QString line : output.split(QLatin1Char('\n')))
        if ((line = line.trimmed()).contains(QLatin1String("Vehicle.")) || line.contains(QLatin1String("CanBox.Key"))
            || line.contains(QLatin1String("CanBox.Version")))
            lines << line.mid(line.indexOf(QLatin1String("  "))).simplified();
    return lines;
}

struct Packet
{
    qint64 us;
    bool inbound;
    QByteArray bytes;
};

// The enhanced packet blocks of a pcapng file: time, direction flag, bytes.
QList<Packet> pcapngPackets(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray d = file.readAll();
    const auto u32 = [&d](int at) { return qFromLittleEndian<quint32>(d.constData() + at); };
    QList<Packet> packets;
    for (int at = 0; at + 12 <= d.size() && u32(at + 4) >= 12; at += int(u32(at + 4))) {
        if (u32(at) != 6)
            continue;
        const int length = int(u32(at + 20));
        const int options = at + 28 + (length + 3) / 4 * 4;
        packets.append({qint64(quint64(u32(at + 12)) << 32 | u32(at + 16)),
                        u32(options) == (2 | 4 << 16) && u32(options + 4) == 1, d.mid(at + 28, length)});
    }
    return packets;
}

QList<QPair<double, QByteArray>> captureChunks(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QList<QPair<double, QByteArray>> chunks;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (!line.trimmed().isEmpty() && !line.startsWith('#'))
            chunks.append({line.left(line.indexOf(' ')).toDouble(), QByteArray::fromHex(line.mid(line.indexOf(' ')))});
    return chunks;
}
} // namespace

class tst_LineTools : public QObject
{
    Q_OBJECT

private slots:
    void playbackDrivesAHeadUnitAsReplayDoes();
    void playbackKeepsTheCapturesBytesAndTimes();
    void tapShowsBothSidesInTimeOrder();
    void recordingsCarryTheirStartIntoExport();
    void errors_data();
    void errors();
};

void tst_LineTools::playbackDrivesAHeadUnitAsReplayDoes()
{
    QProcess box;
    box.start(Tool, {"sim", "--play", DataDir + "/drive.cap"});
    QString boxSaw, watched;
    QVERIFY(waitFor(box, boxSaw, QStringLiteral("(--now: at once)")));
    const QString pty = boxSaw.section(QLatin1Char('\n'), 0, 0).mid(5);
    QProcess monitor;
    monitor.start(Tool, {"monitor", pty});
    // The drive lasts 3 s; the playback then ends by itself.
    QVERIFY2(waitFor(box, boxSaw, QStringLiteral("Played 14 chunks (99 bytes)"), 20000), qPrintable(boxSaw));
    QVERIFY(box.waitForFinished(5000));
    QCOMPARE(box.exitCode(), 0);
    QCOMPARE(interrupt(monitor, watched), 130);
    int exit = -1;
    const QString replayed = runTool({"replay", DataDir + "/drive.cap"}, &exit);
    QCOMPARE(exit, 0);
    // The key held for two seconds is long on the line too: the chunks came at their times.
    QVERIFY(values(replayed).contains(QStringLiteral("CanBox.Key 5 long press")));
    QCOMPARE(values(watched), values(replayed));
    // The head unit's start command, an acknowledgement for each of the 11 good frames and a
    // refusal for the bad checksum.
    QVERIFY(boxSaw.contains(QLatin1String("box <- start\n")));
    QCOMPARE(boxSaw.count(QLatin1String("box <- acknowledgement")), 11);
    QCOMPARE(boxSaw.count(QLatin1String("box <- refusal")), 1);
}

// Read on the head unit's end as it comes: the capture's bytes, each chunk never before its time,
// and no later than a loaded machine allows.
void tst_LineTools::playbackKeepsTheCapturesBytesAndTimes()
{
    QProcess box;
    box.start(Tool, {"sim", "--play", DataDir + "/drive.cap"});
    QString boxSaw;
    QVERIFY(waitFor(box, boxSaw, QStringLiteral("(--now: at once)")));
    const int fd = ::open(boxSaw.section(QLatin1Char('\n'), 0, 0).mid(5).toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    QVERIFY(::write(fd, "\xff", 1) == 1); // anything from the head unit starts it
    QByteArray got;
    QList<QPair<qint64, int>> arrivals; // ms since the first byte, bytes by then
    QElapsedTimer clock;
    const auto chunks = captureChunks(DataDir + "/drive.cap");
    int total = 0;
    for (const auto &chunk : chunks)
        total += chunk.second.size();
    QElapsedTimer limit;
    limit.start();
    while (got.size() < total && limit.elapsed() < 10000) {
        pollfd p{fd, POLLIN, 0};
        char buffer[256];
        if (::poll(&p, 1, 100) > 0) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (got.isEmpty())
                clock.start();
            got.append(buffer, int(qMax<ssize_t>(n, 0)));
            arrivals.append({clock.elapsed(), got.size()});
        }
    }
    ::close(fd);
    box.waitForFinished(5000);
    QByteArray expected;
    for (const auto &chunk : chunks) {
        // When this chunk's first byte came.
        const int offset = expected.size();
        const auto came = std::find_if(arrivals.cbegin(), arrivals.cend(), [offset](const QPair<qint64, int> &a) {
            return a.second > offset;
        });
        QVERIFY(came != arrivals.cend());
        const qint64 due = qRound64(chunk.first * 1000);
        QVERIFY2(came->first >= due - 20 && came->first <= due + 1500,
                 qPrintable(QStringLiteral("chunk at %1 s came at %2 ms").arg(chunk.first).arg(came->first)));
        expected += chunk.second;
    }
    QCOMPARE(got.toHex(' '), expected.toHex(' '));
}

void tst_LineTools::tapShowsBothSidesInTimeOrder()
{
    Pty box, headUnit;
    QTemporaryDir dir;
    QProcess tap;
    tap.start(Tool, {"tap", box.slave, headUnit.slave, "--json", "--pcapng", dir.filePath("t.pcapng"),
                     "--record", dir.filePath("t.cap")});
    QString seen;
    QVERIFY(waitFor(tap, seen, QStringLiteral("\"type\":\"header\"")));
    // Who says what, in order; each waits until the tap has shown the one before.
    const QList<QPair<bool, QByteArray>> talk{
            {false, QByteArray::fromHex("2e810101" "7c")}, // start
            {true, QByteArray::fromHex("ff")},
            {true, QByteArray::fromHex("2e3006434220332e3192")}, // version "CB 3.1"
            {false, QByteArray::fromHex("ff")},
            {true, QByteArray::fromHex("2ef603200300e3")}, // speed
            {false, QByteArray::fromHex("ff")},
            {false, QByteArray::fromHex("2ec602a30f00")}, // distance in miles, a wrong checksum
            {true, QByteArray::fromHex("f0")},
    };
    int shown = 0;
    for (const auto &said : talk) {
        QVERIFY((said.first ? box : headUnit).send(said.second));
        ++shown;
        QTRY_VERIFY2_WITH_TIMEOUT((seen += QString::fromUtf8(tap.readAllStandardOutput()))
                                          .count(QLatin1String("\"type\":\"frame\"")) == shown,
                                  qPrintable(seen), 10000);
    }
    QCOMPARE(interrupt(tap, seen), 130);
    QList<QPair<bool, QByteArray>> frames;
    for (const QString &line : seen.split(QLatin1Char('\n'))) {
        const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
        if (o.value("type") == QLatin1String("frame"))
            frames.append({o.value("direction") == QLatin1String("in"), QByteArray::fromHex(o.value("bytes").toString().toLatin1())});
        if (o.value("bytes") == QLatin1String("2e810101" "7c"))
            QCOMPARE(o.value("name").toString(), QStringLiteral("start/stop"));
        // Only the box's two frames went to the plugin.
        if (o.value("type") == QLatin1String("health"))
            QCOMPARE(o.value("framesAccepted").toInt(), 2);
    }
    QCOMPARE(frames, talk);
    QVERIFY(seen.contains(QLatin1String("\"name\":\"CanBox.Version\",\"value\":\"CB 3.1\"")));
    QVERIFY(seen.contains(QLatin1String("\"name\":\"Vehicle.Speed\",\"value\":50")));
    // Receive-only: neither line heard a byte from the tap.
    QCOMPARE(box.readAvailable() + headUnit.readAvailable(), QByteArray());

    QList<QPair<bool, QByteArray>> packets;
    qint64 last = 0;
    for (const Packet &p : pcapngPackets(dir.filePath("t.pcapng"))) {
        QVERIFY(p.us >= last);
        last = p.us;
        packets.append({p.inbound, p.bytes});
    }
    QCOMPARE(packets, talk);
    // The recording replays the box's side; the head unit's is kept as comments.
    int exit = -1;
    QVERIFY(values(runTool({"replay", dir.filePath("t.cap")}, &exit)).contains(QStringLiteral("CanBox.Version \"CB 3.1\"")));
    QCOMPARE(exit, 0);
    QFile record(dir.filePath("t.cap"));
    QVERIFY(record.open(QIODevice::ReadOnly));
    QCOMPARE(record.readAll().count("# head unit "), 4);
}

void tst_LineTools::recordingsCarryTheirStartIntoExport()
{
    QTemporaryDir dir;
    Pty box;
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    QProcess monitor;
    monitor.start(Tool, {"monitor", box.slave, "--record", dir.filePath("r.cap")});
    QString seen;
    QVERIFY2(waitFor(monitor, seen, QStringLiteral("Ctrl-C ends")), qPrintable(seen + monitor.readAllStandardError()));
    const qint64 sent = QDateTime::currentMSecsSinceEpoch();
    QVERIFY(box.send(QByteArray::fromHex("2e3006434220332e3192")));
    QVERIFY(waitFor(monitor, seen, QStringLiteral("CanBox.Version")));
    QCOMPARE(interrupt(monitor, seen), 130);
    const qint64 after = QDateTime::currentMSecsSinceEpoch();

    QFile record(dir.filePath("r.cap"));
    QVERIFY(record.open(QIODevice::ReadOnly));
    const QByteArray startLine = record.readAll().split('\n').value(1);
    QVERIFY2(startLine.startsWith("# start "), startLine.constData());
    const QDateTime start = QDateTime::fromString(QString::fromLatin1(startLine.mid(8)), Qt::ISODateWithMs);
    QVERIFY(start.toMSecsSinceEpoch() >= before && start.toMSecsSinceEpoch() <= after);
    const auto chunks = captureChunks(record.fileName());
    QVERIFY(!chunks.isEmpty());
    int exit = -1;
    runTool({"export", record.fileName(), "--pcapng", dir.filePath("r.pcapng")}, &exit);
    QCOMPARE(exit, 0);
    const QList<Packet> packets = pcapngPackets(dir.filePath("r.pcapng"));
    QVERIFY(!packets.isEmpty());
    QCOMPARE(packets.first().us, start.toMSecsSinceEpoch() * 1000 + qRound64(chunks.first().first * 1000) * 1000);
    // Dated when the frame was sent: the recording's times count from its start.
    QVERIFY2(packets.first().us / 1000 >= sent - 1 && packets.first().us / 1000 <= after,
             qPrintable(QStringLiteral("sent at %1, dated %2").arg(sent).arg(packets.first().us / 1000)));

    // A comment that only begins with the word, or a capture with no start, keeps 1970.
    QFile plain(dir.filePath("plain.cap"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.write("# start of the drive\n0.500 2e3006434220332e3192\n");
    plain.close();
    runTool({"export", plain.fileName(), "--pcapng", dir.filePath("p.pcapng")}, &exit);
    QCOMPARE(exit, 0);
    QCOMPARE(pcapngPackets(dir.filePath("p.pcapng")).value(0).us, qint64(500000));
}

void tst_LineTools::errors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("no capture") << QStringList{"sim", "--play", "/nonexistent.cap"} << 8 << "cannot read the capture /nonexistent.cap";
    QTest::newRow("malformed capture") << QStringList{"sim", "--play", DataDir + "/malformed.cap"} << 8 << "malformed.cap:";
    QTest::newRow("a scenario with --play") << QStringList{"sim", "--play", DataDir + "/drive.cap", "--scenario", "x"} << 2 << "--scenario is for the simulated box";
    QTest::newRow("playback, no device") << QStringList{"sim", "--play", DataDir + "/drive.cap", "/dev/ttyNONE9"} << 3 << "There is no serial device /dev/ttyNONE9";
    QTest::newRow("tap, no device") << QStringList{"tap", "/dev/ttyNONE9", "/dev/ttyNONE8"} << 3 << "There is no serial device /dev/ttyNONE9";
    QTest::newRow("tap, one line twice") << QStringList{"tap", "/dev/ttyS0", "/dev/ttyS0"} << 2 << "given for both";
    QTest::newRow("playback ended by Ctrl-C") << QStringList{"sim", "--play", DataDir + "/drive.cap"} << 130 << "Played 0 chunks";
}

void tst_LineTools::errors()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QProcess process;
    process.start(Tool, arguments);
    QString seen;
    if (exitCode == 130) {
        QVERIFY(waitFor(process, seen, QStringLiteral("(--now: at once)")));
        QCOMPARE(interrupt(process, seen), exitCode);
    } else {
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), exitCode);
        seen = QString::fromUtf8(process.readAllStandardError());
    }
    QVERIFY2(seen.contains(message), qPrintable(seen));
}

QTEST_GUILESS_MAIN(tst_LineTools)
#include "tst_linetools.moc"
