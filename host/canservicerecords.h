#pragma once

#include "canservice_host_export.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Records handed between the head unit and a CAN service, always by value.

// Trip-computer page texts, one value with its unit per field.
struct CANSERVICE_HOST_EXPORT DrivingData
{
    QString item0, item1, item2, item3, item4, item5, item6, item7, item8;
    QString item9, item10, item11, item12, item13, item14, item15, item16, item17;
};

struct CANSERVICE_HOST_EXPORT FuelConsumptionData
{
    QString fuel0, fuel1, fuel2, fuel3, fuel4, fuel5;
};

struct CANSERVICE_HOST_EXPORT OtherInfoData
{
    QString info0, info1, info2, info3, info4, info5;
    QString parkingAssistText;
    QString info7, info8;
    bool infoFlag = true;
};

struct CANSERVICE_HOST_EXPORT CarSettingData
{
    quint8 state0 = 1;
    quint8 colorPosition = 0xFF;
    quint8 colorIndex = 0xFF;
    quint8 state3 = 1;
    quint8 state4 = 1;
    QByteArray valueText = QByteArray::number(16777215);
    quint8 state12 = 0xFF;
    quint8 state13 = 1;
    quint8 state14 = 1;
    quint8 state15 = 1;
    qint32 state16 = 1;
};

// The ambient-light part of the vehicle settings: the same fields in the same order.
struct CANSERVICE_HOST_EXPORT AmbientLightData : CarSettingData
{
};

// Display units: six entries, each with its number of levels, its level and the word for it.
struct CANSERVICE_HOST_EXPORT UnitData
{
    static constexpr int EntryCount = 6;
    UnitData();

    QList<int> maxLevel;
    QList<int> level;
    QList<QString> text;
};

struct CANSERVICE_HOST_EXPORT GPSTime
{
    quint8 second = 0;
    quint8 minute = 0;
    quint8 hour = 0;
    quint8 day = 1;
    quint8 month = 1;
    quint16 year = 2000;
    quint8 is24Hour = 0;
};

// What a CAN service answers to a GPS time: a fixed time-sync packet description.
struct CANSERVICE_HOST_EXPORT GPSTimePacket
{
    quint8 codeLow = 0;
    quint8 codeHigh = 0;
    quint8 reserved = 0;
    quint32 header = 0;
    quint32 data = 0;
    quint8 enabled = 0;
    quint8 count = 0;
};

struct CANSERVICE_HOST_EXPORT CameraData
{
    int mode = 0;
    int x = 0;
    int y = 0;
};

struct CANSERVICE_HOST_EXPORT VehicleMaintenanceData
{
    int distanceToService = -1;
    int daysToService = -1;
    int oilLife = -1;
};

namespace canservice {

// One ambient-light colour the head unit knows: the code the car uses and its display name.
struct CANSERVICE_HOST_EXPORT HwdColorDiff
{
    int colorCode = 0;
    QString name;
    quint32 rgb = 0;
};

} // namespace canservice
