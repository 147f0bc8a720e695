#pragma once

#include "canservicebase.h"
#include "serialport.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <initializer_list>

class QAbstractEventDispatcher;

namespace canservice {

struct SimpleServiceTestAccess;

// The CAN service for the serial CAN box: frames in and out over the box's line at 38400,
// decoded vehicle state for the head unit, and supervision of the link.
class SimpleService : public CanServiceBase
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.velmora.CanServicePlugin" FILE "simpleservice.json")
    Q_INTERFACES(CanServiceBase)

public:
    SimpleService();
    ~SimpleService() override;

    void start() override;
    void stop() override;
    int request(int id, int value) override;
    QString version() override;
    void requestSpeed() override;

    float getSpeed() override;
    QString getSpeedUnit() override;
    QString getTemperatureStr() override;
    float getTemperature() override;
    QString getTemperatureUnit() override;

    float getTimeAllMileage() override;
    float getOilAllMileage() override;

    int requestDrivingData() override;

    int getVehicleData(QMap<QString, QString> &data) override;
    int setSettings(int setting, int value) override;

    int getEarGlonass() override;
    int getMileageUnits() override;
    int flushDebugFile() override;
    int getRotate() override;

    int getDoorStatus() override;
    bool isFrontDoorOpen() override;
    bool isRearDoorOpen() override;
    bool isLeftRearDoorOpen() override;
    bool isRightRearDoorOpen() override;
    bool isLeftFrontDoorOpen() override;
    bool isRightFrontDoorOpen() override;

    int getTireAlertType() override;
    float getTirePressureValueFR() override;
    float getTirePressureValueFL() override;
    float getTirePressureValueRL() override;
    float getTirePressureValueRR() override;
    QString getTireUnit() override;

    bool isPowerOff() override;
    bool isPowerOffRear() override;
    bool isRearClimate() override;
    bool isAcMax() override;
    bool isAc() override;
    bool isInside() override;
    bool isAuto() override;
    bool isDual() override;
    bool isRearDefrost() override;
    bool isFrontDefrost() override;
    int getAcFrontLeftHeat() override;
    int getAcFrontRightHeat() override;
    int getAcRearLeftHeat() override;
    int getAcRearRightHeat() override;
    bool isAcSwcHeat() override;
    bool isAcGlassHeat() override;
    bool isAirCareActive() override;
    int getAirConProfile() override;
    int getLeftVentilation() override;
    int getRightVentilation() override;
    int getAcWindMode() override;
    int getAcWindScale() override;
    int getAcWindModeRear() override;
    int getAcWindScaleRear() override;
    int getAcShowRequest() override;
    float getAcTemperature() override;
    float getAcRightTemperature() override;
    float getAcRearTemperature() override;
    QString getAcTemperatureUnit() override;
    QString getAcRightTemperatureUnit() override;
    int getAcAirClearStatus() override;

    int sendAcKey(int key, int value) override;
    int sendCarSettingKey(int key, int value) override;

    int getManualClimateMode() override;

    int getFrontRadarLeftDistance() override;
    int getFrontRadarMiddleLeftDistance() override;
    int getFrontRadarMiddleRightDistance() override;
    int getFrontRadarRightDistance() override;
    int getRearRadarLeftDistance() override;
    int getRearRadarMiddleLeftDistance() override;
    int getRearRadarMiddleRightDistance() override;
    int getRearRadarRightDistance() override;
    int getLeftRadarFrontDistance() override;
    int getLeftRadarMiddleFrontDistance() override;
    int getLeftRadarMiddleRearDistance() override;
    int getLeftRadarRearDistance() override;
    int getRightRadarFrontDistance() override;
    int getRightRadarMiddleFrontDistance() override;
    int getRightRadarMiddleRearDistance() override;
    int getRightRadarRearDistance() override;

    CarSettingData getCarSettingData() override;
    int getDrivingData(DrivingData &data) override;

    int getFuelConsumptionData(FuelConsumptionData &data) override;
    int getUnitData(UnitData &data) override;
    void setUnitCmd(int entry) override;
    int getOtherInfoData(OtherInfoData &data) override;

    void onRadioSourceInformation(QString name, QStringList information, int type) override;

    void requsetGauges() override;
    void requsetClimate() override;
    void requsetParkAssist() override;
    void requsetVehicleInfo() override;
    void requsetCarSetting() override;
    void requsetDrinvingData() override;
    void requsetMaintenance() override;
    void requsetFuel() override;
    void requsetUnitSettings() override;
    void requsetOtherInfo() override;

    GPSTimePacket GPSTimeSend(GPSTime &time) override;
    void sendAnyData(QByteArray &data) override;

    // Frame helpers shared by the receive path and the command builders.
    int getCheckSum(QByteArray &data);
    int combineBytes(unsigned char b1, unsigned char b0);
    int combineBytes(unsigned char b2, unsigned char b1, unsigned char b0);
    int combineBytes(unsigned char b3, unsigned char b2, unsigned char b1, unsigned char b0);
    QString toString(unsigned char byte);
    QString toString(QByteArray &data);

protected:
    void connectNotify(const QMetaMethod &signal) override;

private slots:
    void onDataReady(QByteArray chunk);
    void onLongPressTimeout();
    void onCheckConnectTmrout();
    void onRequestConnect();
    void onSendTmrout();
    void onmParseOutTmrout();

private:
    friend struct SimpleServiceTestAccess;

    void initData();
    void initUnitMaxLevel();
    void linkUp();
    void noteAnswerTime();
    void armWatchdog(int ms);
    void startData(int length);
    void takeData(const char *data, int n);

    void dispatchEvent(int id, QByteArray &paraBuf);

    // Outbound frames.
    void sendStart();
    void sendStop();
    void sendRequest(unsigned char id, unsigned char value);
    void sendUnitSet(unsigned char setting, unsigned char value);
    void sendSetSettings(unsigned char setting, unsigned char value);
    void send3Param(unsigned char length, unsigned char id, unsigned char d0, unsigned char d1,
                    unsigned char d2, unsigned char d3);
    // Builds the frame through the codec and writes it at once.
    void writeFrame(unsigned char id, std::initializer_list<unsigned char> data, bool flag);

    // Inbound messages, by identifier.
    void doReport(int id, QByteArray &paraBuf);
    void doRunMode(int id, QByteArray &paraBuf);
    void doCarEnable(int id, QByteArray &paraBuf);
    void doCarLamp(int id, QByteArray &paraBuf);
    void doSpeed(int id, QByteArray &paraBuf);
    void doCarInformation(int id, QByteArray &paraBuf);
    void doRemainder(int id, QByteArray &paraBuf);
    void doTemp(int id, QByteArray &paraBuf);
    void doCarDetailInformation(int id, QByteArray &paraBuf);
    void doDoor(int id, QByteArray &paraBuf);
    void doEPS(int id, QByteArray &paraBuf);
    void doTireAlert(int id, QByteArray &paraBuf);
    void doEarGlonass(int id, QByteArray &paraBuf);
    void doVersion(int id, QByteArray &paraBuf);
    void doSwc(int id, QByteArray &paraBuf);
    void doCarBaseInfo(int id, QByteArray &paraBuf);
    void doConditioner(int id, QByteArray &paraBuf);
    void doAcAirClear(int id, QByteArray &paraBuf);
    void doFrontRadar(int id, QByteArray &paraBuf);
    void doRearRadar(int id, QByteArray &paraBuf);
    void doParkingAssist(int id, QByteArray &paraBuf);
    void doDrivingData(int id, QByteArray &paraBuf);
    void doOilMileageInformation(int id, QByteArray &paraBuf);
    void doOilMileageInformationPast(int id, QByteArray &paraBuf);
    void doTimeMileageInformation(int id, QByteArray &paraBuf);
    void doLightSetInformation(int id, QByteArray &paraBuf);
    void doCarSetInformation(int id, QByteArray &paraBuf);
    void doUnitInfo(int id, QByteArray &paraBuf);

    // Shared by the two key messages.
    void handleKey(int key, int state, bool flag);
    // Shared by the two front temperature getters.
    float acTemperatureFromIndex(int index);
    void radarChanged(QByteArray radarData);
    void ambienLightChanged(AmbientLightData data);
    int radarStep(int index);
    int sideRadarStep(int index);

    // Outbound media and navigation texts.
    void sendNaviStatus(QString name, int type);
    void sendRadioData(QString name, QStringList information, int type);
    void sendNaviId3SongSet(QStringList information, int type);
    void sendNaviId3AlbumSet(QStringList information, int type);
    QByteArray trackTextFrame(const QString &text, unsigned char kind, int type);

    // The line to the box; declared first so that it is destroyed last.
    SerialPort mSerialPort;

    // Receive parser.
    int mParseState = 0;
    int mParseId = 0;
    int mParseRemain = 0;
    int mParseSum = 0;
    QByteArray mParseData;
    QTimer mParseOutTmr;

    // Link supervision. The watchdog is armed once and not restarted by every answer, which
    // would cost a timer registration a frame: an answer notes its time, and at the timer's
    // expiry the timer re-arms for what is left of 30 s after that answer. The time is read from
    // the clock the dispatcher times its timers by: Qt's own dispatchers use the monotonic clock,
    // which costs a fraction of asking the timer; on any other the timer is asked how long it
    // still had to run, so the service runs on any event dispatcher.
    QTimer mCheckConnectTmr;
    enum class AnswerClock { Unknown, Monotonic, Timer };
    AnswerClock mAnswerClock = AnswerClock::Unknown;
    QElapsedTimer mMonotonic;
    qint64 mAnswerMs = -1; // on the monotonic clock; -1: no answer since the timer was armed
    int mWatchdogLeftAtAnswer = -1; // on any other; -1: no answer since the timer was armed
    bool mAnswered = false; // an answer in the chunk being read
    QAbstractEventDispatcher *mDispatcher = nullptr;
    QTimer mRequestConnectTmr;
    QTimer mSendTmr;
    int mSendTmroutCount = 0;
    // Whether anything ever connected to notifyCanbusStatus: the status is reported for every
    // frame, and with no receiver its emission is skipped. Never cleared (Qt does not report
    // every disconnection), so once heard the status is always emitted.
    std::atomic<bool> mStatusHeard{false};
    QTimer mLongPressTmr;

    // Speed, rotation, outside temperature.
    float mSpeed = 0.0f;
    QString mSpeedUnit;
    float mTemperature = 1000.0f;
    QString mTemperatureUnit;
    QString mTemperatureStr;
    bool mTemperatureStrDirty = false;
    QByteArray mRotateData;

    // Doors and steering.
    int mDoorStatus = 0;
    int mSteeringAngle = 0;

    // Tyres, emergency call, version.
    QString mVersion;
    int mTireAlertType = -1;
    int mTireAlertState = 0;
    float mTirePressureFL = -1.0f;
    float mTirePressureFR = -1.0f;
    float mTirePressureRR = -1.0f;
    float mTirePressureRL = -1.0f;
    QString mTireUnit;
    int mEarGlonass = 0;

    // Steering-wheel keys.
    int mSwcKey = 0;
    bool mSwcKeyFlag = false;
    bool mSwcKeyPressed = false;

    // Climate.
    QByteArray mAcData;
    int mAcAirClearStatus = 0;
    int mAcTemperatureLevel = 0;

    // Parking sensors.
    QByteArray mRadarData;
    QByteArray mRadarCandidate;

    // Trip computer.
    DrivingData mDrivingData;
    FuelConsumptionData mFuelConsumptionData;
    OtherInfoData mOtherInfoData;
    QByteArray mLightSetData;
    QByteArray mTimeMileageData;

    // Vehicle settings and units.
    CarSettingData mCarSettingData;
    QByteArray mColorCodeTable = QByteArray(21, '\0');
    UnitData mUnitData;

    // GPS time.
    quint16 mLastGpsYear = 0;
};

} // namespace canservice
