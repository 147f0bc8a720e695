// The serial line as the field has it: real pseudo-terminals that open, refuse, vanish and come
// back, under the host's port and under the service.
#include "configmanager.h"
#include "logcapture.h"
#include "pty.h"
#include "serialport.h"
#include "serialport_p.h"
#include "servicefixture.h"
#include "simpleservice.h"
#include "simpleservice_access.h"

#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <thread>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace canservice;
using namespace testsupport;

namespace {
// The host's warnings while it lives.
struct Warnings
{
    QStringList lines() const
    {
        QStringList out;
        for (const LogEntry &e : capture.entries())
            if (e.type == QtWarningMsg)
                out << e.message;
        return out;
    }
    LogCapture capture;
};

double cpuSeconds()
{
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
            + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
} // namespace

class tst_SerialLine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void openFailureIsNamed_data();
    void openFailureIsNamed();
    void lostDeviceIsReportedOnceAndWritesAreCounted();
    void stopCommandReachesTheBoxBeforeTheLineCloses_data();
    void stopCommandReachesTheBoxBeforeTheLineCloses();
    void queuedBytesLeaveBeforeTheLineCloses();
    void replugThroughALinkBringsTheBoxBack();
    void largeWritesLeaveOnceAndInOrder();

private:
    QTemporaryDir m_dir;
};

void tst_SerialLine::init()
{
    if (!Pty().isValid())
        QSKIP("this system gives no pseudo-terminal");
}

void tst_SerialLine::openFailureIsNamed_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("systemError");

    QTest::newRow("not configured") << QString() << int(SerialPort::NotConfiguredError) << 0;
    QTest::newRow("missing") << m_dir.filePath("ttyUSB9") << int(SerialPort::DeviceNotFoundError)
                             << ENOENT;
    QTest::newRow("directory") << m_dir.path() << int(SerialPort::NotSerialDeviceError) << EISDIR;
    QTest::newRow("regular file") << m_dir.filePath("file") << int(SerialPort::NotSerialDeviceError)
                                  << ENOTTY;
    QTest::newRow("character device that is no terminal")
            << QStringLiteral("/dev/null") << int(SerialPort::NotSerialDeviceError) << ENOTTY;
    // Held by a program that took its lock: the lock names it.
    QTest::newRow("busy") << QStringLiteral("busy") << int(SerialPort::BusyError) << 0;
    QTest::newRow("no permission") << QStringLiteral("forbidden") << int(SerialPort::PermissionError)
                                   << EACCES;
}

void tst_SerialLine::openFailureIsNamed()
{
    QFETCH(QString, device);
    QFETCH(int, error);
    QFETCH(int, systemError);

    QFile(m_dir.filePath("file")).open(QIODevice::WriteOnly);
    Pty pty;
    QSerialPort holder;
    if (device == QLatin1String("busy")) {
        holder.setPortName(pty.slave);
        QVERIFY(holder.open(QIODevice::ReadWrite));
        device = pty.slave;
    } else if (device == QLatin1String("forbidden")) {
        if (::geteuid() == 0)
            QSKIP("root opens any device; the tool's test runs this case as another user");
        QVERIFY(::chmod(qPrintable(pty.slave), 0) == 0);
        device = pty.slave;
    }
    ConfigManager::instance()->setSerialDevice(QString());

    Warnings warnings;
    SerialPort port;
    QSignalSpy errors(&port, &SerialPort::errorOccurred);
    QVERIFY(!port.open(device, 38400));
    QCOMPARE(int(port.error()), error);
    QCOMPARE(errors.count(), 1);
    if (systemError)
        QCOMPARE(port.errorString(), systemText(systemError));
    else if (error == int(SerialPort::BusyError))
        QVERIFY2(port.errorString().startsWith(
                         QStringLiteral("process %1 (tst_serialline) of user ").arg(QCoreApplication::applicationPid())),
                 qPrintable(port.errorString()));
    QVERIFY2(warnings.lines().size() == 1, qPrintable(warnings.lines().join('|')));
    const QString expectedName = device.isEmpty() ? QStringLiteral("CANSERVICE_SERIAL_DEVICE") : device;
    QVERIFY2(warnings.lines().at(0).contains(expectedName), qPrintable(warnings.lines().at(0)));
    QCOMPARE(port.writeData(QByteArray::fromHex("2e"), false), qint64(-1));
}


void tst_SerialLine::lostDeviceIsReportedOnceAndWritesAreCounted()
{
    auto pty = std::make_unique<Pty>();
    // Through a link that goes with the device, as udev's does: the number of a closed terminal
    // is soon another program's.
    const QString link = m_dir.filePath("lost-canbox");
    QVERIFY(QFile::link(pty->slave, link));
    SerialPort port;
    QVERIFY(port.open(link, 38400));
    QSignalSpy state(&port, &SerialPort::lineStateChanged);
    QSignalSpy dropped(&port, &SerialPort::dropped);

    Warnings warnings;
    // The far end going away is what a pulled USB adapter looks like to the line.
    pty->close();
    QFile::remove(link);
    QTRY_VERIFY_WITH_TIMEOUT(!port.isOpen(), 5000);
    QCOMPARE(state.count(), 1);
    QCOMPARE(state.at(0).at(0).toBool(), false);
    QCOMPARE(port.error(), SerialPort::DeviceLostError);
    QVERIFY(!port.errorString().isEmpty());
    QCOMPARE(SerialPortPrivate::get(&port)->lineLosses, 1);
    QCOMPARE(warnings.lines().size(), 1);
    QVERIFY2(warnings.lines().at(0).contains(link), qPrintable(warnings.lines().at(0)));

    QCOMPARE(port.writeData(QByteArray::fromHex("2e8101017c"), false), qint64(-1));
    QCOMPARE(port.droppedWrites(), qint64(1));
    QCOMPARE(dropped.count(), 1);
    QCOMPARE(dropped.at(0).at(0).toByteArray(), QByteArray::fromHex("2e8101017c"));
    QTest::qWait(300);
    QCOMPARE(warnings.lines().size(), 1);
    QCOMPARE(state.count(), 1);

    // Closing on purpose ends the retries and is no loss; later writes are not counted.
    port.close();
    port.writeData(QByteArray::fromHex("2e"), false);
    QCOMPARE(port.droppedWrites(), qint64(1));
}

void tst_SerialLine::stopCommandReachesTheBoxBeforeTheLineCloses_data()
{
    QTest::addColumn<bool>("inASlot");
    QTest::newRow("stopped by the head unit") << false;
    // A head unit that stops on what a frame says: the stop is written while the line is still
    // handling the chunk that carried the frame.
    QTest::newRow("stopped in a slot, while a frame is handled") << true;
}

void tst_SerialLine::stopCommandReachesTheBoxBeforeTheLineCloses()
{
    QFETCH(bool, inASlot);
    Pty box;
    ConfigManager::instance()->setSerialDevice(box.slave);
    SimpleService service;
    service.start();
    const QByteArray handshake = QByteArray::fromHex("2e8101007d2e8101017c2e90026aff042e900230ff3e2e6c02a315d9");
    QCOMPARE(box.readUntil(handshake.size()), handshake);

    QByteArray expected = QByteArray::fromHex("2e8101007d");
    if (inASlot) {
        bool stopped = false;
        connect(&service, &CanServiceBase::speedChanged, &service, [&] {
            service.stop();
            stopped = true;
        });
        QVERIFY(box.send(QByteArray::fromHex("2ef603081000ee")));
        // The frame's acknowledgement, then the stop command.
        expected.prepend('\xff');
        QTRY_VERIFY(stopped);
    } else {
        // No event loop between the write and the close: the write has to leave within stop().
        service.stop();
    }
    bool closed = false;
    QCOMPARE(box.readUntil(100, &closed), expected);
    QVERIFY(closed);
}

// More than the pseudo-terminal holds, written with no event loop: the rest waits in the port's
// queue, and close() writes it out while the box reads.
void tst_SerialLine::queuedBytesLeaveBeforeTheLineCloses()
{
    Pty box;
    SerialPort port;
    QVERIFY(port.open(box.slave, 38400));
    QByteArray sent;
    for (int i = 0; i < 256 * 1024; ++i)
        sent.append(char(i * 7 + i / 251));
    for (int at = 0; at < sent.size(); at += 1024)
        QVERIFY(port.writeData(sent.mid(at, 1024), false) >= 0);

    QByteArray received;
    std::thread reader([&] {
        QElapsedTimer clock;
        clock.start();
        while (received.size() < sent.size() && clock.elapsed() < 3000) {
            received += box.readAvailable();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    LogCapture log;
    port.close();
    reader.join();
    QCOMPARE(received.size(), sent.size());
    QVERIFY(received == sent);
    QVERIFY(log.entries().isEmpty());
}

void tst_SerialLine::replugThroughALinkBringsTheBoxBack()
{
    // udev's by-id link: a stable name whose target changes when the adapter comes back.
    const QString link = m_dir.filePath("by-id-canbox");
    const auto pointLinkAt = [&](const QString &target) {
        const QString next = link + QStringLiteral(".new");
        QFile::remove(next);
        QVERIFY(QFile::link(target, next));
        QVERIFY(::rename(qPrintable(next), qPrintable(link)) == 0);
    };
    auto boxA = std::make_unique<Pty>();
    pointLinkAt(boxA->slave);

    ConfigManager::instance()->setSerialDevice(link);
    Warnings warnings;
    // The head unit is handed the port the service opens on the configured device.
    SerialPort *watched = nullptr;
    ConfigManager::instance()->setPortWatcher([&watched](SerialPort *port) { watched = port; });
    SimpleService service;
    ConfigManager::instance()->setPortWatcher(nullptr);
    QCOMPARE(watched, &Access::serialPort(service));
    QSignalSpy state(watched, &SerialPort::lineStateChanged);
    QSignalSpy version(&service, &CanServiceBase::sigVersionData);

    // Unplugged: the adapter and its link go. (Left in place, the link could lead to a terminal
    // another program opened since under the same number.)
    boxA->close();
    QFile::remove(link);
    QTRY_COMPARE_WITH_TIMEOUT(state.count(), 1, 5000);
    QCOMPARE(state.at(0), QVariantList{false});

    // Missing for a while: the retries wait, they do not spin.
    const double cpuBefore = cpuSeconds();
    QElapsedTimer missing;
    missing.start();
    QTest::qWait(2000);
    const double cpuUsed = cpuSeconds() - cpuBefore;
    QVERIFY2(cpuUsed < 0.1 * missing.elapsed() / 1000.0,
             qPrintable(QStringLiteral("%1 s of CPU while the device was missing").arg(cpuUsed)));

    Pty boxB;
    pointLinkAt(boxB.slave);
    // The attempts come 0.25, 0.75, 1.75 and 3.75 s after the loss, the delay doubling: the link
    // back after 2 s is found by the one at 3.75 s, at most one step (two seconds) later.
    QTRY_COMPARE_WITH_TIMEOUT(state.count(), 2, 5000);
    QVERIFY2(missing.elapsed() >= 3000, qPrintable(QString::number(missing.elapsed())));
    QCOMPARE(state.at(1), QVariantList{true});
    QCOMPARE(warnings.lines().size(), 1);

    const QByteArray frame = testsupport::frame(0x30, "BOX B 2.0");
    QVERIFY(boxB.send(frame));
    QTRY_COMPARE_WITH_TIMEOUT(version.count(), 1, 5000);
    QCOMPARE(service.version(), QStringLiteral("BOX B 2.0"));
    // The acknowledgement, among whatever the service's retries sent to the new box.
    QTest::qWait(100);
    QByteArray written = boxB.readAvailable();
    for (const char *frameHex : {"2e8101007d", "2e8101017c", "2e900230ff3e"})
        written.replace(QByteArray::fromHex(frameHex), QByteArray());
    QCOMPARE(written, QByteArray::fromHex("ff"));
}

// More than the pseudo-terminal takes at once: the descriptor takes part, the port queues the
// rest behind it, and the box reads every byte once, in order.
void tst_SerialLine::largeWritesLeaveOnceAndInOrder()
{
    Pty box;
    SerialPort port;
    QVERIFY(port.open(box.slave, 38400));
    QByteArray data;
    for (int i = 0; i < 20000; ++i)
        data.append(char(i * 7 + i / 256));
    QCOMPARE(port.writeData(data, false), qint64(data.size()));
    QCOMPARE(port.writeData(QByteArray::fromHex("ff"), true), qint64(1));
    const QByteArray read = box.readUntil(data.size() + 1);
    QCOMPARE(read.size(), data.size() + 1);
    QVERIFY(read == data + QByteArray::fromHex("ff"));
}

QTEST_GUILESS_MAIN(tst_SerialLine)
#include "tst_serialline.moc"
