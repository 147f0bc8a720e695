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
#include <QString>
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
    // Asked for once when the head unit starts; no message of it is decoded.
    StartQuery = 0x6A,
};
} // namespace in

// What the head unit sends to the box.
namespace out {
enum Id : quint8 {
    RadarStart = 0x6C,
    StartStop = 0x81,
    DataRequest = 0x90,
    SourceStatus = 0xC0,
    Radio = 0xC2,
    Setting = 0xC6,
    TrackText = 0xCB,
};

// The start/stop command's one data byte.
enum StartStopCode : quint8 {
    Stop = 0x00,
    Start = 0x01,
};

// A data request carries the identifier of the message wanted, then this byte.
constexpr quint8 RequestAny = 0xFF;

// The radar start command's two data bytes.
constexpr quint8 RadarStartMode = 0xA3;
constexpr quint8 RadarStartValue = 0x15;
} // namespace out

// The setting command (out::Setting) carries a setting or key group, then its value or code.
namespace setting {
enum Code : quint8 {
    Reset = 0x00, // with value 0: the vehicle-setting reset
    Value = 0x04, // the vehicle setting the head unit passes a value to
    UnitEntry0 = 0x05, // unit entry 0: its next level
    UnitEntry5 = 0x07, // unit entry 5: its next level
    TemperatureUnit = 0xA0, // the level the head unit shows; the box switches to the other unit
    DistanceUnit = 0xA3, // Kilometres or Miles
    ClimateKey = 0xAC, // climate key command: the code says which key
    ClimateLevel = 0xAE, // climate temperature level: the code is the new level
    LightMode = 0xB1,
    AmbientColour = 0xBD, // the colour code
};

// Values of DistanceUnit.
enum Distance : quint8 {
    Kilometres = 0x0E,
    Miles = 0x0F,
};

// The head unit's unit entries (places in its unit table) that have a command; the others have none.
enum UnitEntry : int {
    CycledEntry0 = 0, // UnitEntry0
    DistanceEntry = 1, // DistanceUnit
    TemperatureEntry = 3, // TemperatureUnit
    CycledEntry5 = 5, // UnitEntry5
};

constexpr bool hasUnitCommand(int entry)
{
    return entry == CycledEntry0 || entry == DistanceEntry || entry == TemperatureEntry || entry == CycledEntry5;
}
} // namespace setting

// The trip computer's items (message in::DrivingData): the item code in its byte 0 says what the
// rest holds.
namespace trip {
enum Item : quint8 {
    DistanceWhole = 0x10, // whole km or mi
    Distance1 = 0x20, // distances in tenths, 32 bits
    Distance2 = 0x21,
    Distance3 = 0x22,
    Consumption1 = 0x30, // consumptions in tenths
    Consumption2 = 0x31,
    Consumption3 = 0x32,
    Speed1 = 0x40, // average speeds in tenths
    Speed2 = 0x41,
    Speed3 = 0x42,
    Time1 = 0x50, // driving times in minutes, 24 bits
    Time2 = 0x51,
    Time3 = 0x52,
    Consumption4 = 0x61,
};
} // namespace trip

// The code that opens the GPS time packet the head unit sends, low byte first.
namespace gps {
enum : quint8 { CodeLow = 0xC8, CodeHigh = 0x03 };
} // namespace gps

// The codes of the climate key group (setting::ClimateKey).
namespace climate {
enum KeyCode : quint8 {
    TemperatureDown = 0x23,
    TemperatureUp = 0x24,
};

// The code each of the head unit's climate keys 0 to 34 sends, or NoKeyCode. Keys whose code
// depends on the climate mode or the wind mode have their own rules; this is the code they send
// in manual mode, or none.
constexpr int NoKeyCode = -1;
constexpr int LastKey = 34;
// Its codes step the front wind mode (WindModeSteps below), whatever the climate mode.
constexpr int WindModeKey = 31;
constexpr int KeyCodes[LastKey + 1] = {
    0x01, 0x11, 0x02, 0x04, 0x18, 0x17, 0x03, 0x03, 0x29, NoKeyCode, // 0-9
    0x2C, 0x2E, NoKeyCode, NoKeyCode, NoKeyCode, 0x28, 0x27, 0x28, 0x27, TemperatureUp, // 10-19
    TemperatureDown, 0x26, 0x25, 0x20, 0x21, 0x2B, 0x2D, 0x2D, NoKeyCode, 0x2A, // 20-29
    NoKeyCode, NoKeyCode, NoKeyCode, NoKeyCode, 0x11, // 30-34
};

// The box has no direct wind-mode selection: from each current front wind mode (climate byte 1,
// bits 7-5), the key codes that step it to the next one.
struct KeySequence
{
    int count;
    quint8 codes[3];
};
constexpr KeySequence WindModeSteps[8] = {
    {1, {0x22}}, {2, {0x22, 0x21}}, {2, {0x21, 0x20}}, {2, {0x21, 0x20}},
    {3, {0x20, 0x21, 0x22}}, {2, {0x21, 0x22}}, {1, {0x22}}, {3, {0x22, 0x20, 0x21}},
};

// Whether the key sends anything in some mode: the others send nothing in any.
constexpr bool keySends(int key)
{
    return key >= 0 && key <= LastKey && (KeyCodes[key] != NoKeyCode || key == WindModeKey);
}
} // namespace climate

// The radio frame's band byte; the frequency follows in units of the band.
namespace radio {
enum Band : quint8 {
    Fm1 = 0x01,
    Fm2 = 0x02, // FM3 too
    Other = 0x10, // any other source: the frequency in kHz
};
// The frequency travels in two bytes, low first.
constexpr int MaxUnits = 0xFFFF;

// The band of a source by its name ("FM1", "FM2", "FM3" anywhere in it), and the frame's units in
// one unit of the frequency text's number: 10 kHz steps of a text in MHz on FM, kHz otherwise.
inline Band bandOf(const QString &name)
{
    if (name.contains(QLatin1String("FM1")))
        return Fm1;
    return name.contains(QLatin1String("FM2")) || name.contains(QLatin1String("FM3")) ? Fm2 : Other;
}
constexpr int unitsPerNumber(Band band)
{
    return band == Other ? 1 : 100;
}
} // namespace radio

// The source status (out::SourceStatus) for each of the head unit's source types, in type order;
// types 6 to 8 send none.
namespace source {
struct Status
{
    bool sent;
    quint8 status1;
    quint8 status2;
};
constexpr Status Statuses[] = {
    {true, 0x01, 0x01}, {true, 0x08, 0x12}, {true, 0x08, 0x12}, {true, 0x08, 0x12},
    {true, 0x0B, 0x10}, {true, 0x07, 0x30}, {false, 0, 0},      {false, 0, 0},
    {false, 0, 0},      {true, 0x00, 0x00}, {true, 0x0B, 0x40},
};
constexpr int TypeCount = int(sizeof(Statuses) / sizeof(Statuses[0]));
// The type whose frequency goes to the box in a radio frame.
constexpr int RadioType = 0;
} // namespace source

// The track text frame: Tag, the kind, then a field of UTF-16 units, low byte first.
namespace tracktext {
constexpr quint8 Tag = 0x11;
enum Kind : quint8 {
    Song = 0x03,
    Album = 0x05,
};
constexpr int FieldBytes = 32;
// The head unit's information texts that reach the box: the song title (or the frequency) and the album.
constexpr int Texts = 2;
} // namespace tracktext

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

// The frame 2E id length data checksum, its length byte as given: what a sender that states one
// length and sends another puts on the line. frame() below is the usual case.
inline QByteArray frameWithLength(quint8 id, quint8 length, const char *data, int size)
{
    QByteArray f;
    f.reserve(size + FrameOverhead);
    f.append(char(Header));
    f.append(char(id));
    f.append(char(length));
    f.append(data, size);
    f.append(char(checksum(f.constData() + 1, f.size() - 1)));
    return f;
}

inline QByteArray frameWithLength(quint8 id, quint8 length, std::initializer_list<quint8> data)
{
    return frameWithLength(id, length, reinterpret_cast<const char *>(data.begin()), int(data.size()));
}

inline QByteArray frame(quint8 id, const QByteArray &data)
{
    return frameWithLength(id, quint8(data.size()), data.constData(), data.size());
}

inline QByteArray frame(quint8 id, std::initializer_list<quint8> data)
{
    return frameWithLength(id, quint8(data.size()), data);
}

// The message's name, or null for an identifier this protocol does not know in that direction.
inline const char *messageName(quint8 id, Direction direction)
{
    if (direction == Direction::ToBox) {
        switch (id) {
        case out::RadarStart: return "radar start";
        case out::StartStop: return "start/stop";
        case out::DataRequest: return "data request";
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
