// The tools that work on real lines, run as a person runs them over pseudo-terminals: a capture
// played to a head unit, a tap on a Y-cable's two lines, and a recording's start in its export.
#include "pty.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <signal.h>
#include <tuple>
#include <unistd.h>

namespace {
const QString Tool = QStringLiteral(CANSERVICE_TOOL);
const QString DataDir = QStringLiteral(TEST_DATA_DIR);
using Said = QList<QPair<bool, QByteArray>>; // inbound (from the box), bytes

QString runTool(const QStringList &arguments)
{
    QProcess process;
    process.start(Tool, arguments);
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()) + QStringLiteral("exit %1").arg(process.exitCode());
}

// Reads a process's output until it holds `text`, into `seen`.
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

// Decoded values and keys (not the link, which only a started plugin has), without their times.
QStringList values(const QString &output)
{
    QStringList lines;
    for (QString line : output.split(QLatin1Char('\n')))
        if ((line = line.trimmed()).contains(QRegularExpression(QStringLiteral("  (Vehicle\\.|CanBox\\.(Key|Version))"))))
            lines << line.mid(line.indexOf(QLatin1String("  "))).simplified();
    return lines;
}

// A capture's chunks: seconds and bytes; its start, if it says, in `start`.
QList<QPair<double, QByteArray>> chunksOf(const QString &path, QDateTime *start = nullptr)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QList<QPair<double, QByteArray>> chunks;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (start && line.startsWith("# start "))
            *start = QDateTime::fromString(QString::fromLatin1(line.mid(8)), Qt::ISODateWithMs);
        if (!line.trimmed().isEmpty() && !line.startsWith('#'))
            chunks.append({line.left(line.indexOf(' ')).toDouble(), QByteArray::fromHex(line.mid(line.indexOf(' ')))});
    }
    return chunks;
}

// The packets of a pcapng file (enhanced packet blocks): time in microseconds, direction, bytes.
QList<QPair<qint64, QPair<bool, QByteArray>>> pcapngPackets(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray d = file.readAll();
    const auto u32 = [&d](int at) { return qFromLittleEndian<quint32>(d.constData() + at); };
    QList<QPair<qint64, QPair<bool, QByteArray>>> packets;
    for (int at = 0; at + 12 <= d.size() && u32(at + 4) >= 12; at += int(u32(at + 4))) {
        const int options = at + 28 + (int(u32(at + 20)) + 3) / 4 * 4; // the flags option first
        if (u32(at) == 6)
            packets.append({qint64(quint64(u32(at + 12)) << 32 | u32(at + 16)),
                            {u32(options) == (2 | 4 << 16) && u32(options + 4) == 1, d.mid(at + 28, int(u32(at + 20)))}});
    }
    return packets;
}
} // namespace

class tst_LineTools : public QObject
{
    Q_OBJECT

private slots:
    void playbackDrivesAHeadUnitAsReplayDoes();
    void playbackCountsWhatTheLineTook_data();
    void playbackCountsWhatTheLineTook();
    void tapShowsBothSidesInTimeOrder_data();
    void tapShowsBothSidesInTimeOrder();
    void exportDatesFromTheCapturesStart_data();
    void exportDatesFromTheCapturesStart();
    void errors_data();
    void errors();

private:
    testsupport::Pty m_line; // a device for the errors that name one
    QTemporaryDir m_dir;
};

// A monitor on the far end decodes what replay decodes, and records the bytes as played, each
// chunk no earlier than its time and no later than a loaded machine allows; the recording keeps
// its start into the export's dates.
void tst_LineTools::playbackDrivesAHeadUnitAsReplayDoes()
{
    QTemporaryDir dir;
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    QProcess box, monitor;
    box.start(Tool, {"sim", "--play", DataDir + "/drive.cap"});
    QString boxSaw, watched;
    QVERIFY(waitFor(box, boxSaw, QStringLiteral("with --now it starts at once")));
    monitor.start(Tool, {"monitor", boxSaw.section(QLatin1Char('\n'), 0, 0).mid(5), "--record", dir.filePath("r.cap")});
    QVERIFY2(waitFor(box, boxSaw, QStringLiteral("Played 14 chunks (99 bytes)"), 20000), qPrintable(boxSaw));
    QVERIFY(box.waitForFinished(5000));
    QCOMPARE(box.exitCode(), 0);
    QCOMPARE(interrupt(monitor, watched), 130);
    const QString replayed = runTool({"replay", DataDir + "/drive.cap"});
    // The key held for two seconds is long on the line too.
    QVERIFY(values(replayed).contains(QStringLiteral("CanBox.Key 5 long press")));
    QCOMPARE(values(watched), values(replayed));
    // The head unit's start, an acknowledgement for each of the 11 good frames, a refusal for the bad one.
    QVERIFY(boxSaw.contains(QLatin1String("box <- start\n")));
    QCOMPARE(boxSaw.count(QLatin1String("box <- acknowledgement")), 11);
    QCOMPARE(boxSaw.count(QLatin1String("box <- refusal")), 1);

    QDateTime start;
    const auto recorded = chunksOf(dir.filePath("r.cap"), &start);
    QVERIFY(start.toMSecsSinceEpoch() >= before && start.toMSecsSinceEpoch() <= QDateTime::currentMSecsSinceEpoch());
    QVERIFY(!recorded.isEmpty());
    QByteArray played, heard;
    for (const auto &chunk : chunksOf(DataDir + "/drive.cap")) {
        int at = 0; // the recorded chunk that holds this chunk's first byte
        for (int size = 0; at < recorded.size() && (size += recorded.at(at).second.size()) <= played.size();)
            ++at;
        QVERIFY(at < recorded.size());
        const qint64 came = qRound64((recorded.at(at).first - recorded.first().first) * 1000);
        QVERIFY2(came >= qRound64(chunk.first * 1000) - 20 && came <= qRound64(chunk.first * 1000) + 1500,
                 qPrintable(QStringLiteral("chunk at %1 s came at %2 ms").arg(chunk.first).arg(came)));
        played += chunk.second;
    }
    for (const auto &chunk : recorded)
        heard += chunk.second;
    QCOMPARE(heard.toHex(' '), played.toHex(' '));
    QVERIFY(runTool({"export", dir.filePath("r.cap"), "--pcapng", dir.filePath("r.pcapng")}).endsWith("exit 0"));
    QCOMPARE(pcapngPackets(dir.filePath("r.pcapng")).value(0).first,
             start.toMSecsSinceEpoch() * 1000 + qRound64(recorded.first().first * 1000) * 1000);
}

void tst_LineTools::playbackCountsWhatTheLineTook_data()
{
    QTest::addColumn<bool>("device"); // played onto the test's pseudo-terminal, else onto its own
    QTest::addColumn<QByteArray>("capture");
    QTest::addColumn<int>("readAfterMs");
    QTest::addColumn<int>("hangUpAfter"); // bytes; -1: the head unit stays
    QTest::addColumn<int>("backAfterMs"); // on a new line, this long after it hung up
    QTest::addColumn<int>("heardBytes");
    QTest::addColumn<QString>("played");
    // More than the pseudo-terminal holds, at once: the rest goes out as the head unit reads it,
    // and the line closes half a second after its last byte.
    QByteArray burst;
    for (int i = 0; i < 40; ++i)
        burst += "0.000 " + QByteArray(1000, '\x55').toHex(' ') + '\n';
    QTest::newRow("a head unit that reads late") << false << burst << 1500 << -1 << -1 << 40000
                                                 << "Played 40 chunks (40000 bytes)";
    // The chunk due while the line is down, the version, is dropped; the device is open again (its
    // second try, 750 ms after the loss) before the last.
    const QByteArray speed = " 2e f6 03 20 03 00 e3\n";
    QTest::newRow("a head unit that hangs up and comes back")
            << true << "0.000" + speed + "0.300 2e 30 06 43 42 20 33 2e 31 92\n1.500" + speed << 0 << 7 << 400 << 14
            << "Played 2 chunks (14 bytes)";
}

void tst_LineTools::playbackCountsWhatTheLineTook()
{
    QFETCH(bool, device);
    QFETCH(QByteArray, capture);
    QFETCH(int, readAfterMs);
    QFETCH(int, hangUpAfter);
    QFETCH(int, backAfterMs);
    QFETCH(int, heardBytes);
    QFETCH(QString, played);
    QTemporaryDir dir;
    QFile file(dir.filePath("c.cap"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(capture) == capture.size());
    file.close();
    // The device by a link that goes before the line hangs up, as udev's does: the box, trying it
    // again, cannot reach a pseudo-terminal that another program is given under the same number.
    auto headUnit = std::make_unique<testsupport::Pty>();
    const QString link = dir.filePath("canbox");
    QVERIFY(!device || QFile::link(headUnit->slave, link));
    QProcess box;
    box.start(Tool, QStringList{"sim", "--play", file.fileName(), "--now"} + (device ? QStringList{link} : QStringList()));
    QString seen;
    QVERIFY(waitFor(box, seen, QStringLiteral("\n")));
    int fd = device ? headUnit->master
                    : ::open(qPrintable(seen.section(QLatin1Char('\n'), 0, 0).mid(5)), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    QTest::qWait(readAfterMs);
    QByteArray heard;
    QElapsedTimer clock;
    clock.start();
    qint64 lastByteMs = -1, closedMs = -1;
    // Reads until `until` bytes came in all or the line closed, which it can only once it brought some.
    const auto hear = [&](int until) {
        for (const int from = heard.size(); closedMs < 0 && clock.elapsed() < 20000 && (until < 0 || heard.size() < until);) {
            char buffer[4096];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                heard.append(buffer, int(n));
                lastByteMs = clock.elapsed();
            } else if (heard.size() > from && (n == 0 || errno != EAGAIN)) {
                closedMs = clock.elapsed();
            } else {
                QTest::qWait(2);
            }
        }
    };
    hear(hangUpAfter);
    if (device) {
        QFile::remove(link);
        headUnit.reset();
    } else {
        ::close(fd);
    }
    if (backAfterMs >= 0) {
        QTest::qWait(backAfterMs);
        headUnit = std::make_unique<testsupport::Pty>();
        QVERIFY(QFile::link(headUnit->slave, link));
        fd = headUnit->master;
        hear(heardBytes);
    }
    QVERIFY(box.state() == QProcess::NotRunning || box.waitForFinished(10000));
    seen += QString::fromUtf8(box.readAllStandardOutput());
    QCOMPARE(box.exitCode(), 0);
    QVERIFY2(seen.contains(played), qPrintable(seen));
    QCOMPARE(heard.size(), heardBytes);
    if (hangUpAfter < 0)
        QVERIFY2(closedMs - lastByteMs >= 400, qPrintable(QStringLiteral("closed %1 ms after the last byte").arg(closedMs - lastByteMs)));
}

void tst_LineTools::tapShowsBothSidesInTimeOrder_data()
{
    QTest::addColumn<bool>("json");
    QTest::addColumn<bool>("boxSideHangsUp");
    QTest::addColumn<bool>("headSideHangsUp");
    // Both end with both sides' counts, the head unit's frame with a wrong checksum among its
    // frames; a side that hung up has a line loss in its counts.
    QTest::newRow("JSON Lines") << true << false << false;
    QTest::newRow("text") << false << false << false;
    QTest::newRow("JSON Lines, the box's side hangs up") << true << true << false;
    QTest::newRow("text, the head unit's side hangs up") << false << false << true;
}

void tst_LineTools::tapShowsBothSidesInTimeOrder()
{
    QFETCH(bool, json);
    QFETCH(bool, boxSideHangsUp);
    QFETCH(bool, headSideHangsUp);
    testsupport::Pty box, headUnit;
    QTemporaryDir dir;
    // Each side by a link that goes before its line hangs up (see playbackCountsWhatTheLineTook).
    const QString boxSide = dir.filePath("box"), headSide = dir.filePath("head");
    QVERIFY(QFile::link(box.slave, boxSide) && QFile::link(headUnit.slave, headSide));
    QProcess tap;
    tap.start(Tool, QStringList{"tap", boxSide, headSide, "--pcapng", dir.filePath("t.pcapng")}
                            + (json ? QStringList{"--json"} : QStringList()));
    QString seen;
    QVERIFY(waitFor(tap, seen, json ? QStringLiteral("\"type\":\"header\"") : QStringLiteral("Ctrl-C ends")));
    const QRegularExpression frame(json ? QStringLiteral("\"type\":\"frame\"")
                                        : QStringLiteral("  (hu > box|box > hu)  "));
    // Each says its part once the tap has shown the one before.
    const Said talk{{false, QByteArray::fromHex("2e8101017c")}, // start
                    {true, QByteArray::fromHex("ff")},
                    {true, QByteArray::fromHex("2e3006434220332e3192")}, // version "CB 3.1"
                    {false, QByteArray::fromHex("ff")},
                    {true, QByteArray::fromHex("2ef603200300e3")}, // speed
                    {false, QByteArray::fromHex("ff")},
                    {false, QByteArray::fromHex("2ec602a30f00")}, // distance in miles, a wrong checksum
                    {true, QByteArray::fromHex("f0")}};
    for (int shown = 1; shown <= talk.size(); ++shown) {
        QVERIFY((talk.at(shown - 1).first ? box : headUnit).send(talk.at(shown - 1).second));
        QTRY_VERIFY2_WITH_TIMEOUT((seen += QString::fromUtf8(tap.readAllStandardOutput())).count(frame) == shown,
                                  qPrintable(seen), 10000);
    }
    for (const auto &[hangsUp, side, name] : {std::make_tuple(boxSideHangsUp, &box, boxSide),
                                               std::make_tuple(headSideHangsUp, &headUnit, headSide)}) {
        if (hangsUp) {
            QFile::remove(name);
            side->close();
            QVERIFY2(waitFor(tap, seen, name + QStringLiteral(" is down (")), qPrintable(seen));
        }
    }
    QCOMPARE(interrupt(tap, seen), 130);
    if (!json) {
        QVERIFY2(seen.contains(QStringLiteral("line losses %1, dropped writes").arg(int(boxSideHangsUp))), qPrintable(seen));
        QVERIFY2(seen.contains(QStringLiteral("Head unit: frames 2, acknowledgements 2, refusals 0, noise bytes 0, "
                                              "line losses %1\n").arg(int(headSideHangsUp))),
                 qPrintable(seen));
    }
    Said frames;
    QJsonObject health, headUnitCounts;
    for (const QString &line : seen.split(QLatin1Char('\n'))) {
        const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
        if (o.value("type") == QLatin1String("frame"))
            frames.append({o.value("direction") == QLatin1String("in"), QByteArray::fromHex(o.value("bytes").toString().toLatin1())});
        if (o.value("bytes") == QLatin1String("2e8101017c"))
            QCOMPARE(o.value("name").toString(), QStringLiteral("start/stop"));
        if (o.value("type") == QLatin1String("health"))
            health = o;
        if (o.value("type") == QLatin1String("headUnit"))
            headUnitCounts = o;
    }
    if (json) {
        // Only the box's two frames reached the plugin.
        QCOMPARE(health.value("framesAccepted").toInt(), 2);
        QCOMPARE(health.value("lineLosses").toInt(), int(boxSideHangsUp));
        QCOMPARE(headUnitCounts, (QJsonObject{{"type", "headUnit"}, {"frames", 2}, {"acknowledgements", 2}, {"refusals", 0},
                                              {"noiseBytes", 0}, {"lineLosses", int(headSideHangsUp)}}));
        QCOMPARE(frames, talk);
        QVERIFY(seen.contains(QLatin1String("\"name\":\"CanBox.Version\",\"value\":\"CB 3.1\"")));
        QVERIFY(seen.contains(QLatin1String("\"name\":\"Vehicle.Speed\",\"value\":50")));
    }
    // Receive-only: neither line heard a byte from the tap.
    QCOMPARE(box.readAvailable() + headUnit.readAvailable(), QByteArray());
    Said packets;
    qint64 last = 0;
    for (const auto &packet : pcapngPackets(dir.filePath("t.pcapng"))) {
        QVERIFY(packet.first >= last);
        last = packet.first;
        packets.append(packet.second);
    }
    QCOMPARE(packets, talk);
}

void tst_LineTools::exportDatesFromTheCapturesStart_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<qint64>("firstPacketUs");
    QTest::newRow("a start") << QByteArray("# start 2026-12-06T06:44:39.123Z\n") << qint64(1796539479623000);
    QTest::newRow("a start in another zone") << QByteArray("# start 2026-12-06T07:44:39.123+01:00\n") << qint64(1796539479623000);
    QTest::newRow("no start: 1970") << QByteArray("# recorded on a bench\n") << qint64(500000);
    QTest::newRow("a comment on the start") << QByteArray("# start of the drive\n") << qint64(500000);
    QTest::newRow("a start after the first chunk") << QByteArray("0.400 ff\n# start 2026-12-06T06:44:39.123Z\n") << qint64(400000);
}

void tst_LineTools::exportDatesFromTheCapturesStart()
{
    QFETCH(QByteArray, header);
    QFETCH(qint64, firstPacketUs);
    QTemporaryDir dir;
    QFile capture(dir.filePath("c.cap"));
    QVERIFY(capture.open(QIODevice::WriteOnly));
    capture.write(header + "0.500 2e3006434220332e3192\n");
    capture.close();
    QVERIFY(runTool({"export", capture.fileName(), "--pcapng", dir.filePath("c.pcapng")}).endsWith("exit 0"));
    QCOMPARE(pcapngPackets(dir.filePath("c.pcapng")).value(0).first, firstPacketUs);
}

void tst_LineTools::errors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QString drive = DataDir + "/drive.cap";
    QTest::newRow("no capture") << QStringList{"sim", "--play", "/nonexistent.cap"} << 13 << "cannot read the capture /nonexistent.cap";
    QTest::newRow("malformed capture") << QStringList{"sim", "--play", DataDir + "/malformed.cap"} << 8 << "malformed.cap:";
    QTest::newRow("a scenario with --play") << QStringList{"sim", "--play", drive, "--scenario", "x"} << 2 << "--scenario is for the simulated box";
    QTest::newRow("playback, no device") << QStringList{"sim", "--play", drive, "/dev/ttyNONE9"} << 3 << "There is no serial device /dev/ttyNONE9";
    QTest::newRow("tap, no device") << QStringList{"tap", "/dev/ttyNONE9", "/dev/ttyNONE8"} << 3 << "There is no serial device /dev/ttyNONE9";
    // One device by two names is refused before either is opened, whatever the names.
    const QString link = m_dir.filePath("canbox");
    QFile::link(m_line.slave, link);
    const QString climbing = m_line.slave.section(QLatin1Char('/'), 0, -2) + "/../pts/" + m_line.slave.section(QLatin1Char('/'), -1);
    QTest::newRow("tap, a line not there yet, twice") << QStringList{"tap", "/dev/ttyNONE9", "/dev/../dev/ttyNONE9"} << 2
                                                      << "/dev/ttyNONE9 and /dev/../dev/ttyNONE9 are the same device.";
    QTest::newRow("tap, a line and a link to it") << QStringList{"tap", link, m_line.slave} << 2
                                                  << link + " and " + m_line.slave + " are the same device.";
    QTest::newRow("tap, a line and a path through ..") << QStringList{"tap", m_line.slave, climbing} << 2
                                                       << m_line.slave + " and " + climbing + " are the same device.";
    QTest::newRow("playback ended by Ctrl-C") << QStringList{"sim", "--play", drive} << 130 << "Played 0 chunks";
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
        QVERIFY(waitFor(process, seen, QStringLiteral("with --now it starts at once")));
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
