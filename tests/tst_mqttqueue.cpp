// The queue of changes on their way to a broker, on a real folder: order, what a run leaves to the
// next, a record cut short by a kill, the bound.
#include "mqttqueue.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using tool::MqttQueue;

class tst_MqttQueue : public QObject
{
    Q_OBJECT

private slots:
    void whatIsNotAcknowledgedComesAgainInOrder();
    void aRecordCutShortIsCutOff();
    void theBoundDropsTheOldestAndCountsThem();
};

namespace {
QByteArray payload(int i)
{
    return QByteArray::number(i).rightJustified(100, '.');
}

// Every record the queue hands out from here on, as their numbers.
QList<int> drain(MqttQueue &queue)
{
    QList<int> numbers;
    MqttQueue::Record record;
    while (queue.next(&record)) {
        numbers << record.payload.mid(record.payload.lastIndexOf('.') + 1).toInt();
        if (record.topic != "car/" + QByteArray::number(numbers.last()))
            numbers << -1;
    }
    return numbers;
}

QList<int> range(int from, int to)
{
    QList<int> numbers;
    for (int i = from; i < to; ++i)
        numbers << i;
    return numbers;
}
} // namespace

// Handed out and not acknowledged: again after a rewind (a lost connection), and again in the
// next run; acknowledged: never again, in this run or the next. Across segments.
void tst_MqttQueue::whatIsNotAcknowledgedComesAgainInOrder()
{
    QTemporaryDir dir;
    {
        MqttQueue queue;
        QString error;
        QVERIFY2(queue.open(dir.path(), 64 << 10, &error), qPrintable(error)); // segments of 8 KiB
        for (int i = 0; i < 300; ++i)
            queue.append("car/" + QByteArray::number(i), payload(i));
        QCOMPARE(drain(queue), range(0, 300));
        QCOMPARE(queue.handedOut(), 300);
        for (int i = 0; i < 120; ++i)
            queue.acknowledge();
        QCOMPARE(queue.waiting(), 180);
        queue.rewind();
        QCOMPARE(drain(queue), range(120, 300));
        for (int i = 0; i < 30; ++i)
            queue.acknowledge();
        QVERIFY(QDir(dir.path()).entryList({"*.q"}).size() > 1);
    }
    MqttQueue again;
    QString error;
    QVERIFY2(again.open(dir.path(), 64 << 10, &error), qPrintable(error));
    QCOMPARE(again.waiting(), 150);
    again.append("car/300", payload(300));
    QCOMPARE(drain(again), range(150, 301));
    // The segments before the acknowledged ones are gone from the folder.
    for (int i = 0; i < 151; ++i)
        again.acknowledge();
    QCOMPARE(again.waiting(), 0);
    QCOMPARE(QDir(dir.path()).entryList({"*.q"}).size(), 1);
}

// A run killed in the middle of a write leaves half a record: the next run cuts it off and goes on
// after the whole ones.
void tst_MqttQueue::aRecordCutShortIsCutOff()
{
    QTemporaryDir dir;
    {
        MqttQueue queue;
        QString error;
        QVERIFY(queue.open(dir.path(), 1 << 20, &error));
        for (int i = 0; i < 3; ++i)
            queue.append("car/" + QByteArray::number(i), payload(i));
    }
    QFile segment(dir.filePath(QDir(dir.path()).entryList({"*.q"}).first()));
    QVERIFY(segment.open(QIODevice::ReadWrite));
    QVERIFY(segment.resize(segment.size() - 10));
    segment.close();
    MqttQueue queue;
    QString error;
    QVERIFY(queue.open(dir.path(), 1 << 20, &error));
    QCOMPARE(queue.waiting(), 2);
    queue.append("car/3", payload(3));
    QCOMPARE(drain(queue), QList<int>({0, 1, 3}));
}

// Past the bound, whole segments go, the oldest first, and are counted; what was handed out from
// them is of nothing (the epoch moves), and the rest comes from the new start.
void tst_MqttQueue::theBoundDropsTheOldestAndCountsThem()
{
    QTemporaryDir dir;
    MqttQueue queue;
    QString error;
    QVERIFY(queue.open(dir.path(), 32 << 10, &error)); // segments of 4 KiB: 37 records of 110 bytes
    for (int i = 0; i < 10; ++i)
        queue.append("car/" + QByteArray::number(i), payload(i));
    MqttQueue::Record record;
    QVERIFY(queue.next(&record));
    const int epoch = queue.epoch();
    for (int i = 10; i < 1000; ++i)
        queue.append("car/" + QByteArray::number(i), payload(i));
    QVERIFY(queue.dropped() > 0);
    QCOMPARE(queue.waiting() + queue.dropped(), 1000);
    QVERIFY(queue.epoch() != epoch);
    QCOMPARE(queue.handedOut(), 0);
    QCOMPARE(drain(queue), range(int(queue.dropped()), 1000));
    qint64 bytes = 0;
    for (const QFileInfo &file : QDir(dir.path()).entryInfoList({"*.q"}))
        bytes += file.size();
    QVERIFY2(bytes <= (32 << 10) + 4096, qPrintable(QString::number(bytes)));
}

QTEST_GUILESS_MAIN(tst_MqttQueue)
#include "tst_mqttqueue.moc"
