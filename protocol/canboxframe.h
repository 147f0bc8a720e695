#pragma once

// The CAN box's serial frames, as both ends of the line write and read them:
//
//     2E  identifier  length  data (length bytes)  checksum
//
// The checksum is the complement of the 8-bit sum of identifier, length and data. The receiver
// answers every frame with one byte: FF when it accepts it, F0 when the checksum is wrong.
// Header-only, so the plugin, the simulated box, the tests and the benchmark share it without
// linking each other.

#include <QByteArray>
#include <QtGlobal>

#include <initializer_list>

namespace canbox {

constexpr quint8 Header = 0x2E;
constexpr quint8 Accepted = 0xFF;
constexpr quint8 Refused = 0xF0;
// Header, identifier, length and checksum around the data.
constexpr int FrameOverhead = 4;

// What the box sends to the head unit.
namespace in {
enum Id : quint8 {
    TimeMileage = 0x09,
    CarKey = 0x11,
    Fuel = 0x16,
    FuelHistory = 0x17,
    SteeringKey = 0x20,
    RearRadar = 0x22,
    FrontRadar = 0x23,
    DoorsUnits = 0x24,
    ParkingAssist = 0x25,
    Climate = 0x29,
    SteeringAngle = 0x2F,
    Version = 0x30,
    Report = 0x40,
    CarInfo = 0x41,
    CarSettings = 0x48,
    DrivingData = 0x50,
    TyreAlert = 0x65,
    LightSettings = 0x67,
    OutsideTemperature = 0x68,
    RunMode = 0x85,
    EmergencyCall = 0x95,
    CarEnable = 0xF2,
    CarLamp = 0xF3,
    Speed = 0xF6,
    AirCleaning = 0xFF,
};
} // namespace in

// What the head unit sends to the box.
namespace out {
enum Id : quint8 {
    RadarStart = 0x6C,
    StartStop = 0x81,
    Request = 0x90,
    SourceStatus = 0xC0,
    Radio = 0xC2,
    Setting = 0xC6,
    TrackText = 0xCB,
};
} // namespace out

enum class Direction { FromBox, ToBox };

// The checksum over identifier, length and data.
inline quint8 checksum(const char *bytes, int size)
{
    quint8 sum = 0;
    for (int i = 0; i < size; ++i)
        sum += quint8(bytes[i]);
    return quint8(~sum);
}

inline quint8 checksum(const QByteArray &body)
{
    return checksum(body.constData(), body.size());
}

inline QByteArray frame(quint8 id, const QByteArray &data)
{
    QByteArray f;
    f.reserve(data.size() + FrameOverhead);
    f.append(char(Header));
    f.append(char(id));
    f.append(char(data.size()));
    f.append(data);
    f.append(char(checksum(f.constData() + 1, f.size() - 1)));
    return f;
}

inline QByteArray frame(quint8 id, std::initializer_list<quint8> data)
{
    QByteArray bytes;
    bytes.reserve(int(data.size()));
    for (const quint8 b : data)
        bytes.append(char(b));
    return frame(id, bytes);
}

// The message's name, or null for an identifier this protocol does not know in that direction.
inline const char *messageName(quint8 id, Direction direction)
{
    if (direction == Direction::ToBox) {
        switch (id) {
        case out::RadarStart: return "radar start";
        case out::StartStop: return "start/stop";
        case out::Request: return "data request";
        case out::SourceStatus: return "source status";
        case out::Radio: return "radio";
        case out::Setting: return "setting";
        case out::TrackText: return "track text";
        default: return nullptr;
        }
    }
    switch (id) {
    case in::TimeMileage: return "time and mileage";
    case in::CarKey: return "car key";
    case in::Fuel: return "fuel consumption";
    case in::FuelHistory: return "fuel history";
    case in::SteeringKey: return "steering-wheel key";
    case in::RearRadar: return "rear radar";
    case in::FrontRadar: return "front radar";
    case in::DoorsUnits: return "doors and units";
    case in::ParkingAssist: return "parking assist";
    case in::Climate: return "climate";
    case in::SteeringAngle: return "steering angle";
    case in::Version: return "version";
    case in::Report: return "report";
    case in::CarInfo: return "vehicle information";
    case in::CarSettings: return "vehicle settings";
    case in::DrivingData: return "driving data";
    case in::TyreAlert: return "tyre alert";
    case in::LightSettings: return "light settings";
    case in::OutsideTemperature: return "outside temperature";
    case in::RunMode: return "run mode";
    case in::EmergencyCall: return "emergency call";
    case in::CarEnable: return "car enable";
    case in::CarLamp: return "car lamp";
    case in::Speed: return "speed";
    case in::AirCleaning: return "air cleaning";
    default: return nullptr;
    }
}

} // namespace canbox
