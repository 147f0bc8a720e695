#pragma once

// Tests that run on either event dispatcher: Qt's own, in real time, or the tools' capture clock,
// on which time jumps to the next timer and every interval is met exactly.

#include "captureclock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTestEventLoop>

namespace testsupport {

// Milliseconds since start() on the clock the test runs on.
class Stopwatch
{
public:
    Stopwatch() { start(); }
    void start()
    {
        m_wall.start();
        m_clockStart = clock() ? clock()->nowMs() : 0;
    }
    qint64 elapsed() const { return clock() ? clock()->nowMs() - m_clockStart : m_wall.elapsed(); }

    static tool::CaptureClock *clock() { return tool::CaptureClock::current(); }
    static bool exact() { return clock() != nullptr; }

private:
    QElapsedTimer m_wall;
    qint64 m_clockStart = 0;
};

// Lets the event loop run for ms on the test's clock.
inline void runFor(int ms)
{
    QTestEventLoop loop;
    loop.enterLoopMSecs(ms);
}

} // namespace testsupport

// A QtTest main that runs the tests on the capture clock when the executable is built with
// ON_CAPTURE_CLOCK, and on Qt's own dispatcher otherwise.
#ifdef ON_CAPTURE_CLOCK
#define CANSERVICE_TEST_MAIN(TestObject)                                                          \
    int main(int argc, char *argv[])                                                              \
    {                                                                                             \
        QCoreApplication::setEventDispatcher(new tool::CaptureClock);                             \
        QCoreApplication app(argc, argv);                                                         \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                  \
        TestObject tc;                                                                            \
        QTEST_SET_MAIN_SOURCE_PATH                                                                \
        return QTest::qExec(&tc, argc, argv);                                                     \
    }
#else
#define CANSERVICE_TEST_MAIN(TestObject) QTEST_GUILESS_MAIN(TestObject)
#endif
