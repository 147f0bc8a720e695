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
        mCheckConnectTmr.start(WatchdogMs);
    mAnswered = true;
    if (mStatusHeard.load(std::memory_order_relaxed))
        emit notifyCanbusStatus(int(LinkStatus::Up));
}

// After a chunk with an answer in it: how long the watchdog had left at that moment. Read once a
// chunk, since all its frames arrived together, from the dispatcher the timer runs on.
void SimpleService::noteAnswerTime()
{
    mAnswered = false;
    if (Q_UNLIKELY(!mDispatcher))
        mDispatcher = QAbstractEventDispatcher::instance(thread());
    mWatchdogLeftAtAnswer = mDispatcher ? mDispatcher->remainingTime(mCheckConnectTmr.timerId()) : -1;
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
    // The timer's own expiry, with an answer since it was armed: that answer was as long before
    // now as the timer had left then, so the 30 seconds from it end that much later. Called in
    // any other way, the slot probes.
    if (sender() == &mCheckConnectTmr) {
        const int rest = mWatchdogLeftAtAnswer < 0 ? 0 : WatchdogMs - mWatchdogLeftAtAnswer;
        mWatchdogLeftAtAnswer = -1;
        if (rest > 0) {
            mCheckConnectTmr.start(rest);
            return;
        }
        if (mCheckConnectTmr.interval() != WatchdogMs)
            mCheckConnectTmr.start(WatchdogMs);
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
