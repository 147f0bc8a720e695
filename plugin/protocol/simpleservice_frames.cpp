#include "simpleservice.h"

#include "canboxframe.h"

namespace canservice {

namespace {
using canbox::out::Setting;
using canbox::out::StartStop;
const unsigned char DataRequest = canbox::out::Request;
const unsigned char AnyValue = 0xFF;
} // namespace

QByteArray SimpleService::frameBody(std::initializer_list<unsigned char> bytes)
{
    QByteArray body;
    body.reserve(int(bytes.size()) + 1);
    for (const unsigned char b : bytes)
        body.append(static_cast<char>(b));
    return body;
}

QByteArray SimpleService::frameOf(QByteArray body)
{
    QByteArray frame(1, char(canbox::Header));
    body.append(static_cast<char>(getCheckSum(body)));
    frame.append(body);
    return frame;
}

// No queue and no retry: the frame leaves now, and the box's next report shows its effect.
void SimpleService::writeFrame(QByteArray body, bool flag)
{
    mSerialPort.writeData(frameOf(std::move(body)), flag);
}

void SimpleService::sendStart()
{
    writeFrame(frameBody({StartStop, 0x01, 0x01}), false);
}

void SimpleService::sendStop()
{
    writeFrame(frameBody({StartStop, 0x01, 0x00}), false);
}

void SimpleService::sendRequest(unsigned char id, unsigned char value)
{
    writeFrame(frameBody({DataRequest, 0x02, id, value}), false);
}

void SimpleService::sendUnitSet(unsigned char setting, unsigned char value)
{
    writeFrame(frameBody({Setting, 0x02, setting, value}), true);
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
    writeFrame(frameBody({id, length, d0, d1}), true);
}

int SimpleService::request(int id, int value)
{
    sendRequest(static_cast<unsigned char>(id), static_cast<unsigned char>(value));
    return 0;
}

void SimpleService::requestSpeed()
{
    sendRequest(0xF6, AnyValue);
}

int SimpleService::requestDrivingData()
{
    sendRequest(0x50, AnyValue);
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
    sendRequest(0x29, AnyValue);
}

void SimpleService::requsetParkAssist()
{
    sendRequest(0x23, AnyValue);
    sendRequest(0x22, AnyValue);
}

void SimpleService::requsetVehicleInfo()
{
    sendRequest(0x24, AnyValue);
}

void SimpleService::requsetCarSetting()
{
    sendRequest(0x48, AnyValue);
}

void SimpleService::requsetDrinvingData() { }

void SimpleService::requsetMaintenance() { }

void SimpleService::requsetFuel() { }

// The units come with the door message.
void SimpleService::requsetUnitSettings()
{
    sendRequest(0x24, AnyValue);
}

void SimpleService::requsetOtherInfo()
{
    sendRequest(0x25, AnyValue);
}

void SimpleService::sendAnyData(QByteArray &data)
{
    mSerialPort.writeData(data, false);
}

} // namespace canservice
