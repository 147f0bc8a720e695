// The receive model says what the plugin does with every byte: the two side by side, on chosen
// streams and on random bytes, random chunks and random gaps, agree on every acknowledgement,
// refusal, dispatched frame, box answer and receive time-out, to the millisecond.
#include "canboxreceive.h"
#include "servicefixture.h"
#include "simpleservice_access.h"
#include "testclock.h"

#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QtTest>

using namespace canservice;
using namespace testsupport;

namespace {
struct Chunk
{
    qint64 ms;
    QByteArray bytes;
};
using Schedule = QVector<Chunk>;

// "ms:hex ms:hex ..."
Schedule parseSchedule(const QString &text)
{
    Schedule schedule;
    for (const QString &part : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const int colon = part.indexOf(QLatin1Char(':'));
        schedule.append({part.left(colon).toLongLong(), QByteArray::fromHex(part.mid(colon + 1).toLatin1())});
    }
    return schedule;
}

QString kindName(canbox::ReceiveModel::Kind kind)
{
    const char *const names[] = {"accepted", "refused", "noise", "answer", "timeout", "open"};
    return QString::fromLatin1(names[kind]);
}

// The model's full account of an item.
QString describe(const canbox::ReceiveModel::Item &item)
{
    QString text = QStringLiteral("%1 %2 %3").arg(item.ms).arg(kindName(item.kind),
                                                  QString::fromLatin1(item.bytes.toHex()));
    if (item.resumed)
        text += QStringLiteral(" resumed:%1+%2").arg(item.stoppedMs).arg(item.lastBytes);
    if (item.swallowedHeader())
        text += QStringLiteral(" swallowed");
    if (item.size != item.bytes.size())
        text += QStringLiteral(" kept:%1/%2").arg(item.bytes.size()).arg(item.size);
    return text;
}

// What the receiver did, in the form both sides can give: "ms A id payload", "ms R", "ms S"
// (the link taken up), "ms T".
void account(const canbox::ReceiveModel::Item &item, QStringList *out)
{
    using M = canbox::ReceiveModel;
    switch (item.kind) {
    case M::Accepted:
        *out << QStringLiteral("%1 A %2 %3")
                        .arg(item.ms)
                        .arg(item.id())
                        .arg(QString::fromLatin1(item.bytes.mid(3, item.bytes.size() - 4).toHex()))
             << QStringLiteral("%1 S").arg(item.ms);
        break;
    case M::Refused:
        *out << QStringLiteral("%1 R").arg(item.ms);
        break;
    case M::BoxAnswer:
        *out << QStringLiteral("%1 S").arg(item.ms);
        break;
    case M::TimedOut:
        *out << QStringLiteral("%1 T").arg(item.ms);
        break;
    default:
        break;
    }
}

struct Run
{
    QStringList plugin;
    QStringList model;
    QStringList items;
};

// Delivers the schedule to a plugin on an in-process line, each chunk at its time on the capture
// clock, and feeds the model the same chunks at the same times.
Run runBoth(const Schedule &schedule)
{
    Run run;
    ServiceOnLine box;
    SimpleService &s = *box.service;
    Stopwatch clock;
    QObject::connect(box.line, &VirtualSerialLine::written, &s, [&](const QByteArray &bytes) {
        if (bytes == QByteArray(1, char(canbox::Accepted)))
            run.plugin << QStringLiteral("%1 A %2 %3")
                                  .arg(clock.elapsed())
                                  .arg(Access::parseId(s))
                                  .arg(QString::fromLatin1(Access::parseData(s).toHex()));
        else if (bytes == QByteArray(1, char(canbox::Refused)))
            run.plugin << QStringLiteral("%1 R").arg(clock.elapsed());
    });
    QObject::connect(&s, &CanServiceBase::notifyCanbusStatus, &s, [&](int status) {
        if (status == 3)
            run.plugin << QStringLiteral("%1 S").arg(clock.elapsed());
    });
    QObject::connect(&Access::parseOutTimer(s), &QTimer::timeout, &s,
                     [&] { run.plugin << QStringLiteral("%1 T").arg(clock.elapsed()); });

    canbox::ReceiveModel model;
    const auto sink = [&](const canbox::ReceiveModel::Item &item) {
        account(item, &run.model);
        run.items << describe(item);
    };
    QTimer next;
    next.setSingleShot(true);
    QEventLoop loop;
    int index = 0;
    QObject::connect(&next, &QTimer::timeout, &loop, [&] {
        const Chunk &chunk = schedule.at(index);
        box.receive(chunk.bytes);
        model.feed(chunk.bytes, clock.elapsed(), sink);
        if (++index == schedule.size()) {
            loop.quit();
            return;
        }
        next.start(int(schedule.at(index).ms - chunk.ms));
    });
    if (!schedule.isEmpty()) {
        next.start(int(schedule.first().ms));
        loop.exec();
    }
    // Long enough for a time-out the last chunk started.
    const qint64 end = clock.elapsed() + canbox::ReceiveModel::ReceiveTimeoutMs;
    runFor(int(canbox::ReceiveModel::ReceiveTimeoutMs));
    model.advance(end, sink);
    model.finish(end, sink);
    return run;
}

// Bytes a line may carry: good and bad frames, frames cut short, noise, headers, FF and F0.
QByteArray randomBytes(QRandomGenerator &random)
{
    const int kind = int(random.bounded(100));
    if (kind < 65 || (kind >= 95 && kind < 99)) {
        const int length = kind >= 95 ? 0 : int(random.bounded(1, 14));
        QByteArray payload(length, '\0');
        for (char &c : payload)
            c = char(random.bounded(256));
        QByteArray f = canbox::frame(quint8(random.bounded(256)), payload);
        if (kind >= 55 && kind < 60)
            f[f.size() - 1] = char(f.at(f.size() - 1) ^ (1 + random.bounded(255)));
        if (kind >= 60 && kind < 65)
            f.truncate(1 + int(random.bounded(f.size() - 1)));
        return f;
    }
    const char specials[] = {'\x2e', '\xff', '\xf0', '\x00'};
    QByteArray noise;
    const int count = 1 + int(random.bounded(5));
    for (int i = 0; i < count; ++i)
        noise += random.bounded(2) ? specials[random.bounded(4)] : char(random.bounded(256));
    return noise;
}

// A gap before the next chunk: mostly the line's rhythm, often near the receive time-out, exactly
// on it now and then, sometimes a silence long enough for the watchdog.
int randomGap(QRandomGenerator &random)
{
    const int kind = int(random.bounded(100));
    if (kind < 60)
        return int(random.bounded(0, 30));
    if (kind < 75)
        return int(random.bounded(470, 531));
    if (kind < 80)
        return 500;
    if (kind < 97)
        return int(random.bounded(531, 3000));
    return int(random.bounded(3000, 40000));
}

Schedule randomSchedule(QRandomGenerator &random, int chunks)
{
    Schedule schedule;
    QByteArray pending;
    qint64 ms = 0;
    while (schedule.size() < chunks) {
        ms += randomGap(random);
        if (random.bounded(20) == 0) {
            schedule.append({ms, QByteArray(1, '\xff')});
            continue;
        }
        while (pending.size() < 32)
            pending += randomBytes(random);
        const int size = 1 + int(random.bounded(qMin(24, pending.size())));
        schedule.append({ms, pending.left(size)});
        pending.remove(0, size);
    }
    return schedule;
}
} // namespace

class tst_ReceiveModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void describesWhatTheReceiverDid_data();
    void describesWhatTheReceiverDid();
    void agreesWithThePluginOnRandomLines();
};

void tst_ReceiveModel::initTestCase()
{
    QVERIFY2(Stopwatch::exact(), "runs on the capture clock only");
    // Neither side's log lines are read here.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false\ndefault.critical=false"));
}

void tst_ReceiveModel::describesWhatTheReceiverDid_data()
{
    QTest::addColumn<QString>("chunks");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("a frame cut off, completed 3 s later by the next frame's header")
            << "0:2ef603200300e3 200:2ef60340 3200:2ef603600600a0"
            << QStringList{"0 accepted 2ef603200300e3", "3200 refused 2ef603402ef603 resumed:200+3 swallowed",
                           "3200 noise 600600a0", "3700 timeout "};
    QTest::newRow("a frame split by a short gap is whole")
            << "0:2ef6 100:03200300 150:e3"
            << QStringList{"150 accepted 2ef603200300e3"};
    QTest::newRow("a frame whose rest comes exactly a time-out later is whole; a millisecond later, resumed")
            << "0:2ef60320 500:0300e3 600:2ef60320 1101:0300e3"
            << QStringList{"500 accepted 2ef603200300e3", "1101 accepted 2ef603200300e3 resumed:600+3"};
    QTest::newRow("a length of 0 swallows all until the time-out, which comes before a chunk due then")
            << "0:2ef6000102 100:0304 600:2ef603200300e3"
            << QStringList{"600 timeout 2ef60001020304", "600 accepted 2ef603200300e3"};
    QTest::newRow("later chunks do not restart the time-out")
            << "0:2ef600 100:01 400:02 599:03 600:2ef603200300e3"
            << QStringList{"600 timeout 2ef600010203", "600 accepted 2ef603200300e3"};
    QTest::newRow("a refused split frame leaves the time-out to end a later frame")
            << "0:2ef603 100:20030000 550:2ef6 600:03200300e3"
            << QStringList{"100 refused 2ef60320030000", "600 timeout 2ef6", "600 noise 03200300e3"};
    QTest::newRow("an accepted frame stops the time-out")
            << "0:2ef603 100:200300e3 550:2ef6 900:03200300e3"
            << QStringList{"100 accepted 2ef603200300e3", "900 accepted 2ef603200300e3"};
    QTest::newRow("FF: alone while idle an answer, else noise, or frame content")
            << "0:ff 10:00ff 20:2ef601 30:ff 40:09"
            << QStringList{"0 answer ff", "10 noise 00ff", "40 accepted 2ef601ff09"};
    QTest::newRow("a frame that never ends, and noise, keep their first bytes and count them all")
            << "0:2ef600 10:" + QString(10000, QLatin1Char('0')) + " 600:" + QStringLiteral("01").repeated(5000)
            << QStringList{"510 timeout 2ef600" + QString(2 * 4093, QLatin1Char('0')) + " kept:4096/5003",
                           "600 noise " + QStringLiteral("01").repeated(4096) + " kept:4096/5000"};
    QTest::newRow("noise around frames, and a frame open at the end, told then")
            << "0:0102f02ef603200300e3f0 5:2e"
            << QStringList{"0 noise 0102f0", "0 accepted 2ef603200300e3", "0 noise f0", "505 open 2e"};
}

void tst_ReceiveModel::describesWhatTheReceiverDid()
{
    QFETCH(QString, chunks);
    QFETCH(QStringList, items);
    const Run run = runBoth(parseSchedule(chunks));
    QCOMPARE(run.items, items);
    QCOMPARE(run.model, run.plugin);
}

void tst_ReceiveModel::agreesWithThePluginOnRandomLines()
{
    bool given = false;
    const quint32 seed = quint32(qEnvironmentVariableIntValue("RECEIVEMODEL_SEED", &given));
    const quint32 used = given ? seed : 20261206u;
    const int rounds = qMax(1, qEnvironmentVariableIntValue("RECEIVEMODEL_ROUNDS"));
    qInfo("seed %u (RECEIVEMODEL_SEED=N repeats a run, RECEIVEMODEL_ROUNDS=N runs N times as long)",
          used);
    QRandomGenerator random(used);
    int chunks = 0;
    int timeouts = 0;
    for (int round = 0; round < 10 * rounds; ++round) {
        const Schedule schedule = randomSchedule(random, 10000);
        const Run run = runBoth(schedule);
        QCOMPARE(run.model, run.plugin);
        chunks += schedule.size();
        timeouts += run.plugin.filter(QRegularExpression(QStringLiteral(" T$"))).size();
    }
    qInfo("%d chunks, %d receive time-outs, all agreed", chunks, timeouts);
    QVERIFY(timeouts > 100);
}

CANSERVICE_TEST_MAIN(tst_ReceiveModel)
#include "tst_receivemodel.moc"
