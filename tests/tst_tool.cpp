// The canservice tool as a person runs it: its commands, its errors and its exit codes.
#include "canboxframe.h"
#include "canservicebase.h"
#include "pty.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QSerialPort>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtEndian>
#include <QtTest>

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <stdlib.h>
#include <unistd.h>

using namespace testsupport;

namespace {
const QString Tool = QStringLiteral(CANSERVICE_TOOL);
const QString OtherPlugin = QStringLiteral(OTHER_PLUGIN);
const QString DataDir = QStringLiteral(TEST_DATA_DIR);
const QString HostLibrary = QStringLiteral(HOST_LIBRARY);

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run run(const QStringList &arguments, int timeoutMs = 20000, const QByteArray &input = {},
        const QString &directory = {})
{
    QProcess process;
    process.setWorkingDirectory(directory);
    process.start(Tool, arguments);
    if (!input.isNull()) {
        process.write(input);
        process.closeWriteChannel();
    }
    Run result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.err = QStringLiteral("timed out");
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// Event lines without their times, and without the health summary.
QStringList events(const QString &output)
{
    QStringList lines;
    for (QString line : output.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        const int space = line.indexOf(QLatin1String("  "));
        if (space < 0 || !line.at(0).isDigit())
            continue;
        lines << line.mid(space).simplified();
    }
    return lines;
}

// The blocks of a pcapng file, each whole (its two lengths agree); -1 for a file cut inside one.
int pcapngBlocks(const QByteArray &file)
{
    int blocks = 0;
    for (qint64 at = 0; at < file.size(); ++blocks) {
        if (file.size() - at < 12)
            return -1;
        const auto length = qFromLittleEndian<quint32>(file.constData() + at + 4);
        if (length < 12 || at + length > file.size()
            || qFromLittleEndian<quint32>(file.constData() + at + length - 4) != length)
            return -1;
        at += length;
    }
    return blocks;
}

// The lock file a program holding DEVICE leaves, where this system keeps them.
QString lockFileOf(const QString &device)
{
    return QStringLiteral("/var/lock/LCK..") + QString(device).remove(0, 5).replace(QLatin1Char('/'), QLatin1Char('_'));
}

// The number of a process that has ended, as a killed run leaves in its lock.
pid_t deadProcess()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

// The capture's bytes and times, for writing it again cut another way.
QList<QPair<QString, QByteArray>> captureChunks(const QByteArray &text)
{
    QList<QPair<QString, QByteArray>> chunks;
    for (const QByteArray &line : text.split('\n')) {
        if (line.trimmed().isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> words = line.simplified().split(' ');
        chunks.append({QString::fromLatin1(words.at(0)), QByteArray::fromHex(words.mid(1).join())});
    }
    return chunks;
}

} // namespace

class tst_Tool : public QObject
{
    Q_OBJECT

private slots:
    void errorsHaveOneSentenceAndTheirOwnCode_data();
    void errorsHaveOneSentenceAndTheirOwnCode();
    void busyDevice_data();
    void busyDevice();
    void deviceWithoutPermission();
    void replayMatchesTheReviewedOutput_data();
    void replayMatchesTheReviewedOutput();
    void replayIsTheSameHoweverTheBytesAreCut();
    void aCutFrameIsShownLostReplayedAndLive();
    void replayRunsExactlyOnTheCapturesClock();
    void monitorRecordReplaysToTheSameEvents();
    void monitorFollowsTheLineThroughAReplug();
    void outputToAFullDiskIsAFailure_data();
    void outputToAFullDiskIsAFailure();
    void unwritableCaptureFailsAtOnce_data();
    void unwritableCaptureFailsAtOnce();
    void everyEndingLeavesItsFilesAndCode_data();
    void everyEndingLeavesItsFilesAndCode();
    void endlessInputIsReadInBoundedMemory();
    void capturesAreReadByAStatedRule_data();
    void capturesAreReadByAStatedRule();
    void nothingLostNothingStuck_data();
    void nothingLostNothingStuck();
    void theBoxsTextsAreShownNotObeyed_data();
    void theBoxsTextsAreShownNotObeyed();
    void aLiveCsvRowComesAtOnce();
};

void tst_Tool::errorsHaveOneSentenceAndTheirOwnCode_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");

    QTest::newRow("no command") << QStringList() << 2 << "Usage";
    QTest::newRow("the dashboard's help without a display") << QStringList({"dashboard", "--help"}) << 0
                                                              << "Usage: canservice dashboard";
    QTest::newRow("--help-all is the help") << QStringList({"sim", "--help-all"}) << 0
                                            << "Usage: canservice sim";
    QTest::newRow("the dashboard without a display") << QStringList{"dashboard"} << 3
                                                       << "needs a display; without one (a server, CI) run it under xvfb-run -a";
    QTest::newRow("unknown command") << QStringList{"drive"} << 2 << "unknown command \"drive\"";
    QTest::newRow("monitor without a device") << QStringList{"monitor"} << 2 << "expects one DEVICE";
    QTest::newRow("unknown option") << QStringList({"replay", "--fast", "x"}) << 2 << "fast";
    QTest::newRow("missing device") << QStringList({"monitor", "/dev/ttyUSB-canservice-none"}) << 3
                                    << "There is no serial device /dev/ttyUSB-canservice-none";
    QTest::newRow("not a serial device") << QStringList({"monitor", "/dev/null"}) << 3
                                         << "/dev/null is not a serial device";
    QTest::newRow("plugin not found")
            << QStringList({"replay", "--plugin", "/nonexistent/libsimpleservice.so", DataDir + "/drive.cap"})
            << 6 << "The plugin /nonexistent/libsimpleservice.so was not found";
    QTest::newRow("plugin not found for a picture")
            << QStringList({"plot", DataDir + "/drive.cap", "--plugin", "/nonexistent/libsimpleservice.so",
                            "--signals", "Vehicle.Speed", "--png", QDir::tempPath() + "/tst_tool-plot.png"})
            << 6 << "The plugin /nonexistent/libsimpleservice.so was not found";
    QTest::newRow("plugin of another kind")
            << QStringList({"replay", "--plugin", OtherPlugin, DataDir + "/drive.cap"}) << 7
            << "is a plugin for org.example.MediaCodec/2.0, not a CAN service";
    QTest::newRow("not a plugin")
            << QStringList({"replay", "--plugin", DataDir + "/drive.cap", DataDir + "/drive.cap"})
            << 6 << "drive.cap is not a shared library";
    QTest::newRow("a library that is not a plugin")
            << QStringList({"replay", "--plugin", HostLibrary, DataDir + "/drive.cap"}) << 6
            << "is not a Qt plugin";
    // A file that is not there, or not readable, is not taken for a malformed one.
    QTest::newRow("capture not found") << QStringList({"replay", "/nonexistent.cap"}) << 13
                                       << "cannot read the capture /nonexistent.cap";
    QTest::newRow("a folder as the capture") << QStringList({"stats", "/"}) << 13 << "cannot read the capture /";
    QTest::newRow("scenario not found") << QStringList({"sim", "--scenario", "/nonexistent.json"}) << 13
                                        << "cannot read the scenario /nonexistent.json";
    QTest::newRow("malformed capture") << QStringList({"replay", DataDir + "/malformed.cap"}) << 8
                                       << "malformed.cap:4: \"2g\" is not hexadecimal.";
    QTest::newRow("bad scenario") << QStringList({"sim", "--scenario", DataDir + "/malformed.cap"})
                                  << 9 << "not valid JSON";
    QTest::newRow("bad fault option") << QStringList({"sim", "--corrupt", "2"}) << 2
                                      << "--corrupt takes a share between 0 and 1.";
    QTest::newRow("bad silence") << QStringList({"sim", "--silence", "5"}) << 2
                                 << "--silence takes AT:SECONDS";
    QTest::newRow("scenario value out of range")
            << QStringList({"sim", "--scenario", DataDir + "/bad-fan.json"}) << 9
            << "bad-fan.json:3: event 2, key \"climate\": fan: 99 is not a whole number from 0 to 7.";
    QTest::newRow("a directory as device") << QStringList({"monitor", DataDir}) << 3 << "is not a serial device";
    QTest::newRow("unexpected argument") << QStringList({"demo", "extra"}) << 2
                                         << "unexpected argument \"extra\"";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "canservice 0.1.0";
    QTest::newRow("duration too long") << QStringList({"sim", "--duration", "1e10"}) << 2
                                       << "--duration takes a number of seconds";
    QTest::newRow("duration nan") << QStringList({"sim", "--duration", "nan"}) << 2
                                  << "--duration takes a number of seconds";
    QTest::newRow("silence nan") << QStringList({"sim", "--silence", "nan:1"}) << 2
                                 << "--silence takes AT:SECONDS";
    QTest::newRow("share nan") << QStringList({"sim", "--noise", "nan"}) << 2
                               << "--noise takes a share between 0 and 1.";
    QTest::newRow("bad duration") << QStringList({"sim", "--duration", "soon"}) << 2
                                  << "--duration takes a number of seconds";
}

void tst_Tool::errorsHaveOneSentenceAndTheirOwnCode()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, says);
    // No display, as on a server: only the dashboard would need one.
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    const Run r = run(arguments);
    if (!display.isEmpty())
        qputenv("DISPLAY", display);
    QCOMPARE(r.exitCode, exitCode);
    const QString all = r.err + r.out;
    QVERIFY2(all.contains(says), qPrintable(all));
    if (exitCode > 2)
        QVERIFY2(r.err.trimmed().count(QLatin1Char('\n')) == 0, qPrintable(r.err));
}

// Who holds a device, as the tool finds it: a program with the device open, a lock of a live
// program (of another user, or in the older form with a process number only, which Qt alone takes
// for stale), and a stale lock of another user that this one may not remove.
void tst_Tool::busyDevice_data()
{
    QTest::addColumn<QString>("holder");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");
    QTest::newRow("open in another program") << "open" << 5 << "(tst_tool) of user";
    QTest::newRow("held alone without a lock") << "exclusive" << 5 << "is busy: another program has it open.";
    QTest::newRow("locked by a live program of another user") << "live" << 5 << "(sleep) of user nobody holds its lock";
    // Its number alone, with no newline after it, which QLockFile reads one digit short.
    QTest::newRow("locked in the older form by a live program") << "older" << 5 << "of user root holds its lock";
    QTest::newRow("a stale lock of another user") << "stale" << 14 << "(canservice) of user root, which is gone, and this user may not remove it";
    QTest::newRow("an empty lock of another user, a minute old") << "empty" << 14 << "names no process and is older than 30 s";
}

void tst_Tool::busyDevice()
{
    QFETCH(QString, holder);
    QFETCH(int, exitCode);
    QFETCH(QString, says);
    Pty pty;
    QSerialPort port(pty.slave);
    QProcess owner;
    const QString lock = lockFileOf(pty.slave);
    QByteArray lockText;
    const bool locked = holder != QLatin1String("open") && holder != QLatin1String("exclusive");
    const auto cleanUp = qScopeGuard([&] { owner.kill(), owner.waitForFinished(), locked && QFile::remove(lock); });
    QStringList command{Tool, "monitor", pty.slave};
    const passwd *nobody = ::getpwnam("nobody");
    int exclusive = -1;
    const auto closeExclusive = qScopeGuard([&] { exclusive >= 0 && ::close(exclusive); });
    if (locked && (::geteuid() != 0 || !nobody))
        QSKIP("needs root and the user nobody, to hold a device's lock as another user");
    const QStringList asNobody{QStringLiteral("--reuid=%1").arg(nobody ? nobody->pw_uid : 0),
                               QStringLiteral("--regid=%1").arg(nobody ? nobody->pw_gid : 0), "--clear-groups", "--"};
    if (holder == QLatin1String("open")) {
        QVERIFY(port.open(QIODevice::ReadWrite));
    } else if (holder == QLatin1String("exclusive")) {
        exclusive = ::open(qPrintable(pty.slave), O_RDWR | O_NOCTTY);
        QVERIFY(exclusive >= 0 && ::ioctl(exclusive, TIOCEXCL) == 0);
        // Root passes over a terminal held alone; another user does not.
        if (::geteuid() == 0 && nobody) {
            QVERIFY(::chmod(qPrintable(pty.slave), 0666) == 0);
            command = QStringList{"setpriv"} + asNobody + command;
        }
    } else if (holder == QLatin1String("live")) {
        // The lock as Qt writes it (process and program), by its owner, who lives on.
        owner.start(QStringLiteral("setpriv"),
                    asNobody + QStringList{"sh", "-c", "printf '%s\\nsleep\\n' $$ > \"$0\"; exec sleep 30", lock});
        QTRY_VERIFY_WITH_TIMEOUT(readFile(lock).endsWith("sleep\n"), 5000);
        lockText = QByteArray::number(owner.processId()) + "\nsleep\n";
        // As a confined service runs: root without the right to signal other users' programs, so
        // that asking whether the owner lives is refused, and the lock could still be removed.
        command = QStringList{"setpriv", "--bounding-set=-kill", "--"} + command;
    } else if (holder == QLatin1String("older")) {
        owner.start(QStringLiteral("sleep"), {"30"});
        QVERIFY(owner.waitForStarted());
        lockText = QByteArray::number(owner.processId());
        writeFile(lock, lockText);
        QVERIFY2(readFile(lock) == lockText && lockText.size() > 1, "the lock as written");
    } else {
        // Left by root's run that was killed (its process gone, or gone while writing it), and nobody
        // may not remove it from the sticky folder.
        lockText = holder == QLatin1String("empty")
                ? QByteArray()
                : QByteArray::number(deadProcess()) + "\ncanservice\n" + QSysInfo::machineHostName().toUtf8() + "\n";
        writeFile(lock, lockText);
        const timespec aMinuteAgo[2] = {{::time(nullptr) - 60, 0}, {::time(nullptr) - 60, 0}};
        QVERIFY(::utimensat(AT_FDCWD, qPrintable(lock), aMinuteAgo, 0) == 0);
        QVERIFY(::chmod(qPrintable(pty.slave), 0666) == 0);
        command = QStringList{"setpriv"} + asNobody + command;
    }
    QProcess tool;
    tool.start(command.first(), command.mid(1));
    const bool done = tool.waitForFinished(10000);
    const QString err = QString::fromUtf8(tool.readAllStandardError());
    QVERIFY2(done && tool.exitCode() == exitCode && err.contains(says), qPrintable(err));
    if (locked) {
        QVERIFY2(err.contains(lock), qPrintable(err));
        QCOMPARE(readFile(lock), lockText);
    }
}

void tst_Tool::deviceWithoutPermission()
{
    // Root opens any device, so as root the tool runs as nobody for this check.
    QStringList command{Tool};
    if (::geteuid() == 0) {
        const QString runuser = QStandardPaths::findExecutable(QStringLiteral("runuser"));
        if (runuser.isEmpty())
            QSKIP("running as root without runuser: no way to be refused a device");
        QProcess probe;
        probe.start(runuser, {"-u", "nobody", "--", Tool, "--help"});
        if (!probe.waitForFinished(10000) || probe.exitCode() != 0)
            QSKIP("user nobody cannot run the tool from this directory");
        command = QStringList{runuser, "-u", "nobody", "--", Tool};
    }
    Pty pty;
    const QString slave = pty.slave;
    QVERIFY(::chmod(qPrintable(slave), 0) == 0);

    QProcess process;
    process.start(command.first(), command.mid(1) + QStringList{"monitor", slave});
    QVERIFY(process.waitForFinished(10000));
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitCode(), 4);
    QVERIFY2(err.contains(QLatin1String("No permission to open the serial device")), qPrintable(err));
}

void tst_Tool::replayMatchesTheReviewedOutput_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("expected");
    QTest::newRow("text") << QStringList() << "drive.txt";
    QTest::newRow("JSON Lines with frames") << QStringList({"--json", "--frames"}) << "drive.jsonl";
}

void tst_Tool::replayMatchesTheReviewedOutput()
{
    QFETCH(QStringList, options);
    QFETCH(QString, expected);
    // From the source tree, so that the capture's name in the header is the same everywhere.
    const Run r = run(QStringList{"replay"} + options + QStringList{"tests/data/drive.cap"},
                      20000, {}, DataDir + "/../..");
    QCOMPARE(r.exitCode, 0);
    QString out = r.out;
    out.replace(QRegularExpression(QStringLiteral("\"start\":\"[^\"]*\"")), QStringLiteral("\"start\":\"START\""));
    QCOMPARE(out.split(QLatin1Char('\n')), QString::fromUtf8(readFile(DataDir + "/" + expected)).split(QLatin1Char('\n')));

    // Every name the tool prints is one the catalogue lists.
    QSet<QString> names;
    for (const QString &line : run({"signals", "--json"}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        names << QJsonDocument::fromJson(line.toUtf8()).object().value("name").toString();
    QVERIFY(names.size() > 50);
    static const QRegularExpression printed(QStringLiteral("(?:\"name\":\"|^ *[0-9.]+  )((?:Vehicle|CanBox)\\.[A-Za-z0-9.]+)"));
    for (const QString &line : out.split(QLatin1Char('\n'))) {
        const auto match = printed.match(line);
        if (match.hasMatch() && !line.contains(QLatin1String("\"type\":\"frame\"")))
            QVERIFY2(names.contains(match.captured(1)), qPrintable(line));
    }
}

void tst_Tool::replayIsTheSameHoweverTheBytesAreCut()
{
    QTemporaryDir dir;
    const auto chunks = captureChunks(readFile(DataDir + "/drive.cap"));
    QVERIFY(!chunks.isEmpty());
    // With the times: every chunk cut again into single bytes at the same time.
    QByteArray byteByByte, stream;
    for (const auto &chunk : chunks) {
        for (const char b : chunk.second)
            byteByByte += chunk.first.toLatin1() + ' ' + QByteArray(1, b).toHex() + '\n';
        stream += chunk.second;
    }
    writeFile(dir.filePath("bytes.cap"), byteByByte);
    const QStringList timed = events(run({"replay", DataDir + "/drive.cap"}).out);
    QVERIFY(timed.contains(QStringLiteral("CanBox.Key 5 long press")));
    QCOMPARE(events(run({"replay", dir.filePath("bytes.cap")}).out), timed);

    // Raw binary from standard input has no times: it comes at the line's rate, so the key held for
    // two seconds is a short press there.
    const Run piped = run({"replay", "-"}, 20000, stream);
    QCOMPARE(piped.exitCode, 0);
    QStringList atOnce = timed;
    atOnce.removeAll(QStringLiteral("CanBox.Key 5 long press"));
    atOnce.replaceInStrings(QStringLiteral("CanBox.Key 5 long release"), QStringLiteral("CanBox.Key 5 short release"));
    QCOMPARE(events(piped.out), atOnce);
}

// A frame cut off and the next one 3 s later: the receiver takes that one's first bytes as the
// rest of the cut frame and refuses it. The frame view says so where it happened, and the counts
// do not depend on whether the plugin's debug lines are on.
void tst_Tool::aCutFrameIsShownLostReplayedAndLive()
{
    const QString cut = DataDir + "/cut.cap";
    const QRegularExpression lost(QStringLiteral(
            R"(\n +(\d+\.\d{3})  box > hu  2e f6 03 40 2e f6 03 +speed, CHECKSUM ERROR: cut off at (\d+\.\d{3}), )"
            R"(completed (\d+\.\d{3}) s later by the first 3 bytes of this chunk; the frame those bytes began is lost\n)"
            R"( +\d+\.\d{3}  hu > box  f0 +refusal \(checksum error\)\n +\1  box > hu  60 06 00 a0 +noise, dropped\n)"));
    const QString counts = QStringLiteral("frames accepted 1, checksum errors 1, receive time-outs 1, "
                                          "cut frames 1, noise bytes 4,");
    const QString liveCounts = QStringLiteral("frames accepted 1, checksum errors 1, receive time-outs 1, "
                                              "cut frames 1, noise bytes 5,");

    const Run replayed = run({"replay", "--frames", cut});
    QCOMPARE(replayed.exitCode, 0);
    const auto match = lost.match(replayed.out);
    QVERIFY2(match.hasMatch(), qPrintable(replayed.out));
    QCOMPARE(match.captured(1) + match.captured(2) + match.captured(3), QStringLiteral("3.2000.2003.000"));
    QVERIFY2(replayed.out.contains(QRegularExpression(QStringLiteral(
                     R"(\n +3\.700  box > hu  +receive time-out, no frame open\n)"))),
             qPrintable(replayed.out));
    QVERIFY2(replayed.out.contains(counts), qPrintable(replayed.out));
    // The same counts with the plugin's debug lines on, by the rules or by --verbose.
    qputenv("QT_LOGGING_RULES", "default.debug=true");
    const Run debugOn = run({"replay", "--json", cut});
    qunsetenv("QT_LOGGING_RULES");
    const Run verbose = run({"replay", "--json", "--verbose", cut});
    QVERIFY2(debugOn.err.contains(QLatin1String("parse out!!!")), qPrintable(debugOn.err));
    for (const Run &r : {debugOn, verbose})
        QVERIFY2(r.out.endsWith(QLatin1String(
                         "{\"type\":\"health\",\"framesAccepted\":1,\"checksumErrors\":1,\"receiveTimeouts\":1,"
                         "\"cutFrames\":1,\"noiseBytes\":4,\"boxAcknowledgements\":0,\"linkLosses\":0,\"lineLosses\":0,\"droppedWrites\":0}\n")),
                 qPrintable(r.out));

    // Live on a pseudo-terminal, with the same gaps.
    Pty box;
    QProcess monitor;
    monitor.start(Tool, {"monitor", box.slave, "--frames"});
    QVERIFY(monitor.waitForStarted());
    QVERIFY(!box.readUntil(1).isEmpty()); // the handshake: it listens
    QVERIFY(box.send(QByteArray::fromHex("2ef603200300e3")));
    QTest::qWait(200);
    QVERIFY(box.send(QByteArray::fromHex("2ef60340")));
    QTest::qWait(3000);
    QVERIFY(box.send(QByteArray::fromHex("2ef603600600a0")));
    QString seen;
    QTRY_VERIFY_WITH_TIMEOUT((seen += QString::fromUtf8(monitor.readAllStandardOutput()))
                                     .contains(QLatin1String("receive time-out")),
                             5000);
    // Noise on a quiet line is shown at once, not when the next frame comes.
    QVERIFY(box.send(QByteArray::fromHex("55")));
    QTRY_VERIFY_WITH_TIMEOUT((seen += QString::fromUtf8(monitor.readAllStandardOutput()))
                                     .contains(QRegularExpression(QStringLiteral("box > hu  55 +noise, dropped"))),
                             1000);
    ::kill(pid_t(monitor.processId()), SIGINT);
    QVERIFY(monitor.waitForFinished(5000));
    seen += QString::fromUtf8(monitor.readAllStandardOutput());
    QVERIFY2(lost.match(seen).hasMatch(), qPrintable(seen));
    QVERIFY2(seen.contains(liveCounts), qPrintable(seen));

    // What the plugin does with a chunk is shown once it has handled it, whatever comes next: an
    // emergency call (a frame with no signal) at its own time, not with the next frame's.
    QTemporaryDir dir;
    writeFile(dir.filePath("ecall.cap"), "0.000 2e 95 02 01 ff 68\n2.000 2e f6 03 20 03 00 e3\n");
    const QString shown = run({"replay", dir.filePath("ecall.cap")}).out;
    QVERIFY2(shown.contains(QRegularExpression(QStringLiteral("\n +0\\.000  CanBox\\.EmergencyCall\\.StateCode +1\n"))),
             qPrintable(shown));
}

// Every timer of the plugin at exactly its time after the capture's chunks, the same in every
// run, at full speed or paced (then at the speed's pace): the long press 1.5 s after the press,
// the probe 30 s after the last answer, the link lost 1.2 s later, then the retries every 2 s.
void tst_Tool::replayRunsExactlyOnTheCapturesClock()
{
    const QString capture = DataDir + "/silence.cap";
    const Run first = run({"replay", "--json", "--frames", capture});
    QCOMPARE(first.exitCode, 0);
    QCOMPARE(run({"replay", "--json", "--frames", capture}).out, first.out);
    // Paced, the capture's 40 s take 2 s of the wall's, plus the start (a tenth of a second here).
    QElapsedTimer wall;
    wall.start();
    QCOMPARE(run({"replay", "--json", "--frames", "--speed", "20", capture}).out, first.out);
    QVERIFY2(wall.elapsed() >= 2000 && wall.elapsed() < 3600, qPrintable(QString::number(wall.elapsed())));
    QStringList timers;
    for (const QString &line : first.out.split(QLatin1Char('\n'))) {
        const QJsonObject r = QJsonDocument::fromJson(line.toUtf8()).object();
        if (r.value("action") == QLatin1String("long press") || r.value("type") == QLatin1String("link")
            || r.value("direction") == QLatin1String("out"))
            timers << QStringLiteral("%1 %2").arg(r.value("time").toDouble(), 0, 'f', 3)
                              .arg(r.value("bytes").toString() + r.value("state").toString() + r.value("action").toString());
    }
    QCOMPARE(timers, QStringList({"0.000 ff", "0.000 up", "0.500 ff", "2.000 long press", "30.500 2e8101017c",
                                  "31.700 lost", "33.700 2e8101007d", "33.700 2e8101017c", "33.700 2e900230ff3e",
                                  "35.700 2e8101007d", "35.700 2e8101017c", "35.700 2e900230ff3e",
                                  "37.700 2e8101007d", "37.700 2e8101017c", "37.700 2e900230ff3e",
                                  "39.700 2e8101007d", "39.700 2e8101017c", "39.700 2e900230ff3e"}));

    // A quiet day is jumped once the retries repeat: told once, in full, with the exact retries
    // around it. Expanded, the record gives every retry the head unit would have written.
    QTemporaryDir gapDir;
    const Run gap = run({"replay", "--json", "--frames", DataDir + "/quiet-day.cap"});
    QCOMPARE(gap.exitCode, 0);
    QStringList writes;
    int records = 0;
    for (const QString &line : gap.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QJsonObject r = QJsonDocument::fromJson(line.toUtf8()).object();
        ++records;
        if (r.value("direction") == QLatin1String("in") || r.value("type") == QLatin1String("link"))
            writes << QStringLiteral("%1 %2").arg(r.value("time").toDouble(), 0, 'f', 1).arg(r.value("state").toString() + r.value("bytes").toString());
        else if (r.value("direction") == QLatin1String("out") && r.value("type") == QLatin1String("frame"))
            writes << QStringLiteral("%1 %2").arg(r.value("time").toDouble(), 0, 'f', 1).arg(r.value("bytes").toString());
        for (int i = 0; i < r.value("times").toInt(); ++i)
            for (const QJsonValue &w : r.value("writes").toArray())
                writes << QStringLiteral("%1 %2").arg(r.value("time").toDouble() + i * r.value("every").toDouble() + w.toObject().value("offset").toDouble(), 0, 'f', 1)
                                  .arg(w.toObject().value("bytes").toString());
    }
    QStringList expected{"0.1 2ef6021000f7", "0.1 ff", "0.1 up", "30.1 2e8101017c", "31.3 lost"};
    for (int t = 333; t < 1000005; t += 20)
        expected << QStringLiteral("%1.%2 2e8101007d").arg(t / 10).arg(t % 10) << QStringLiteral("%1.%2 2e8101017c").arg(t / 10).arg(t % 10)
                 << QStringLiteral("%1.%2 2e900230ff3e").arg(t / 10).arg(t % 10);
    expected << "100000.5 2ef6022000e7" << "100000.5 ff" << "100000.5 up";
    QCOMPARE(writes, expected);
    QVERIFY2(records < 40, qPrintable(gap.out.left(4000)));
    // Wireshark's file holds the first repeat with a comment on what followed.
    QCOMPARE(run({"export", DataDir + "/quiet-day.cap", "--pcapng", gapDir.filePath("gap.pcapng")}).exitCode, 0);
    const QByteArray pcapng = readFile(gapDir.filePath("gap.pcapng"));
    QVERIFY2(pcapng.size() < 4096 && pcapng.contains("again every 2.000 s, 49979 times in all"), pcapng.constData());

    // As fast as it can, the clock looks at its sockets (Ctrl-C's) every few milliseconds, not
    // once a chunk: 100,000 chunks, a few dozen polls, counted by the system's own tracer.
    if (QStandardPaths::findExecutable(QStringLiteral("strace")).isEmpty())
        QSKIP("needs strace (Debian package strace) to count system calls");
    QTemporaryDir dir;
    QByteArray chunks;
    for (int i = 0; i < 100000; ++i)
        chunks += QByteArray::number(i * 0.002, 'f', 3) + " 2e f6 03 08 10 00 ee\n";
    writeFile(dir.filePath("long.cap"), chunks);
    QProcess strace;
    // The leak check at exit cannot run under a tracer.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ASAN_OPTIONS"), environment.value(QStringLiteral("ASAN_OPTIONS")) + ":detect_leaks=0");
    strace.setProcessEnvironment(environment);
    strace.start(QStringLiteral("strace"), {"-f", "-c", "-e", "trace=poll,ppoll", "-o", dir.filePath("calls"), Tool, "replay",
                                            dir.filePath("long.cap"), "--json"});
    QVERIFY(strace.waitForFinished(60000) && strace.exitCode() == 0);
    // The total's line: share, seconds, microseconds a call, calls, [errors,] "total".
    const QByteArray calls = readFile(dir.filePath("calls"));
    const QList<QByteArray> total = calls.mid(calls.lastIndexOf("\n", calls.lastIndexOf("total"))).simplified().split(' ');
    QVERIFY2(total.size() >= 5 && total.last() == "total" && total.at(3).toInt() < 1000, calls.constData());
}

void tst_Tool::monitorRecordReplaysToTheSameEvents()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("short.json"), R"({"events": [
        {"at": 0.0, "version": "REC 1", "climate": {"manual": true, "left": 20.0, "right": 20.0}},
        {"at": 0.5, "speed": 20.0, "rpm": 1500},
        {"at": 0.8, "doors": {"right-front": true}},
        {"at": 1.1, "radar": {"front": [3, 9, 0, 0]}},
        {"at": 1.4, "key": {"code": 9, "hold": 0.2}}
    ]})");

    QProcess box;
    box.start(Tool, {"sim", "--scenario", dir.filePath("short.json"), "--duration", "20"});
    QVERIFY(box.waitForReadyRead(5000));
    const QString firstLine = QString::fromUtf8(box.readLine()).trimmed();
    QVERIFY2(firstLine.startsWith(QLatin1String("pty: /dev/")), qPrintable(firstLine));
    const QString pty = firstLine.mid(5);

    QProcess monitor;
    monitor.start(Tool, {"monitor", pty, "--record", dir.filePath("run.cap")});
    QVERIFY(monitor.waitForStarted());
    QString seen;
    QTRY_VERIFY_WITH_TIMEOUT((seen += QString::fromUtf8(monitor.readAllStandardOutput()))
                                     .contains(QLatin1String("9 short release")),
                             10000);
    ::kill(pid_t(monitor.processId()), SIGINT);
    QVERIFY(monitor.waitForFinished(5000));
    seen += QString::fromUtf8(monitor.readAllStandardOutput());
    QCOMPARE(monitor.exitStatus(), QProcess::NormalExit);
    QCOMPARE(monitor.exitCode(), 130);
    QVERIFY2(seen.contains(QLatin1String("Link health: frames accepted")), qPrintable(seen));
    // Ctrl-C stops the plugin, and its stop command reaches the box before the line closes.
    QString boxSaw;
    QTRY_VERIFY_WITH_TIMEOUT((boxSaw += QString::fromUtf8(box.readAllStandardOutput()))
                                     .contains(QLatin1String("box <- stop")),
                             5000);
    box.kill();
    box.waitForFinished();

    QStringList watched = events(seen);
    watched.removeFirst(); // "watching DEVICE; Ctrl-C ends"
    QVERIFY(watched.contains(QStringLiteral("Vehicle.Cabin.Door.Row1.PassengerSide.IsOpen true")));
    QVERIFY(watched.contains(QStringLiteral("CanBox.Version \"REC 1\"")));
    const Run replayed = run({"replay", dir.filePath("run.cap")});
    QCOMPARE(replayed.exitCode, 0);
    QCOMPARE(events(replayed.out), watched);
}

void tst_Tool::monitorFollowsTheLineThroughAReplug()
{
    QTemporaryDir dir;
    const QString link = dir.filePath("canbox");
    auto boxA = std::make_unique<Pty>();
    QVERIFY(QFile::link(boxA->slave, link));

    QProcess monitor;
    monitor.start(Tool, {"monitor", link, "--json"});
    QVERIFY(monitor.waitForStarted());
    QString seen;
    const auto saw = [&](const char *text) {
        seen += QString::fromUtf8(monitor.readAllStandardOutput());
        return seen.contains(QLatin1String(text));
    };
    // Once the head unit's handshake arrives, the box sends its version.
    QByteArray heard;
    QTRY_VERIFY_WITH_TIMEOUT(!(heard += boxA->readAvailable()).isEmpty(), 5000);
    QByteArray frame = QByteArray::fromHex("2e3003413120");
    frame.append(char(~(0x30 + 0x03 + 0x41 + 0x31 + 0x20) & 0xff));
    QVERIFY(boxA->send(frame));
    QTRY_VERIFY_WITH_TIMEOUT(saw("\"name\":\"CanBox.Version\",\"value\":\"A1 \""), 5000);

    boxA.reset();
    const auto sawLine = [&](const char *state) {
        saw("");
        const QRegularExpression record(QStringLiteral("\"type\":\"line\".*\"state\":\"%1\"").arg(QLatin1String(state)));
        return record.match(seen).hasMatch();
    };
    QTRY_VERIFY_WITH_TIMEOUT(sawLine("down"), 5000);
    Pty boxB;
    QFile::remove(link);
    QVERIFY(QFile::link(boxB.slave, link));
    QTRY_VERIFY_WITH_TIMEOUT(sawLine("up"), 8000);

    ::kill(pid_t(monitor.processId()), SIGINT);
    QVERIFY(monitor.waitForFinished(5000));
    QVERIFY2(saw("\"lineLosses\":1"), qPrintable(seen));
    QCOMPARE(monitor.exitCode(), 130);

    // A line on which nothing ever arrives ends the run with its own code. It goes before
    // Ctrl-C: the stop command then meets a line that is down, and is counted as dropped.
    QProcess silent;
    silent.start(Tool, {"monitor", boxB.slave, "--json"});
    QVERIFY(silent.waitForStarted());
    QTest::qWait(500);
    boxB.close();
    QString quiet;
    QTRY_VERIFY_WITH_TIMEOUT((quiet += QString::fromUtf8(silent.readAllStandardOutput())).contains("\"state\":\"down\""), 5000);
    ::kill(pid_t(silent.processId()), SIGINT);
    QVERIFY(silent.waitForFinished(5000));
    QCOMPARE(silent.exitCode(), 12);
    QVERIFY(silent.readAllStandardError().contains("sent nothing"));
    quiet += QString::fromUtf8(silent.readAllStandardOutput());
    QVERIFY2(quiet.contains(QRegularExpression(QStringLiteral("\"lineLosses\":1,\"droppedWrites\":[1-9]"))),
             qPrintable(quiet));
}

void tst_Tool::outputToAFullDiskIsAFailure_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("replay") << QStringList{"replay", DataDir + "/drive.cap"};
    QTest::newRow("replay --json") << QStringList{"replay", "--json", DataDir + "/drive.cap"};
    QTest::newRow("signals") << QStringList{"signals"};
}

// What was printed and never reached its file is a failure, said in one sentence.
void tst_Tool::outputToAFullDiskIsAFailure()
{
    QFETCH(QStringList, arguments);
    QProcess process;
    process.setStandardOutputFile(QStringLiteral("/dev/full"));
    process.start(Tool, arguments);
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitCode(), 10);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(err.contains(QLatin1String("could not be written")) && err.trimmed().count('\n') == 0, qPrintable(err));
}

void tst_Tool::unwritableCaptureFailsAtOnce_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("plugin");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("a full disk") << "/dev/full" << QString() << 10;
    QTest::newRow("no such folder") << "/nonexistent-canservice/run.cap" << QString() << 10;
    QTest::newRow("a file that takes no writing") << "/proc/version" << QString() << 10;
    // A run that cannot load its plugin leaves an earlier capture alone.
    QTest::newRow("plugin missing") << "keep" << "/nonexistent/libsimpleservice.so" << 6;
}

void tst_Tool::unwritableCaptureFailsAtOnce()
{
    QFETCH(QString, file);
    QFETCH(QString, plugin);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    if (file == QLatin1String("keep")) {
        file = dir.filePath("earlier.cap");
        writeFile(file, "0.000 2e\n");
    }
    Pty box;
    QStringList arguments{"monitor", box.slave, "--pcapng", dir.filePath("run.pcapng"), "--record", file};
    if (!plugin.isEmpty())
        arguments << "--plugin" << plugin;
    const Run r = run(arguments, 5000);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.trimmed().count(QLatin1Char('\n')) == 0, qPrintable(r.err));
    // A run that cannot start leaves no file behind, not even a partial one.
    QCOMPARE(QDir(dir.path()).entryList({"run.pcapng*"}, QDir::Files), QStringList());
    if (!plugin.isEmpty())
        QCOMPARE(readFile(file), QByteArray("0.000 2e\n"));
}

// Every way a run ends, for the commands that meet it: the end of its input, Ctrl-C, SIGTERM,
// SIGHUP, a reader that goes away (`| head`) and one that stops reading. Each gives its code and
// its summary (on standard error once standard output is gone); a file from a file-driven run is
// complete only at the end, an earlier one of its name kept otherwise; a live recording is
// complete up to the end, however it came; and a live box is acknowledged throughout and told to
// stop.
void tst_Tool::everyEndingLeavesItsFilesAndCode_data()
{
    QTest::addColumn<QStringList>("command"); // %out: the output file, %box: the box's line
    QTest::addColumn<QString>("ending");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("file"); // "", "complete" or "earlier"
    const QString drive = DataDir + "/drive.cap";
    const QStringList paced{"replay", "--speed", "1", drive, "--frames", "--pcapng", "%out"};
    QTest::newRow("replay to its end") << QStringList{"replay", drive, "--pcapng", "%out"} << "end" << 0 << "Link health:" << "complete";
    QTest::newRow("replay, SIGTERM") << paced << "SIGTERM" << 130 << "Link health:" << "earlier";
    QTest::newRow("replay, its reader gone") << paced << "gone" << 141 << "Link health:" << "earlier";
    QTest::newRow("replay, its reader stalled, then Ctrl-C") << QStringList{"replay", "%big", "--frames", "--pcapng", "%out"}
                                                             << "stalled" << 130 << "lines of output were not written: the run was ended" << "earlier";
    QTest::newRow("export, Ctrl-C") << QStringList{"export", "%big", "--pcapng", "%out"} << "SIGINT" << 130 << "" << "earlier";
    // Input that does not come: a FIFO nobody opened for writing, a pipe that stays quiet.
    QTest::newRow("replay of a FIFO with no writer, SIGTERM") << QStringList{"replay", "%quiet"} << "SIGTERM" << 130
                                                             << "Link health:" << "";
    QTest::newRow("replay of a quiet pipe, Ctrl-C") << QStringList{"replay", "-"} << "SIGINT" << 130 << "Link health:" << "";
    QTest::newRow("stats, Ctrl-C") << QStringList{"stats", "%big"} << "SIGINT" << 130 << "frames accepted" << "";
    QTest::newRow("signals, its reader gone before") << QStringList{"signals"} << "closed" << 141 << "" << "";
    QTest::newRow("demo, Ctrl-C") << QStringList{"demo"} << "SIGINT" << 130 << "Final vehicle state" << "";
    QTest::newRow("sim, Ctrl-C") << QStringList{"sim"} << "SIGINT" << 130 << "Box sent 0 frames, 0 of them corrupted on purpose;" << "";
    QTest::newRow("sim, its reader gone before") << QStringList{"sim"} << "closed" << 141 << "Box sent 0 frames" << "";
    const QStringList monitor{"monitor", "%box", "--frames", "--record", "%out"};
    QTest::newRow("monitor, SIGTERM") << monitor << "SIGTERM" << 130 << "Link health:" << "complete";
    QTest::newRow("monitor, SIGHUP") << monitor << "SIGHUP" << 130 << "Link health:" << "complete";
    QTest::newRow("monitor, its reader gone") << monitor << "gone" << 141 << "Link health:" << "complete";
    QTest::newRow("monitor --verbose, the reader of its errors stalled, then Ctrl-C")
            << QStringList{"monitor", "%box", "--verbose", "--record", "%out"} << "stalled errors" << 130 << "Link health:"
            << "complete";
    QTest::newRow("monitor, its reader stalled, then Ctrl-C") << monitor << "stalled" << 130
                                                              << "lines of output were dropped while their reader did not keep up"
                                                              << "complete";
    // A script's background job starts with Ctrl-C ignored; the tool still ends cleanly on it.
    QTest::newRow("replay in a script's background") << (QStringList{"background"} + paced) << "SIGINT" << 130
                                                     << "Link health:" << "earlier";
}

void tst_Tool::everyEndingLeavesItsFilesAndCode()
{
    QFETCH(QStringList, command);
    QFETCH(QString, ending);
    QFETCH(int, exitCode);
    QFETCH(QString, summary);
    QFETCH(QString, file);
    QTemporaryDir dir;
    Pty box;
    const bool live = command.contains(QLatin1String("%box"));
    const QString target = dir.filePath(command.contains(QLatin1String("--record")) ? "out.cap" : "out.pcapng");
    command.replaceInStrings(QStringLiteral("%out"), target).replaceInStrings(QStringLiteral("%box"), box.slave);
    if (command.contains(QLatin1String("%quiet"))) {
        QVERIFY(::mkfifo(qPrintable(dir.filePath("quiet")), 0600) == 0);
        command.replaceInStrings(QStringLiteral("%quiet"), dir.filePath("quiet"));
    }
    if (command.contains(QLatin1String("%big"))) {
        // Long enough to be ended in its course: a second or more of work.
        QByteArray big;
        for (int i = 0; i < 2000000; ++i)
            big += QByteArray::number(i * 0.002, 'f', 3) + " 2e f6 03 08 10 00 ee\n";
        writeFile(dir.filePath("big.cap"), big);
        command.replaceInStrings(QStringLiteral("%big"), dir.filePath("big.cap"));
    }
    const QByteArray earlier = "an earlier file of this name\n";
    writeFile(target, earlier);

    // A reader that takes one byte and goes, or one that never reads, at the end of a pipe.
    QProcess reader;
    QProcess process;
    // Held open at both ends while the two start, as QProcess opens a redirection before it forks.
    int bothEnds = -1;
    const bool stalled = ending.startsWith(QLatin1String("stalled"));
    if (ending == QLatin1String("gone") || stalled || ending == QLatin1String("closed")) {
        const QString fifo = dir.filePath(QStringLiteral("pipe"));
        QVERIFY(::mkfifo(qPrintable(fifo), 0600) == 0);
        bothEnds = ::open(qPrintable(fifo), O_RDWR | O_CLOEXEC);
        reader.setStandardInputFile(fifo);
        reader.start(ending == QLatin1String("gone") ? QStringLiteral("head") : QStringLiteral("sleep"),
                     ending == QLatin1String("gone") ? QStringList{"-c", "1"}
                                                     : QStringList{ending == QLatin1String("closed") ? "0" : "60"});
        QVERIFY(reader.waitForStarted());
        if (ending == QLatin1String("closed"))
            QVERIFY(reader.waitForFinished());
        if (ending == QLatin1String("stalled errors"))
            process.setStandardErrorFile(fifo);
        else
            process.setStandardOutputFile(fifo);
    }
    const auto cleanUp = qScopeGuard([&] { reader.kill(), reader.waitForFinished(); });
    if (command.first() == QLatin1String("background"))
        process.start(QStringLiteral("/bin/sh"), QStringList{"-c", "trap '' INT; exec \"$0\" \"$@\"", Tool} + command.mid(1));
    else
        process.start(Tool, command);
    QVERIFY(process.waitForStarted());
    if (bothEnds >= 0)
        ::close(bothEnds);

    // A live box sends at the line's full rate until the run has ended, and counts what it is told.
    QByteArray told;
    const QByteArray stop = QByteArray::fromHex("2e8101007d");
    int sent = 0, sentBeforeStop = -1;
    bool sending = true;
    QElapsedTimer running;
    running.start();
    const auto serve = [&] {
        told += box.readAvailable();
        if (sentBeforeStop < 0 && told.indexOf(stop, 5) > 0)
            sentBeforeStop = sent;
        // Once the head unit has started the box: about four times the line's rate, as this is called.
        if (live && sending && !told.isEmpty() && process.state() == QProcess::Running) {
            QByteArray frames;
            for (int i = 0; i < 100; ++i, ++sent)
                frames += QByteArray::fromHex("2ef603081000ee");
            box.send(frames);
        }
        return process.state() == QProcess::NotRunning;
    };
    // The head unit's bytes: acknowledgements, and frames that begin 2e and say their length.
    QByteArray lastFrame;
    const auto acked = [&] {
        int acks = 0;
        for (int i = 0; i < told.size();) {
            if (quint8(told.at(i)) == 0xFF) {
                ++acks, ++i;
            } else if (told.at(i) == 0x2E && i + 2 < told.size()) {
                lastFrame = told.mid(i, 4 + quint8(told.at(i + 2)));
                i += lastFrame.size();
            } else {
                ++i;
            }
        }
        return acks;
    };
    QString out;
    // Ended by a signal once it runs: it has written something, and a live box has heard from it.
    if (ending.startsWith(QLatin1String("SIG")) || stalled) {
        QTRY_VERIFY_WITH_TIMEOUT((serve(), (!live || !told.isEmpty())
                                          && (stalled ? running.elapsed() > 1500
                                                      : !(out += QString::fromUtf8(process.readAllStandardOutput())).isEmpty()
                                                              || running.elapsed() > 400)),
                                 10000);
        const int signal = ending == QLatin1String("SIGTERM") ? SIGTERM : ending == QLatin1String("SIGHUP") ? SIGHUP : SIGINT;
        // Every frame acknowledged, whoever reads the output, or not: a head unit held up by its
        // reader would never catch up.
        sending = false;
        QTRY_VERIFY2_WITH_TIMEOUT((serve(), acked() == sent),
                                  qPrintable(QStringLiteral("%1 of %2 frames acknowledged").arg(acked()).arg(sent)), 3000);
        QVERIFY(process.processId() > 0); // kill(0) would signal this whole process group
        ::kill(pid_t(process.processId()), signal);
        running.restart();
    }
    QTRY_VERIFY_WITH_TIMEOUT(serve(), 20000);
    // Every wait ends within a second of the signal, a reader's included (and the run's end after
    // it, which the sanitizers' checks at exit make longer).
#if defined(__SANITIZE_ADDRESS__)
    const int ended = 4000;
#else
    const int ended = 1500;
#endif
    if (stalled)
        QVERIFY2(running.elapsed() < ended, qPrintable(QString::number(running.elapsed())));
    out += QString::fromUtf8(process.readAllStandardOutput());
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY2(process.exitCode() == exitCode, qPrintable(QString::number(process.exitCode()) + QLatin1Char(' ') + err));
    QVERIFY2((ending == QLatin1String("gone") || ending == QLatin1String("closed") ? err : out + err).contains(summary),
             qPrintable(out + err));

    const QStringList partials = QDir(dir.path()).entryList({QFileInfo(target).fileName() + ".*.partial"}, QDir::Files);
    if (file == QLatin1String("complete")) {
        QVERIFY(readFile(target) != earlier);
        QCOMPARE(partials, QStringList());
    } else if (file == QLatin1String("earlier")) {
        QCOMPARE(readFile(target), earlier);
        QCOMPARE(partials.size(), 1);
        QVERIFY2(err.contains(partials.first() + QLatin1Char('\n')), qPrintable(err));
        // Held to its reader's pace, not run ahead with its lines kept in memory.
        if (ending == QLatin1String("stalled"))
            QVERIFY2(QFileInfo(dir.filePath(partials.first())).size() < (1 << 20), qPrintable(QStringLiteral("%1 bytes").arg(QFileInfo(dir.filePath(partials.first())).size())));
    }
    if (live) {
        // Every frame sent until the head unit said stop (one batch on its way then, at most).
        QVERIFY2(acked() >= sentBeforeStop - 100 && sentBeforeStop > 0,
                 qPrintable(QStringLiteral("%1 of %2 frames acknowledged").arg(acked()).arg(sentBeforeStop)));
        acked();
        QCOMPARE(lastFrame.toHex(), stop.toHex());
        QVERIFY(readFile(target).startsWith("# canservice capture"));
    }
    QVERIFY2(!QFile::exists(lockFileOf(box.slave)), "the lock is left behind");
}

// Text as editors save it is text; forms no capture takes are refused with a sentence; the box's
// raw bytes are binary. Never a file that held frames read as noise with exit 0.
void tst_Tool::capturesAreReadByAStatedRule_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");
    const QByteArray drive = readFile(DataDir + "/drive.cap");
    QByteArray binary;
    for (const QByteArray &line : drive.split('\n'))
        if (!line.startsWith('#'))
            binary += QByteArray::fromHex(line.mid(line.indexOf(' ') + 1));
    QByteArray withNul = drive;
    withNul.insert(withNul.indexOf('\n', withNul.indexOf('\n') + 1) + 1, QByteArray("0.100 2e\0 f6\n", 14));
    QTest::newRow("as it is") << drive << 0 << "";
    QTest::newRow("with a byte-order mark") << "\xef\xbb\xbf" + drive << 0 << "";
    QTest::newRow("with a comment in UTF-8") << "# cabin at 21.5 \xc2\xb0" "C\n" + drive << 0 << "";
    QTest::newRow("with CRLF line ends") << QByteArray(drive).replace("\n", "\r\n") << 0 << "";
    QTest::newRow("the box's raw bytes") << binary << 0 << "";
    // Every byte below 0x80, as UTF-8 text would be: the control bytes tell them apart.
    QTest::newRow("the box's raw bytes, all ASCII") << QByteArray::fromHex("2e2002015e7e").repeated(100) << 0 << "";
    QTest::newRow("a NUL in a line") << withNul << 8 << ":3: a NUL byte at column 9";
    QTest::newRow("UTF-16 with its mark")
            << QTextCodec::codecForName("UTF-16")->fromUnicode(QString::fromUtf8(drive)) << 8 << ": UTF-16 text";
    QByteArray little, big; // UTF-16 as some editors save it, with no mark
    for (const char c : drive)
        little += QByteArray(1, c) + '\0', big += QByteArray(1, '\0') + c;
    QTest::newRow("UTF-16, little-endian, without a mark") << little << 8 << ": UTF-16 text";
    QTest::newRow("UTF-16, big-endian, without a mark") << big << 8 << ": UTF-16 text";
    QTest::newRow("gzip") << QByteArray("\x1f\x8b\x08\x00\x00\x00\x00\x00", 8) + drive << 8 << ": a gzip file";
    // Times: a plain one of any length, and the ones no capture holds, each with its line.
    const int last = drive.count('\n') + 1;
    QTest::newRow("a time of seventeen digits") << drive + "3.0000000000000001 2e\n" << 0 << "";
    QTest::newRow("a time with two points") << drive + "3.1.2 2e\n" << 8
                                            << QStringLiteral(":%1: \"3.1.2\" is not a time in seconds").arg(last);
    QTest::newRow("a time past the largest") << drive + "10000000000.5 2e\n" << 8
                                             << QStringLiteral(":%1: \"10000000000.5\" is not a time in seconds from 0 to 10000000000").arg(last);
    QTest::newRow("a time going back") << drive + "2.999 2e\n" << 8
                                       << QStringLiteral(":%1: time 2.999 is earlier than the line before").arg(last);
}

void tst_Tool::capturesAreReadByAStatedRule()
{
    QFETCH(QByteArray, content);
    QFETCH(int, exitCode);
    QFETCH(QString, says);
    QTemporaryDir dir;
    writeFile(dir.filePath("in.cap"), content);
    const Run stats = run({"stats", dir.filePath("in.cap"), "--json"});
    QVERIFY2(stats.exitCode == exitCode && stats.err.contains(says), qPrintable(stats.err));
    if (exitCode == 0) {
        // The frames a person would find by reading the file: 11, one cut by a pause in the text.
        const int frames = QJsonDocument::fromJson(stats.out.toUtf8()).object().value("framesAccepted").toInt();
        QVERIFY2(frames >= 11, qPrintable(stats.out));
    }
}

void tst_Tool::endlessInputIsReadInBoundedMemory()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the address sanitizer's shadow memory makes resident sizes meaningless");
#endif
    // 100 MB through a pipe, as from a device that never stops, behind a frame of length 0 that
    // takes every byte until the receive time-out: read whole, or all at one moment so that the
    // time-out never comes, it would take more than ten times the bound.
    QProcess process;
    process.start(QStringLiteral("/bin/sh"),
                  {"-c", "{ printf '\\056\\366\\000'; head -c 100000000 /dev/zero; } | \"$0\" replay - > /dev/null", Tool});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);
    rusage usage = {};
    QCOMPARE(getrusage(RUSAGE_CHILDREN, &usage), 0);
    QVERIFY2(usage.ru_maxrss < 100 * 1024, qPrintable(QStringLiteral("%1 KiB").arg(usage.ru_maxrss)));
}

// Where a user loses data or a device until someone cleans up by hand: a disk that fills, a
// capture that goes bad late, a stale lock, a link to a device in use, an endless line, a signal
// in the first milliseconds.
void tst_Tool::nothingLostNothingStuck_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");
    QTest::newRow("a disk that fills during an export") << "full" << 10 << "File too large; what was written before is kept whole in";
    QTest::newRow("a malformed line after 5000 good ones") << "latebad" << 8 << ":5001: \"zz\" is not hexadecimal.";
    QTest::newRow("a line longer than the limit") << "longline" << 8 << ":1: a line longer than 1048576 bytes";
    // Ended by Ctrl-C with nothing received: the monitor's own code for a silent box.
    QTest::newRow("a stale lock") << "stalelock" << 12 << "which is gone; the device is taken over";
    QTest::newRow("a link to a device in use") << "link" << 5 << "is busy";
    QTest::newRow("file names that are not UTF-8") << "bytes" << 0 << "";
    QTest::newRow("Ctrl-C caught before the plugin is loaded") << "early" << 6 << "is not a shared library";
    QTest::newRow("a pipe with no reader as the output") << "fifo" << 10 << "a pipe that nobody reads";
    QTest::newRow("two runs to one file at once") << "two" << 0 << "";
    // Whoever started the tool closed its output: what it writes is lost, not taken for Ctrl-C.
    QTest::newRow("standard output closed") << "closedout" << 0 << "";
    QTest::newRow("standard input closed, read as the capture") << "closedin" << 13 << "standard input: it was closed";
}

void tst_Tool::nothingLostNothingStuck()
{
    QFETCH(QString, fault);
    QFETCH(int, exitCode);
    QFETCH(QString, says);
    QTemporaryDir dir;
    const QString target = dir.filePath("keep.pcapng");
    QCOMPARE(run({"export", DataDir + "/drive.cap", "--pcapng", target}).exitCode, 0);
    const QByteArray earlier = readFile(target);
    QByteArray capture;
    for (int i = 0; i < 5000; ++i)
        capture += QByteArray::number(i * 0.002, 'f', 3) + " 2e f6 03 20 03 00 e3\n";
    const QString cap = dir.filePath("in.cap");
    Pty box;
    QProcess holder;
    QString command;
    QByteArray whole; // what a disk that fills keeps
    if (fault == QLatin1String("full")) {
        writeFile(cap, capture);
        // The size limit falls exactly on the end of a block: that block is whole, and kept.
        QCOMPARE(run({"export", cap, "--pcapng", dir.filePath("whole.pcapng")}).exitCode, 0);
        whole = readFile(dir.filePath("whole.pcapng"));
        qint64 end = 0;
        for (int block = 0; block < 1000; ++block)
            end += qFromLittleEndian<quint32>(whole.constData() + end + 4);
        whole.truncate(int(end));
        command = QStringLiteral("exec prlimit --fsize=%3 \"$0\" export %1 --pcapng %2").arg(cap, target).arg(end);
    } else if (fault == QLatin1String("latebad")) {
        writeFile(cap, capture + "10.500 2e zz\n");
        command = QStringLiteral("exec \"$0\" export %1 --pcapng %2").arg(cap, target);
    } else if (fault == QLatin1String("longline")) {
        writeFile(cap, "0.000 " + QByteArray(2 << 20, '2') + "\n");
        command = QStringLiteral("exec \"$0\" replay %1").arg(cap);
    } else if (fault == QLatin1String("stalelock")) {
        // Left by a run that was killed: its process is gone.
        QFile lock(lockFileOf(box.slave));
        if (!lock.open(QIODevice::WriteOnly))
            QSKIP("the lock folder takes no writing here; the tool's test runs as root in CI");
        lock.write(QByteArray::number(deadProcess()) + "\ncanservice\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        lock.close();
        command = QStringLiteral("exec \"$0\" monitor %1").arg(box.slave);
    } else if (fault == QLatin1String("bytes")) {
        // Linux takes any bytes in a name; these are Latin-1, which is not UTF-8.
        QVERIFY(QFile::copy(DataDir + "/cut.cap", dir.filePath("capture")));
        QVERIFY(::rename(qPrintable(dir.filePath("capture")), (dir.filePath("x").toUtf8() + "\xe9.cap").constData()) == 0);
        command = QStringLiteral("cd %1 && exec \"$0\" export \"$(printf 'x\\351.cap')\" --pcapng \"$(printf 'o\\351.pcapng')\"")
                          .arg(dir.path());
    } else if (fault == QLatin1String("fifo")) {
        const QString fifo = dir.filePath("out.pcapng");
        QVERIFY(::mkfifo(qPrintable(fifo), 0600) == 0);
        command = QStringLiteral("exec \"$0\" export %1/drive.cap --pcapng %2").arg(DataDir, fifo);
    } else if (fault == QLatin1String("closedin")) {
        command = QStringLiteral("exec \"$0\" replay - <&-");
    } else if (fault == QLatin1String("closedout")) {
        writeFile(cap, capture);
        command = QStringLiteral("exec \"$0\" replay %1 --json --frames >&-").arg(cap);
    } else if (fault == QLatin1String("two")) {
        // Each run writes a file of its own and renames it: the target is one run's whole output.
        writeFile(cap, capture);
        command = QStringLiteral("\"$0\" export %1 --pcapng %2 & other=$!; \"$0\" export %1 --pcapng %2; mine=$?; "
                                 "wait $other; exit $((mine + $?))")
                          .arg(cap, target);
    } else if (fault == QLatin1String("early")) {
#if defined(__SANITIZE_ADDRESS__)
        // Twice in three parallel runs of the sanitizer build, the tool had not caught Ctrl-C 20 s
        // after it was started (alone, it has at once); the row holds in the plain build.
        QSKIP("the sanitizer build in a parallel run has not caught Ctrl-C in 20 s");
#endif
        // A plugin that is a pipe holds the tool at its very start, before any device is open.
        QVERIFY(::mkfifo(qPrintable(dir.filePath("plugin")), 0600) == 0);
        command = QStringLiteral("exec \"$0\" monitor %1 --plugin %2").arg(box.slave, dir.filePath("plugin"));
    } else {
        holder.start(Tool, {"monitor", box.slave});
        QVERIFY(!box.readUntil(1).isEmpty());
        QVERIFY(QFile::link(box.slave, dir.filePath("alias")));
        command = QStringLiteral("exec \"$0\" monitor %1").arg(dir.filePath("alias"));
    }
    QProcess process;
    process.start(QStringLiteral("/bin/sh"), {"-c", command, Tool});
    QVERIFY(process.waitForStarted());
    const bool interrupted = exitCode == 12;
    if (fault == QLatin1String("stalelock") || fault == QLatin1String("early")) {
        // The tool catches Ctrl-C (its process status says so) from its start, not once it runs.
        // Under the address sanitizer on a busy machine its start alone has taken over 5 s.
        const QString status = QStringLiteral("/proc/%1/status").arg(process.processId());
        QTRY_VERIFY_WITH_TIMEOUT(QString::fromLatin1(readFile(status)).contains(QRegularExpression(
                                         QStringLiteral("SigCgt:\\s*[0-9a-f]*[2367abef]\\n"))), 20000);
        if (fault == QLatin1String("early")) {
            QFile plugin(dir.filePath("plugin"));
            QVERIFY(plugin.open(QIODevice::WriteOnly));
            plugin.write("not a plugin");
        } else {
            QVERIFY(!box.readUntil(1).isEmpty());
            ::kill(pid_t(process.processId()), SIGINT);
        }
    }
    QVERIFY(process.waitForFinished(20000));
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY2(err.contains(says), qPrintable(err));
    if (interrupted)
        QVERIFY2(!QFile::exists(lockFileOf(box.slave)), "the lock is left behind");
    const QStringList partials = QDir(dir.path()).entryList({"keep.pcapng.*"}, QDir::Files);
    if (fault == QLatin1String("two")) {
        QCOMPARE(partials, QStringList());
        QCOMPARE(run({"export", cap, "--pcapng", dir.filePath("alone.pcapng")}).exitCode, 0);
        QCOMPARE(readFile(target), readFile(dir.filePath("alone.pcapng")));
    }
    if (fault == QLatin1String("full") || fault == QLatin1String("latebad")) {
        QCOMPARE(readFile(target), earlier);
        QCOMPARE(partials.size(), 1);
        QVERIFY2(err.contains(partials.at(0)), qPrintable(err));
        const int blocks = pcapngBlocks(readFile(dir.filePath(partials.at(0))));
        QVERIFY2(blocks > 2, qPrintable(QString::number(blocks)));
        if (fault == QLatin1String("latebad"))
            QCOMPARE(blocks, 2 + 2 * 5000); // every good frame and its acknowledgement
        else
            QCOMPARE(readFile(dir.filePath(partials.at(0))), whole);
    }
    if (fault == QLatin1String("bytes")) {
        QFile written;
        QVERIFY(written.open(::open((dir.filePath("o").toUtf8() + "\xe9.pcapng").constData(), O_RDONLY),
                             QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        QCOMPARE(pcapngBlocks(written.readAll()), 8);
    }
    // Ended as a user would end it, so that it takes its lock away: the next test's
    // pseudo-terminal may get the same name.
    holder.terminate();
    if (!holder.waitForFinished(5000))
        holder.kill();
}

// A version string is the box's to choose: one that would retitle a terminal and clear it, turn
// text around or run in a spreadsheet is shown as what it is.
void tst_Tool::theBoxsTextsAreShownNotObeyed_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QString>("shown");
    const QByteArray title("\x1b]0;owned\x07\x1b[2J");
    QTest::newRow("text view") << QStringList() << title << R"("\x1b]0;owned\x07\x1b[2J")";
    QTest::newRow("text view, DEL and C1") << QStringList() << QByteArray("a\x7f\xc2\x9b" "2J") << R"("a\x7f\u009b2J")";
    QTest::newRow("text view, text turned around") << QStringList() << QByteArray("ab\xe2\x80\xae" "cd\xe2\x81\xa9")
                                                   << R"("ab\u202ecd\u2069")";
    QTest::newRow("frame view") << QStringList{"--frames"} << title << R"("\x1b]0;owned\x07\x1b[2J")";
    QTest::newRow("JSON") << QStringList{"--json"} << QByteArray("\x1b\xc2\x9b\xe2\x80\xae")
                          << R"("value":"\u001b\u009b\u202e")";
    QTest::newRow("CSV, a formula") << QStringList{"--csv", "--signals", "CanBox.Version"} << QByteArray("=1+2")
                                    << ",'=1+2\r\n";
    QTest::newRow("CSV, a tab") << QStringList{"--csv", "--signals", "CanBox.Version"} << QByteArray("\tx")
                                << ",'\tx\r\n";
    QTest::newRow("CSV, a minus") << QStringList{"--csv", "--signals", "CanBox.Version"} << QByteArray("-1")
                                  << ",'-1\r\n";
}

void tst_Tool::theBoxsTextsAreShownNotObeyed()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, version);
    QFETCH(QString, shown);
    const QByteArray capture = "0.000 " + canbox::frame(canbox::in::Version, version).toHex(' ') + '\n';
    const Run r = run(QStringList{"replay", "-"} + options, 20000, capture);
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(shown), qPrintable(r.out));
    // Nothing a terminal obeys reaches it, but the line ends CSV's records have.
    QVERIFY2(!r.out.contains(QRegularExpression(QStringLiteral("[\\x00-\\x08\\x0b-\\x0c\\x0e-\\x1f\\x7f-\\x9f\\x{202e}]"))),
             qPrintable(r.out));
}

// A replay's CSV goes out in blocks; a live one's rows each as soon as their instant has passed,
// not when the next change or the end comes.
void tst_Tool::aLiveCsvRowComesAtOnce()
{
    Pty box;
    QProcess monitor;
    monitor.start(Tool, {"monitor", box.slave, "--csv", "--signals", "Vehicle.Speed"});
    QVERIFY(monitor.waitForStarted());
    QVERIFY(!box.readUntil(1).isEmpty()); // the handshake: it listens
    QVERIFY(box.send(QByteArray::fromHex("2ef603200300e3")));
    QString seen;
    QTRY_VERIFY_WITH_TIMEOUT((seen += QString::fromUtf8(monitor.readAllStandardOutput())).endsWith(QLatin1String(",50\r\n")),
                             2000);
    ::kill(pid_t(monitor.processId()), SIGINT);
    QVERIFY(monitor.waitForFinished(5000));
}

QTEST_GUILESS_MAIN(tst_Tool)
#include "tst_tool.moc"
