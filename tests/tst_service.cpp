// The service object as constructed, and the shape of its log lines.
#include "logcapture.h"
#include "servicefixture.h"
#include "simpleservice_access.h"
#include "simpleservice_log.h"
#include "translator.h"

#include <QtTest>

#include <cstring>
#include <limits>

#include <sys/syscall.h>
#include <unistd.h>

using namespace canservice;
using namespace testsupport;

class tst_Service : public QObject
{
    Q_OBJECT

private slots:
    void constructedIdleOnAnOpenLine();
    void frameBeforeStartIsAnsweredAndTakesTheLinkUp();
    void logLineShape_data();
    void logLineShape();
    void disabledDebugCostsNoFormatting();
    void itemsReadAsQDebugWritesThem();
    void floatsReadAsQDebugWritesThem();
    void lineLoggedWhileALineIsHandledLeavesItAlone();
};

void tst_Service::constructedIdleOnAnOpenLine()
{
    ServiceOnLine box;
    SimpleService &s = *box.service;
    QVERIFY(box.line);
    QVERIFY(box.line->isOpen());
    QCOMPARE(box.line->baudRate(), 38400);
    QVERIFY(box.recorder->writes().isEmpty());

    QCOMPARE(Access::parseState(s), 0);
    for (QTimer *timer : {&Access::parseOutTimer(s), &Access::checkConnectTimer(s),
                          &Access::requestConnectTimer(s), &Access::sendTimer(s),
                          &Access::longPressTimer(s)})
        QVERIFY(!timer->isActive());
    QVERIFY(s.parent() == nullptr);
}

void tst_Service::frameBeforeStartIsAnsweredAndTakesTheLinkUp()
{
    ServiceOnLine box;
    QSignalSpy status(box.service.get(), &CanServiceBase::notifyCanbusStatus);
    box.receive(hex("2e41020300b9"));
    QCOMPARE(box.takeWrites(), QStringList{"ff/true"});
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toInt(), 3);
    QVERIFY(Access::checkConnectTimer(*box.service).isActive());
}

void tst_Service::logLineShape_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("items");

    QTest::newRow("accepted frame") << hex("2e41020300b9") << int(QtDebugMsg)
                                    << "void canservice::SimpleService::onDataReady(QByteArray)"
                                    << "id: 65";
    QTest::newRow("checksum error") << hex("2e41020300b8") << int(QtCriticalMsg)
                                    << "void canservice::SimpleService::onDataReady(QByteArray)"
                                    << "checksum err!";
    QTest::newRow("decoder") << hex("2ef603081000ee") << int(QtDebugMsg)
                             << "void canservice::SimpleService::doSpeed(int, QByteArray&)"
                             << "-- 3 08 10 00";
}

void tst_Service::logLineShape()
{
    QFETCH(QByteArray, chunk);
    QFETCH(int, type);
    QFETCH(QString, function);
    QFETCH(QString, items);

    ServiceOnLine box;
    LogCapture log;
    box.receive(chunk);

    const long tid = static_cast<long>(::syscall(SYS_gettid));
    bool found = false;
    for (const LogEntry &e : log.entries()) {
        if (!e.message.endsWith(QLatin1String(" -- ") + items))
            continue;
        found = true;
        QCOMPARE(int(e.type), type);
        QCOMPARE(e.category, QStringLiteral("default"));
        QCOMPARE(e.file, QStringLiteral("simpleservice"));
        QCOMPARE(e.function, function);
        QVERIFY(e.line > 0);
        const QString level = type == QtDebugMsg ? QStringLiteral("[DBG]") : QStringLiteral("[ERR]");
        QCOMPARE(e.message,
                 QStringLiteral("%1 %2 %3 %4 -- %5").arg(level).arg(tid).arg(function).arg(e.line).arg(items));
    }
    QVERIFY2(found, qPrintable(log.items().join(QLatin1Char('\n'))));
}

void tst_Service::disabledDebugCostsNoFormatting()
{
    ServiceOnLine box;
    LogCapture log;
    QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, false);

    int evaluated = 0;
    SS_DBG(++evaluated);
    QCOMPARE(evaluated, 0);

    // The receive path and a decoder log nothing, but errors still come through.
    box.receive(hex("2ef603081000ee2e41020300b8"));
    QCOMPARE(box.service->getSpeed(), 256.5f);
    QCOMPARE(log.entries().size(), 1);
    QCOMPARE(log.entries().at(0).type, QtCriticalMsg);

    QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, true);
    SS_DBG(++evaluated);
    QCOMPARE(evaluated, 1);
}

namespace {
// The text QDebug makes of the same items, unquoted: what the log lines have always looked like.
template<typename... Items>
QString viaQDebug(const Items &...items)
{
    QString text;
    {
        QDebug out(&text);
        out.noquote();
        (out << ... << items);
    }
    return text.endsWith(QLatin1Char(' ')) ? text.chopped(1) : text;
}

template<typename... Items>
QString viaHelper(const Items &...items)
{
    LogCapture log;
    canservice::logging::write(QtDebugMsg, 1, "f", QStringLiteral("f"), items...);
    const QString line = log.entries().value(0).message;
    return line.mid(line.indexOf(QLatin1String(" -- ")) + 4);
}
} // namespace

void tst_Service::itemsReadAsQDebugWritesThem()
{
    const QString path;
    QCOMPARE(viaHelper(1, -42, 0L, 2147483647), viaQDebug(1, -42, 0L, 2147483647));
    QCOMPARE(viaHelper(true, false), viaQDebug(true, false));
    QCOMPARE(viaHelper("--", "paraBuf.size(): ", 8), viaQDebug("--", "paraBuf.size(): ", 8));
    QCOMPARE(viaHelper(QStringLiteral("°F"), QByteArray("2e41")), viaQDebug(QStringLiteral("°F"), QByteArray("2e41")));
    for (ushort c : {0x05, 0x1f, 0x20, 0x41, 0x7f, 0xe9, 0x20ac})
        QCOMPARE(viaHelper(QChar(c), int(c)), viaQDebug(QChar(c), int(c)));
    QCOMPARE(viaHelper(path), viaQDebug(path));
    QCOMPARE(viaHelper("id:", 65), QStringLiteral("id: 65"));
}

// Every speed the box can send (sixteenths, where halves are rounded away from zero), negative
// values, and random bit patterns for what goes through Qt's own conversion.
void tst_Service::floatsReadAsQDebugWritesThem()
{
    QVector<float> values;
    for (int n = 0; n < 65536; ++n)
        values << n / 16.0f;
    for (int n = 1; n < 4096; ++n)
        values << -n / 32.0f;
    values << -0.0f << 1e-4f << 0.00012345678f << 999999.5f << 999994.5f << 123456.5f << 1e6f
           << 16777216.0f << std::numeric_limits<float>::infinity() << std::numeric_limits<float>::quiet_NaN();
    QRandomGenerator random(5);
    for (int i = 0; i < 10000; ++i) {
        const quint32 bits = random.generate();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        values << f;
    }
    LogCapture log;
    for (float f : qAsConst(values))
        canservice::logging::write(QtDebugMsg, 1, "f", QStringLiteral("f"), f);
    const QStringList items = log.items();
    QCOMPARE(items.size(), values.size());
    for (int i = 0; i < values.size(); ++i) {
        if (items.at(i) != viaQDebug(values.at(i)))
            QFAIL(qPrintable(QStringLiteral("%1 written as %2, QDebug writes %3")
                                     .arg(double(values.at(i)), 0, 'g', 9)
                                     .arg(items.at(i), viaQDebug(values.at(i)))));
    }
}

namespace {
QStringList g_handled;
void loggingHandler(QtMsgType, const QMessageLogContext &, const QString &message)
{
    const QString before = message;
    if (g_handled.isEmpty()) {
        g_handled << QString();
        canservice::logging::write(QtDebugMsg, 2, "g", QStringLiteral("g"), "inner");
    }
    g_handled << (message == before ? message : QStringLiteral("changed while handled"));
}
} // namespace

void tst_Service::lineLoggedWhileALineIsHandledLeavesItAlone()
{
    LogCapture enable;
    const QtMessageHandler previous = qInstallMessageHandler(loggingHandler);
    canservice::logging::write(QtDebugMsg, 1, "f", QStringLiteral("f"), "outer", 1);
    qInstallMessageHandler(previous);
    QCOMPARE(g_handled.size(), 2);
    QVERIFY2(g_handled.last().endsWith(QLatin1String("f 1 -- outer 1")), qPrintable(g_handled.last()));
}

QTEST_GUILESS_MAIN(tst_Service)
#include "tst_service.moc"
