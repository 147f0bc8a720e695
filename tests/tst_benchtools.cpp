// The bench engineer's summaries of a capture, stats and plot, as a person runs them: their
// figures against replay's own frame view, health line and events, column by column.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString Tool = QStringLiteral(CANSERVICE_TOOL);
const QString DataDir = QStringLiteral(TEST_DATA_DIR);

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QString err;
};

Run run(const QStringList &arguments)
{
    QProcess process;
    process.start(Tool, arguments);
    Run result;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QList<QJsonObject> jsonLines(const QByteArray &out)
{
    QList<QJsonObject> records;
    for (const QByteArray &line : out.split('\n'))
        if (!line.isEmpty())
            records << QJsonDocument::fromJson(line).object();
    return records;
}

QString captureFile(const QTemporaryDir &dir, const QString &text)
{
    const QString path = dir.filePath(QStringLiteral("hand.cap"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toLatin1()) != text.size())
        return {};
    return path;
}
} // namespace

class TestBenchTools : public QObject
{
    Q_OBJECT

private slots:
    void statsAgreeWithReplay_data();
    void statsAgreeWithReplay();
    void statsColumns_data();
    void statsColumns();
    void plotSeriesAreReplayEvents_data();
    void plotSeriesAreReplayEvents();
    void plotWritesThePicture();
    void plotShowsEveryValueAPixelHolds();
    void plotErrors_data();
    void plotErrors();
};

void TestBenchTools::statsAgreeWithReplay_data()
{
    QTest::addColumn<QString>("capture");
    for (const char *name : {"drive.cap", "cut.cap", "silence.cap", "recorded.cap"})
        QTest::newRow(name) << DataDir + QLatin1Char('/') + QLatin1String(name);
}

// Totals as replay's health line counts them, and per identifier the frames and checksum errors
// of its frame view.
void TestBenchTools::statsAgreeWithReplay()
{
    QFETCH(QString, capture);
    const Run stats = run({QStringLiteral("stats"), QStringLiteral("--json"), capture});
    QCOMPARE(stats.exitCode, 0);
    const QJsonObject o = QJsonDocument::fromJson(stats.out).object();
    const Run replay = run({QStringLiteral("replay"), QStringLiteral("--json"), QStringLiteral("--frames"), capture});
    QCOMPARE(replay.exitCode, 0);

    QMap<int, int> frames, refused;
    QJsonObject health;
    for (const QJsonObject &r : jsonLines(replay.out)) {
        if (r.value("type") == QLatin1String("health"))
            health = r;
        if (r.value("type") == QLatin1String("frame") && r.value("direction") == QLatin1String("in")) {
            frames[r.value("id").toInt()] += r.value("kind") == QLatin1String("frame");
            refused[r.value("id").toInt()] += r.value("kind") == QLatin1String("bad-checksum");
        }
    }
    QVERIFY(!health.isEmpty());
    for (const char *key : {"framesAccepted", "checksumErrors", "cutFrames", "noiseBytes",
                            "receiveTimeouts", "linkLosses"})
        QCOMPARE(o.value(QLatin1String(key)).toInt(), health.value(QLatin1String(key)).toInt());
    QMap<int, int> statsFrames, statsRefused;
    for (const QJsonValue &m : o.value("messages").toArray()) {
        statsFrames[m[QStringLiteral("id")].toInt()] = m[QStringLiteral("frames")].toInt();
        statsRefused[m[QStringLiteral("id")].toInt()] = m[QStringLiteral("checksumErrors")].toInt();
    }
    for (auto it = frames.cbegin(); it != frames.cend(); ++it) {
        QCOMPARE(statsFrames.value(it.key()), it.value());
        QCOMPARE(statsRefused.value(it.key()), refused.value(it.key()));
    }
}

void TestBenchTools::statsColumns_data()
{
    QTest::addColumn<QString>("capture");
    QTest::addColumn<QString>("id"); // "" for the capture as a whole, "-" for a lost identifier
    QTest::addColumn<QString>("column");
    QTest::addColumn<double>("expected"); // NaN for null
    // Four speed frames at 0, 0.1, 0.35 and 1.35 s, a version at 0.2 s: the gaps and the rate
    // count accepted frames; a refused one in between is an error, not a frame.
    const QString timed = QStringLiteral("0.000 2e f6 03 20 03 00 e3\n0.100 2e f6 03 20 03 00 e3\n"
                                         "0.200 2e 30 02 41 42 4a\n0.300 2e f6 03 20 03 00 e4\n"
                                         "0.350 2e f6 03 20 03 00 e3\n1.350 2e f6 03 20 03 00 e3\n");
    const double nan = qQNaN();
    QTest::newRow("frames") << timed << "0xf6" << "frames" << 4.0;
    QTest::newRow("rate over the span") << timed << "0xf6" << "rate" << 4 / 1.35;
    QTest::newRow("shortest gap") << timed << "0xf6" << "shortestGap" << 0.1;
    QTest::newRow("longest gap") << timed << "0xf6" << "longestGap" << 1.0;
    QTest::newRow("one frame has no gap") << timed << "0x30" << "longestGap" << nan;
    QTest::newRow("checksum errors") << timed << "0xf6" << "checksumErrors" << 1.0;
    QTest::newRow("span") << timed << "" << "span" << 1.35;
    QTest::newRow("start") << QStringLiteral("2.500 2e 30 02 41 42 4a\n4.000\n") << "" << "start" << 2.5;
    QTest::newRow("a quiet end counts") << QStringLiteral("2.500 2e 30 02 41 42 4a\n4.000\n") << "" << "span" << 1.5;
    QTest::newRow("cut frame") << QStringLiteral("0.000 2e f6 03 20\n2.000 03 00 e3\n") << "0xf6" << "cutFrames" << 1.0;
    QTest::newRow("cut before the identifier") << QStringLiteral("0.000 2e 30 02 41 42 4a\n0.100 2e\n")
                                               << "-" << "cutFrames" << 1.0;
    QTest::newRow("noise bytes") << QStringLiteral("0.000 01 02 03\n0.100 2e 30 02 41 42 4a\n0.200 77\n")
                                 << "" << "noiseBytes" << 4.0;
    // The box's acknowledgements are its answers, not noise: beside a frame, in a chunk of their
    // own, or two in one chunk.
    const QString answers = QStringLiteral("0.000 ff 2e 30 02 41 42 4a f0\n0.100 ff\n0.200 ff ff\n0.300 ff 01\n");
    QTest::newRow("acknowledgements are not noise") << answers << "" << "noiseBytes" << 2.0;
    QTest::newRow("acknowledgements counted") << answers << "" << "boxAcknowledgements" << 5.0;
    QTest::newRow("receive time-out") << QStringLiteral("0.000 2e f6 03\n0.100 20\n1.000 2e 30 02 41 42 4a\n")
                                      << "" << "receiveTimeouts" << 1.0;
    QTest::newRow("dropped by the time-out") << QStringLiteral("0.000 2e f6 03\n0.100 20\n1.000 2e 30 02 41 42 4a\n")
                                             << "0xf6" << "cutFrames" << 1.0;
    QTest::newRow("link loss") << QStringLiteral("0.000 2e 30 02 41 42 4a\n40.000\n") << "" << "linkLosses" << 1.0;
    QTest::newRow("no link loss in 29 s") << QStringLiteral("0.000 2e 30 02 41 42 4a\n29.000\n") << "" << "linkLosses" << 0.0;
    // Without times, chunks follow each other at the line's rate: 6 bytes take 1.6 ms at 38400 baud.
    QTest::newRow("untimed: line rate") << QStringLiteral("2e 30 02 41 42 4a\n2e 30 02 41 42 4a\n")
                                        << "0x30" << "shortestGap" << 0.002;
}

void TestBenchTools::statsColumns()
{
    QFETCH(QString, capture);
    QFETCH(QString, id);
    QFETCH(QString, column);
    QFETCH(double, expected);
    QTemporaryDir dir;
    const Run stats = run({QStringLiteral("stats"), QStringLiteral("--json"), captureFile(dir, capture)});
    QCOMPARE(stats.exitCode, 0);
    QJsonObject o = QJsonDocument::fromJson(stats.out).object();
    if (!id.isEmpty()) {
        const QJsonValue wanted = id == QLatin1String("-") ? QJsonValue() : QJsonValue(id.mid(2).toInt(nullptr, 16));
        QJsonObject row;
        for (const QJsonValue &m : o.value("messages").toArray())
            if (m[QStringLiteral("id")] == wanted)
                row = m.toObject();
        QVERIFY2(!row.isEmpty(), qPrintable(QString::fromUtf8(stats.out)));
        o = row;
    }
    const QJsonValue value = o.value(column);
    if (qIsNaN(expected))
        QVERIFY2(value.isNull(), qPrintable(QString::fromUtf8(stats.out)));
    else
        QVERIFY2(qAbs(value.toDouble(-1) - expected) < 1e-9, qPrintable(QString::fromUtf8(stats.out)));
}

void TestBenchTools::plotSeriesAreReplayEvents_data()
{
    QTest::addColumn<QString>("capture");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<double>("end");
    const QStringList drive = {QStringLiteral("Vehicle.Speed"), QStringLiteral("Vehicle.Powertrain.CombustionEngine.Speed"),
                               QStringLiteral("Vehicle.Cabin.Door.Row1.DriverSide.IsOpen"),
                               QStringLiteral("Vehicle.Cabin.HVAC.Station.Row1.Driver.Temperature")};
    QTest::newRow("drive") << DataDir + QStringLiteral("/drive.cap") << drive << 3.0;
    QTest::newRow("cut") << DataDir + QStringLiteral("/cut.cap") << QStringList{QStringLiteral("Vehicle.Speed")} << 3.2;
    // A unit the box chooses, and a value that goes back to no reading.
    QTest::newRow("recorded") << DataDir + QStringLiteral("/recorded.cap")
                              << QStringList{QStringLiteral("CanBox.Trip.Distance1"), QStringLiteral("Vehicle.Speed"),
                                             QStringLiteral("CanBox.Parking.Rear.Left.Step")}
                              << 23.633;
}

// Every change the plot draws is an event of replay --json, at its time, with its value and
// unit, and none is missing.
void TestBenchTools::plotSeriesAreReplayEvents()
{
    QFETCH(QString, capture);
    QFETCH(QStringList, names);
    QFETCH(double, end);
    const Run plot = run({QStringLiteral("plot"), capture, QStringLiteral("--signals"), names.join(QLatin1Char(',')),
                          QStringLiteral("--series")});
    QCOMPARE(plot.exitCode, 0);
    const QJsonObject series = QJsonDocument::fromJson(plot.out).object();
    const Run replay = run({QStringLiteral("replay"), QStringLiteral("--json"), capture});
    QCOMPARE(replay.exitCode, 0);
    QMap<QString, QJsonArray> events;
    QMap<QString, QString> units;
    for (const QJsonObject &r : jsonLines(replay.out)) {
        if (r.value("type") != QLatin1String("event"))
            continue;
        events[r.value("name").toString()].append(QJsonArray{r.value("time"), r.value("value")});
        if (r.contains(QLatin1String("unit")))
            units[r.value("name").toString()] = r.value("unit").toString();
    }
    const QJsonArray drawn = series.value("signals").toArray();
    QCOMPARE(drawn.size(), names.size());
    int changes = 0;
    for (int i = 0; i < names.size(); ++i) {
        const QJsonObject s = drawn.at(i).toObject();
        QCOMPARE(s.value("name").toString(), names.at(i));
        QCOMPARE(s.value("changes").toArray(), events.value(names.at(i)));
        QCOMPARE(s.value("unit").toString(), units.value(names.at(i)));
        changes += s.value("changes").toArray().size();
    }
    QVERIFY(changes >= names.size());
    QCOMPARE(series.value("end").toDouble(), end);
}

void TestBenchTools::plotWritesThePicture()
{
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("speed.png"));
    const Run plot = run({QStringLiteral("plot"), DataDir + QStringLiteral("/drive.cap"), QStringLiteral("--signals"),
                          QStringLiteral("Vehicle.Speed,CanBox.Climate.IsAuto"), QStringLiteral("--png"), png,
                          QStringLiteral("--size"), QStringLiteral("640x300")});
    QCOMPARE(plot.exitCode, 0);
    QCOMPARE(plot.out, QByteArray());
    QImage image(png);
    QCOMPARE(image.size(), QSize(640, 300));
}

// Far more changes than pixels, and more than a series keeps whole: speed moves between 100 and 101
// km/h every frame, with a dip to 0 and a peak at 200 every 400 frames, one or two of each within
// every pixel column. Each column shows the whole span, not only its first and last values.
void TestBenchTools::plotShowsEveryValueAPixelHolds()
{
    QTemporaryDir dir;
    QByteArray capture;
    for (int i = 0; i < 200000; ++i) {
        const int kmh16 = (i % 400 == 30 ? 0 : i % 400 == 230 ? 200 : 100 + i % 2) * 16;
        const QByteArray body = QByteArray::fromHex("f603") + char(kmh16 & 0xFF) + char(kmh16 >> 8) + '\0';
        int sum = 0;
        for (const char c : body)
            sum += quint8(c);
        capture += QByteArray::number(i * 0.002, 'f', 3) + ' ' + (QByteArray("\x2e") + body + char(~sum & 0xFF)).toHex(' ') + '\n';
    }
    QFile file(dir.filePath(QStringLiteral("spikes.cap")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(capture) == capture.size());
    file.close();
    const QString png = dir.filePath(QStringLiteral("spikes.png"));
    const Run plot = run({QStringLiteral("plot"), file.fileName(), QStringLiteral("--signals"), QStringLiteral("Vehicle.Speed"),
                          QStringLiteral("--png"), png, QStringLiteral("--size"), QStringLiteral("640x240")});
    QCOMPARE(plot.exitCode, 0);
    const QImage image(png);
    // The line's colour, in the columns of the plotted span away from its ends.
    int full = 0, columns = 0;
    for (int x = 120; x < 580; ++x, ++columns) {
        int top = image.height(), bottom = -1;
        for (int y = 0; y < image.height(); ++y) {
            const QColor c = image.pixelColor(x, y);
            if (c.blue() > 150 && c.red() < 120) {
                top = qMin(top, y);
                bottom = qMax(bottom, y);
            }
        }
        full += bottom - top > 120;
    }
    QVERIFY2(full == columns, qPrintable(QStringLiteral("%1 of %2 columns show the whole span").arg(full).arg(columns)));
}

void TestBenchTools::plotErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QString drive = DataDir + QStringLiteral("/drive.cap");
    const QString png = QStringLiteral("--png=%1/p.png");
    QTest::newRow("unknown signal") << QStringList{drive, "--signals", "Vehicle.Speed,Vehicle.Sped", png} << 2
                                    << "no signal \"Vehicle.Sped\"";
    QTest::newRow("text signal") << QStringList{drive, "--signals", "CanBox.Version", png} << 2 << "is a text";
    QTest::newRow("an event") << QStringList{drive, "--signals", "CanBox.Key", png} << 2 << "CanBox.Key is an event";
    QTest::newRow("no signals") << QStringList{drive, png} << 2 << "needs --signals";
    QTest::newRow("no picture") << QStringList{drive, "--signals", "Vehicle.Speed"} << 2 << "--png FILE";
    QTest::newRow("bad size") << QStringList{drive, "--signals", "Vehicle.Speed", png, "--size", "640"} << 2 << "WIDTHxHEIGHT";
    QTest::newRow("too small") << QStringList{drive, "--signals", "Vehicle.Speed", png, "--size", "100x100"} << 2 << "WIDTHxHEIGHT";
    QTest::newRow("panes too low") << QStringList{drive, "--signals", "Vehicle.Speed,Vehicle.Speed", png, "--size", "400x150"}
                                   << 2 << "too few";
    QTest::newRow("no such folder") << QStringList{drive, "--signals", "Vehicle.Speed", "--png=%1/none/p.png"} << 10
                                    << "cannot write the picture";
    QTest::newRow("malformed capture") << QStringList{DataDir + "/malformed.cap", "--signals", "Vehicle.Speed", png}
                                       << 8 << "is not hexadecimal";
}

void TestBenchTools::plotErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTemporaryDir dir;
    for (QString &a : arguments)
        a.replace(QLatin1String("%1"), dir.path());
    const Run plot = run(QStringList{QStringLiteral("plot")} + arguments);
    QCOMPARE(plot.exitCode, exitCode);
    QVERIFY2(plot.err.contains(message), qPrintable(plot.err));
    // Nothing is left behind by a run that failed.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
}

QTEST_GUILESS_MAIN(TestBenchTools)
#include "tst_benchtools.moc"
