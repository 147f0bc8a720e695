#pragma once

#include "canservice_host_export.h"
#include "canservicerecords.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

// The head unit's view of a CAN service. A service plugin derives from this class and the head
// unit drives it only through these operations; it hears back through the signals and then reads
// the state through the getters. Operations a service does not support keep the answers below.
class CANSERVICE_HOST_EXPORT CanServiceBase : public QObject
{
    Q_OBJECT

public:
    // What notifyCanbusStatus reports: Up for every frame while the box answers, Lost once it
    // has stopped answering.
    enum class LinkStatus { Lost = 0, Up = 3 };
    Q_ENUM(LinkStatus)

    explicit CanServiceBase(QObject *parent = nullptr) : QObject(parent) { }
    ~CanServiceBase() override;

    virtual void start() = 0;
    virtual void stop() = 0;
    virtual int request(int id, int value) = 0;
    virtual QString version() = 0;
    virtual void requestSpeed() = 0;

    virtual float getSpeed() = 0;
    virtual QString getSpeedUnit() = 0;
    virtual QString getTemperatureStr() = 0;
    virtual float getTemperature() = 0;
    virtual QString getTemperatureUnit() = 0;

    virtual float getTimeAllMileage() = 0;
    virtual float getOilAllMileage() = 0;

    virtual int requestDrivingData() = 0;
    virtual int requestMaintenanceData() { return -1; }

    virtual int getVehicleData(QMap<QString, QString> &data) = 0;
    virtual int setSettings(int setting, int value) = 0;

    virtual int getEarGlonass() = 0;
    virtual int getMileageUnits() = 0;
    virtual int flushDebugFile() = 0;
    virtual int getRotate() = 0;

    virtual int getCoolantTemp() { return -1; }
    virtual QString getCoolantTempUnit() { return QString(); }

    virtual int getDoorStatus() = 0;
    virtual bool isFrontDoorOpen() = 0;
    virtual bool isRearDoorOpen() = 0;
    virtual bool isLeftRearDoorOpen() = 0;
    virtual bool isRightRearDoorOpen() = 0;
    virtual bool isLeftFrontDoorOpen() = 0;
    virtual bool isRightFrontDoorOpen() = 0;

    virtual bool isRadarStatus() { return true; }

    virtual int getTireAlertType() = 0;
    virtual int getTireStatusFR() { return -1; }
    virtual int getTireStatusFL() { return -1; }
    virtual int getTireStatusRL() { return -1; }
    virtual int getTireStatusRR() { return -1; }
    virtual float getTirePressureValueFR() = 0;
    virtual float getTirePressureValueFL() = 0;
    virtual float getTirePressureValueRL() = 0;
    virtual float getTirePressureValueRR() = 0;
    virtual QString getTireUnit() = 0;

    virtual float getBatteryVoltageValue() { return -1.0f; }
    virtual QString getBatteryVoltageUnit() { return QString(); }
    virtual int getBatteryVoltageAlertType() { return 0; }

    virtual bool isPowerOff() = 0;
    virtual bool isPowerOffRear() = 0;
    virtual bool isRearClimate() = 0;
    virtual bool isAcMax() = 0;
    virtual bool isAc() = 0;
    virtual bool isInside() = 0;
    virtual bool isAuto() = 0;
    virtual bool isDual() = 0;
    virtual bool isRearDefrost() = 0;
    virtual bool isFrontDefrost() = 0;
    virtual int getAcFrontLeftHeat() = 0;
    virtual int getAcFrontRightHeat() = 0;
    virtual int getAcRearLeftHeat() = 0;
    virtual int getAcRearRightHeat() = 0;
    virtual bool isAcSwcHeat() = 0;
    virtual bool isAcGlassHeat() = 0;
    virtual bool isAirCareActive() = 0;
    virtual int getAirConProfile() = 0;
    virtual int getLeftVentilation() = 0;
    virtual int getRightVentilation() = 0;
    virtual int getAcWindMode() = 0;
    virtual int getAcWindScale() = 0;
    virtual int getAcWindModeRear() = 0;
    virtual int getAcWindScaleRear() = 0;
    virtual int getAcShowRequest() = 0;
    virtual float getAcTemperature() = 0;
    virtual float getAcRightTemperature() = 0;
    virtual float getAcRearTemperature() = 0;
    virtual QString getAcTemperatureUnit() = 0;
    virtual QString getAcRightTemperatureUnit() = 0;
    virtual int getAcAirClearStatus() = 0;

    virtual int sendAcKey(int key, int value) = 0;
    virtual int sendCarSettingKey(int key, int value) = 0;
    virtual int sendCameraKey(int key, CameraData data)
    {
        Q_UNUSED(key)
        Q_UNUSED(data)
        return -1;
    }

    virtual int getManualClimateMode() = 0;
    virtual int getDualControllableState() { return 1; }

    virtual int getFrontRadarLeftDistance() = 0;
    virtual int getFrontRadarMiddleLeftDistance() = 0;
    virtual int getFrontRadarMiddleRightDistance() = 0;
    virtual int getFrontRadarRightDistance() = 0;
    virtual int getRearRadarLeftDistance() = 0;
    virtual int getRearRadarMiddleLeftDistance() = 0;
    virtual int getRearRadarMiddleRightDistance() = 0;
    virtual int getRearRadarRightDistance() = 0;
    virtual int getLeftRadarFrontDistance() = 0;
    virtual int getLeftRadarMiddleFrontDistance() = 0;
    virtual int getLeftRadarMiddleRearDistance() = 0;
    virtual int getLeftRadarRearDistance() = 0;
    virtual int getRightRadarFrontDistance() = 0;
    virtual int getRightRadarMiddleFrontDistance() = 0;
    virtual int getRightRadarMiddleRearDistance() = 0;
    virtual int getRightRadarRearDistance() = 0;

    virtual int getCameraMode() { return -1; }
    virtual int getAmbientStatus() { return 1; }

    virtual CarSettingData getCarSettingData() = 0;
    virtual int getDrivingData(DrivingData &data) = 0;

    virtual QString getDrivingDataTitle1() { return QString(); }
    virtual QString getDrivingDataTitle2() { return QString(); }
    virtual QString getDrivingDataTitle3() { return QString(); }
    virtual void setDrivingDataPage(int page) { Q_UNUSED(page) }
    virtual int getMaintenanceData(VehicleMaintenanceData &data)
    {
        Q_UNUSED(data)
        return -1;
    }

    virtual int getFuelConsumptionData(FuelConsumptionData &data) = 0;
    virtual int getUnitData(UnitData &data) = 0;
    virtual void setUnitCmd(int entry) = 0;
    virtual int getOtherInfoData(OtherInfoData &data) = 0;

    virtual void onRadioSourceInformation(QString name, QStringList information, int type) = 0;

    virtual void setCanDrivingPosition(int position) { Q_UNUSED(position) }
    virtual int getCanDrivingPosition() { return -1; }

    virtual void requsetGauges() = 0;
    virtual void requsetClimate() = 0;
    virtual void requsetParkAssist() = 0;
    virtual void requsetVehicleInfo() = 0;
    virtual void requsetCarSetting() = 0;
    virtual void requsetDrinvingData() = 0;
    virtual void requsetMaintenance() = 0;
    virtual void requsetFuel() = 0;
    virtual void requsetUnitSettings() = 0;
    virtual void requsetOtherInfo() = 0;

    virtual GPSTimePacket GPSTimeSend(GPSTime &time) = 0;
    virtual void sendAnyData(QByteArray &data) = 0;

signals:
    // Link status, a LinkStatus as a number: Up while the CAN box answers, Lost once it has been lost.
    void notifyCanbusStatus(int status);
    void messageChanged(int id);
    // action: 0 pressed, 1 released after a short press, 2 long press, 3 released after a long press
    void keyEvent(int key, int action, bool flag);
    void speedChanged();
    void temperatureChanged();
    void rotateChanged();
    void doorChanged();
    void sigVersionData();
    void tireAlert();
    void acStatusChanged();
    void acManualClimateModeChanged();
    void sigRadarChanged();
    void sigAmbientChanged();
    void otherInfoDataChanged();
    void drivingDataChanged();
    void fuelDataChanged();
    void timeMileageInformation();
    void lightSetInformation();
    void unitDataChanged();
};

#define CanServiceBase_iid "com.velmora.canservicebase/1.0"
Q_DECLARE_INTERFACE(CanServiceBase, CanServiceBase_iid)
