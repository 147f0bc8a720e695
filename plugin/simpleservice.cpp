#include "simpleservice.h"

#include "canboxframe.h"
#include "simpleservice_log.h"
#include "translator.h"

#include <QAbstractEventDispatcher>
#include <QMetaMethod>

namespace canservice {

namespace {
const int WatchdogMs = 30000;
}

SimpleService::SimpleService() : CanServiceBase(nullptr)
{
    mSerialPort.open(QString(), 38400);
    connect(&mSerialPort, SIGNAL(read(QByteArray)), this, SLOT(onDataReady(QByteArray)));

    mCheckConnectTmr.setInterval(WatchdogMs);
    connect(&mCheckConnectTmr, SIGNAL(timeout()), this, SLOT(onCheckConnectTmrout()));
    mRequestConnectTmr.setInterval(2000);
    connect(&mRequestConnectTmr, SIGNAL(timeout()), this, SLOT(onRequestConnect()));
    mSendTmr.setInterval(300);
    connect(&mSendTmr, SIGNAL(timeout()), this, SLOT(onSendTmrout()));
    mLongPressTmr.setSingleShot(true);
    connect(&mLongPressTmr, SIGNAL(timeout()), this, SLOT(onLongPressTimeout()));
    mParseOutTmr.setInterval(500);
    mParseOutTmr.setSingleShot(true);
    connect(&mParseOutTmr, SIGNAL(timeout()), this, SLOT(onmParseOutTmrout()));

    mSteeringAngle = 0;
    mDoorStatus = 0;
    mTemperatureUnit = Translator::translate(1150);
    mTemperatureStrDirty = false;
    mTemperature = 1000.0f;

    mAcData.resize(8);
    mAcData.fill('\0');
    // Room for the longest payload, kept across frames.
    mParseData.reserve(256);

    initData();
    initUnitMaxLevel();
}

SimpleService::~SimpleService() = default;

void SimpleService::initData()
{
    mRadarData.append(QByteArray(19, '\xff'));
    mCarSettingData.colorPosition = 0;
}

void SimpleService::start()
{
    SS_DBG("Ostrel");
    sendStop();
    sendStart();
    request(canbox::in::StartQuery, canbox::out::RequestAny);
    request(canbox::in::Version, canbox::out::RequestAny);
    mRequestConnectTmr.start();
    SS_DBG("start radar");
    writeFrame(canbox::out::RadarStart, {canbox::out::RadarStartMode, canbox::out::RadarStartValue}, false);
}

void SimpleService::stop()
{
    SS_DBG("Stop Ostrel");
    sendStop();
    disconnect(&mSerialPort, SIGNAL(read(QByteArray)), this, SLOT(onDataReady(QByteArray)));
    mSerialPort.close();
}

int SimpleService::flushDebugFile()
{
    return -1;
}

// Any answer from the box: it is alive, so stop probing and retrying and restart the watchdog's
// 30 seconds from now.
void SimpleService::linkUp()
{
    mSendTmroutCount = 0;
    if (mSendTmr.isActive())
        mSendTmr.stop();
    if (mRequestConnectTmr.isActive())
        mRequestConnectTmr.stop();
    if (!mCheckConnectTmr.isActive())
        armWatchdog(WatchdogMs);
    mAnswered = true;
    if (mStatusHeard.load(std::memory_order_relaxed))
        emit notifyCanbusStatus(int(LinkStatus::Up));
}

// After a chunk with an answer in it: when it came, read once a chunk since all its frames
// arrived together.
void SimpleService::noteAnswerTime()
{
    mAnswered = false;
    if (Q_UNLIKELY(mAnswerClock == AnswerClock::Unknown)) {
        mDispatcher = QAbstractEventDispatcher::instance(thread());
        const bool qts = mDispatcher
                && (mDispatcher->inherits("QEventDispatcherUNIX") || mDispatcher->inherits("QEventDispatcherGlib"));
        mAnswerClock = qts && QElapsedTimer::clockType() == QElapsedTimer::MonotonicClock ? AnswerClock::Monotonic
                                                                                      : AnswerClock::Timer;
        mMonotonic.start();
    }
    if (mAnswerClock == AnswerClock::Monotonic)
        mAnswerMs = mMonotonic.elapsed();
    else
        mWatchdogLeftAtAnswer = mDispatcher ? mDispatcher->remainingTime(mCheckConnectTmr.timerId()) : -1;
}

// The watchdog's 30 s run on a coarse timer, within half a second; what is left of them after an
// answer runs to the millisecond, as a coarse timer may move by a twentieth of it, more than that.
void SimpleService::armWatchdog(int ms)
{
    mCheckConnectTmr.setTimerType(ms == WatchdogMs ? Qt::CoarseTimer : Qt::PreciseTimer);
    mCheckConnectTmr.start(ms);
}

void SimpleService::connectNotify(const QMetaMethod &signal)
{
    if (signal == QMetaMethod::fromSignal(&CanServiceBase::notifyCanbusStatus))
        mStatusHeard.store(true, std::memory_order_relaxed);
}

void SimpleService::onRequestConnect()
{
    SS_DBG("ttttttttttt");
    sendStop();
    sendStart();
    request(canbox::in::Version, canbox::out::RequestAny);
}

void SimpleService::onCheckConnectTmrout()
{
    // The timer's own expiry, with an answer since it was armed: it runs again for what is left
    // of the 30 seconds from that answer. Called in
    // any other way, the slot probes.
    if (sender() == &mCheckConnectTmr) {
        const int rest = mAnswerMs >= 0            ? WatchdogMs - int(mMonotonic.elapsed() - mAnswerMs)
                : mWatchdogLeftAtAnswer >= 0 ? WatchdogMs - mWatchdogLeftAtAnswer
                                             : 0;
        mAnswerMs = -1;
        mWatchdogLeftAtAnswer = -1;
        if (rest > 0) {
            armWatchdog(rest);
            return;
        }
        if (mCheckConnectTmr.interval() != WatchdogMs)
            armWatchdog(WatchdogMs);
    }
    sendStart();
    mSendTmr.start();
}

void SimpleService::onSendTmrout()
{
    if (mSendTmroutCount > 2) {
        mSendTmroutCount = 0;
        mSendTmr.stop();
        mCheckConnectTmr.stop();
        mRequestConnectTmr.start();
        emit notifyCanbusStatus(int(LinkStatus::Lost));
        return;
    }
    ++mSendTmroutCount;
}

} // namespace canservice
