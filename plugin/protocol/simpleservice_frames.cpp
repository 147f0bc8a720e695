#include "simpleservice.h"

#include "canboxframe.h"

namespace canservice {

namespace {
using namespace canbox::out;
} // namespace

// No queue and no retry: the frame leaves now, and the box's next report shows its effect.
void SimpleService::writeFrame(unsigned char id, std::initializer_list<unsigned char> data, bool flag)
{
    mSerialPort.writeData(canbox::frame(id, data), flag);
}

void SimpleService::sendStart()
{
    writeFrame(StartStop, {Start}, false);
}

void SimpleService::sendStop()
{
    writeFrame(StartStop, {Stop}, false);
}

void SimpleService::sendRequest(unsigned char id, unsigned char value)
{
    writeFrame(DataRequest, {id, value}, false);
}

void SimpleService::sendUnitSet(unsigned char setting, unsigned char value)
{
    writeFrame(Setting, {setting, value}, true);
}

void SimpleService::sendSetSettings(unsigned char setting, unsigned char value)
{
    sendUnitSet(setting, value);
}

// Only two data bytes ever go out, whatever the length says; d2 and d3 are not sent.
void SimpleService::send3Param(unsigned char length, unsigned char id, unsigned char d0,
                               unsigned char d1, unsigned char d2, unsigned char d3)
{
    Q_UNUSED(d2)
    Q_UNUSED(d3)
    mSerialPort.writeData(canbox::frameWithLength(id, length, {d0, d1}), true);
}

int SimpleService::request(int id, int value)
{
    sendRequest(static_cast<unsigned char>(id), static_cast<unsigned char>(value));
    return 0;
}

void SimpleService::requestSpeed()
{
    sendRequest(canbox::in::Speed, RequestAny);
}

int SimpleService::requestDrivingData()
{
    sendRequest(canbox::in::DrivingData, RequestAny);
    return 0;
}

int SimpleService::getVehicleData(QMap<QString, QString> &data)
{
    Q_UNUSED(data)
    return 0;
}

int SimpleService::setSettings(int setting, int value)
{
    sendSetSettings(static_cast<unsigned char>(setting), static_cast<unsigned char>(value));
    return 0;
}

// The box has no message for gauges, maintenance, fuel or driving data on request.
void SimpleService::requsetGauges() { }

void SimpleService::requsetClimate()
{
    sendRequest(canbox::in::Climate, RequestAny);
}

void SimpleService::requsetParkAssist()
{
    sendRequest(canbox::in::FrontRadar, RequestAny);
    sendRequest(canbox::in::RearRadar, RequestAny);
}

void SimpleService::requsetVehicleInfo()
{
    sendRequest(canbox::in::DoorsUnits, RequestAny);
}

void SimpleService::requsetCarSetting()
{
    sendRequest(canbox::in::CarSettings, RequestAny);
}

void SimpleService::requsetDrinvingData() { }

void SimpleService::requsetMaintenance() { }

void SimpleService::requsetFuel() { }

// The units come with the door message.
void SimpleService::requsetUnitSettings()
{
    sendRequest(canbox::in::DoorsUnits, RequestAny);
}

void SimpleService::requsetOtherInfo()
{
    sendRequest(canbox::in::ParkingAssist, RequestAny);
}

void SimpleService::sendAnyData(QByteArray &data)
{
    mSerialPort.writeData(data, false);
}

} // namespace canservice
