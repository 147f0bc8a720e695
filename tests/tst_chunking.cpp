// However a stream is cut into chunks, the service hears the same thing: the same
// acknowledgements, the same frames dispatched, the same signals and the same final state. And
// the tools' vehicle state, which reads again only the values whose fields changed, is after every
// signal what reading everything would give.
#include "logcapture.h"
#include "servicefixture.h"
#include "signalrecorder.h"
#include "vehiclesnapshot.h"
#include "vehiclestate.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace canservice;
using namespace testsupport;

namespace {
// Identifiers with the payload lengths their decoders accept.
const QList<QPair<int, QList<int>>> Messages = {
    {0x09, {9}},  {0x11, {10}}, {0x16, {17}}, {0x17, {17}},   {0x20, {2}}, {0x22, {4}},
    {0x23, {6}},  {0x24, {5, 8}}, {0x25, {2}}, {0x29, {8, 5}}, {0x2F, {2}}, {0x30, {3, 9}},
    {0x40, {4}},  {0x41, {3}},  {0x48, {5}},  {0x50, {6}},    {0x65, {2}}, {0x67, {2}},
    {0x68, {2}},  {0x85, {1}},  {0x95, {2}},  {0xF2, {2}},    {0xF3, {1}}, {0xF6, {3}},
    {0xFF, {2}},  {0xC8, {4}},
};

QByteArray randomStream(QRandomGenerator &random)
{
    QByteArray stream;
    const int parts = 5 + int(random.bounded(30));
    for (int p = 0; p < parts; ++p) {
        const int kind = int(random.bounded(10));
        if (kind < 6 || kind == 9) {
            const auto &message = Messages.at(int(random.bounded(Messages.size())));
            // Mostly an accepted length, sometimes one the decoder drops.
            int length = message.second.at(int(random.bounded(message.second.size())));
            if (random.bounded(5) == 0)
                length = 1 + int(random.bounded(20));
            QByteArray payload(length, '\0');
            for (char &c : payload)
                c = char(random.bounded(256));
            if (message.first == 0x41 && random.bounded(2))
                payload[0] = 3;
            // Few speeds, so that the unit often changes while the speed stays.
            if (message.first == 0xF6 && length == 3)
                payload = QByteArray(1, char(random.bounded(2))) + '\0' + payload.at(2);
            if (message.first == 0x20 || message.first == 0x11)
                payload[message.first == 0x20 ? 1 : 3] = char(random.bounded(2));
            QByteArray f = frame(message.first, payload);
            if (kind == 9)
                f[f.size() - 1] = char(f.at(f.size() - 1) ^ (1 + random.bounded(255)));
            stream += f;
        } else {
            const int count = 1 + int(random.bounded(4));
            for (int i = 0; i < count; ++i)
                stream += char(random.bounded(256));
        }
    }
    return stream;
}

struct Heard
{
    QByteArray acknowledgements;
    QStringList dispatched;
    QStringList signals_;
    tool::VehicleSnapshot state;
    QString stale; // the first catalogue value the tools' state had wrong after a signal

    bool operator==(const Heard &o) const
    {
        return acknowledgements == o.acknowledgements && dispatched == o.dispatched
                && signals_ == o.signals_ && state == o.state;
    }
};

// Feeds the chunks to a new service, with no event loop in between: well within the receive
// time-out, and no key is held long enough for a long press.
Heard feed(const QList<QByteArray> &chunks)
{
    ServiceOnLine box;
    SignalRecorder recorder(box.service.get());
    LogCapture log;
    Heard heard;
    tool::VehicleState kept(box.service.get());
    for (int bit = 0; bit < tool::HeardSignals::EmergencyCall; ++bit)
        QObject::connect(box.service.get(), tool::HeardSignals::changeSignal(tool::HeardSignals::Bit(bit)),
                         &kept, [&] {
                             const auto all = tool::SignalCatalogue::read(tool::VehicleSnapshot::read(*box.service));
                             for (int i = 0; i < all.size() && heard.stale.isEmpty(); ++i)
                                 if (all.at(i) != kept.readings().at(i))
                                     heard.stale = tool::SignalCatalogue::vehicleSignals().at(i).name + ": "
                                             + kept.readings().at(i).text() + " instead of " + all.at(i).text();
                         });
    for (const QByteArray &chunk : chunks)
        box.receive(chunk);
    heard.acknowledgements = box.recorder->writtenBytes();
    heard.dispatched = log.items().filter(QRegularExpression(QStringLiteral("^id: \\d+$")));
    // A chunk that happens to be a lone FF is the box's answer: only the link status may differ.
    heard.signals_ = recorder.events.filter(QRegularExpression(QStringLiteral("^(?!notifyCanbusStatus)")));
    heard.state = tool::VehicleSnapshot::read(*box.service);
    return heard;
}

QList<QByteArray> cutAt(const QByteArray &stream, QList<int> points)
{
    std::sort(points.begin(), points.end());
    QList<QByteArray> chunks;
    int from = 0;
    for (int p : points) {
        chunks << stream.mid(from, p - from);
        from = p;
    }
    chunks << stream.mid(from);
    return chunks;
}
} // namespace

class tst_Chunking : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, true); }
    void randomStreamsHoweverCut();
};

void tst_Chunking::randomStreamsHoweverCut()
{
    // A fixed seed in CI, so a failure there repeats; a new one for every local run.
    const quint32 seed = qEnvironmentVariableIsSet("CHUNKING_SEED")
            ? quint32(qEnvironmentVariableIntValue("CHUNKING_SEED"))
            : qEnvironmentVariableIsSet("CI") ? 20261205u : QRandomGenerator::global()->generate();
    qInfo("seed %u (CHUNKING_SEED=%u repeats this run)", seed, seed);
    QRandomGenerator random(seed);
    int answered = 0;
    for (int round = 0; round < 150; ++round) {
        const QByteArray stream = randomStream(random);
        const Heard whole = feed({stream});
        answered += !whole.acknowledgements.isEmpty();
        QVERIFY2(whole.stale.isEmpty(), qPrintable(whole.stale + " after " + stream.toHex()));

        QList<QByteArray> bytes;
        for (const char c : stream)
            bytes << QByteArray(1, c);
        QVERIFY2(feed(bytes) == whole, qPrintable(QString::fromLatin1(stream.toHex())));

        for (int attempt = 0; attempt < 4; ++attempt) {
            QList<int> points;
            const int count = 1 + int(random.bounded(12));
            for (int i = 0; i < count; ++i)
                points << int(random.bounded(stream.size() + 1));
            QVERIFY2(feed(cutAt(stream, points)) == whole,
                     qPrintable(QString::fromLatin1(stream.toHex())));
        }
    }
    // Noise can swallow a stream whole, but most carry frames that were answered.
    QVERIFY(answered > 100);

    // A value that reads more fields on another branch: the left temperature reads the block's
    // unit only in manual mode; there the unit alone changes.
    QByteArray climate; // byte 4: automatic, manual in Celsius, manual in Fahrenheit
    for (const char *block : {"0000280000002800", "0000280008002800", "0000280048002800"})
        climate += frame(0x29, QByteArray::fromHex(block));
    const Heard branches = feed({climate});
    QVERIFY2(branches.stale.isEmpty(), qPrintable(branches.stale));
}

QTEST_GUILESS_MAIN(tst_Chunking)
#include "tst_chunking.moc"
