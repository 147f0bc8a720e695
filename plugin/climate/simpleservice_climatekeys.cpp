#include "simpleservice.h"

#include "simpleservice_log.h"
#include "simpleservice_payload.h"

#include <algorithm>

namespace canservice {

namespace {
const unsigned char KeyGroup = 0xAC;
const unsigned char LevelGroup = 0xAE;
const int NoCode = -1;
const int MaxLevel = 30;

enum ClimateKey {
    ModeKeyA = 4,
    ModeKeyB = 5,
    TemperatureUp = 19,
    TemperatureDown = 20,
    Unsupported28 = 28,
    Unsupported30 = 30,
    WindMode = 31,
    LastKey = 34,
};

// Key number to the box's key code, for the keys that always send one code.
const int KeyCodes[LastKey + 1] = {
    0x01,   0x11,   0x02,   0x04,   0x18,   0x17,   0x03,   0x03,   0x29,   NoCode, // 0-9
    0x2C,   0x2E,   NoCode, NoCode, NoCode, 0x28,   0x27,   0x28,   0x27,   0x24,   // 10-19
    0x23,   0x26,   0x25,   0x20,   0x21,   0x2B,   0x2D,   0x2D,   NoCode, 0x2A,   // 20-29
    NoCode, NoCode, NoCode, NoCode, 0x11,                                           // 30-34
};

// The box has no direct wind-mode selection: from each current mode, the key codes that step
// it to the next one.
struct KeySequence
{
    int count;
    unsigned char codes[3];
};
const KeySequence WindModeSequences[8] = {
    {1, {0x22}},       {2, {0x22, 0x21}}, {2, {0x21, 0x20}},       {2, {0x21, 0x20}},
    {3, {0x20, 0x21, 0x22}}, {2, {0x21, 0x22}}, {1, {0x22}}, {3, {0x22, 0x20, 0x21}},
};
} // namespace

int SimpleService::sendAcKey(int key, int value)
{
    Q_UNUSED(value)
    if (key < 0 || key > LastKey)
        return 0;

    switch (key) {
    case Unsupported28:
    case Unsupported30:
        return -1;
    case ModeKeyA:
    case ModeKeyB:
        if (getManualClimateMode() == 1)
            sendSetSettings(KeyGroup, static_cast<unsigned char>(KeyCodes[key]));
        return 0;
    case TemperatureUp:
    case TemperatureDown:
        if (getManualClimateMode() == 1) {
            sendSetSettings(KeyGroup, static_cast<unsigned char>(KeyCodes[key]));
        } else {
            // In automatic mode the level itself is sent, stepped from what the box last said.
            mAcTemperatureLevel = key == TemperatureUp ? std::min(mAcTemperatureLevel + 1, MaxLevel)
                                                       : std::max(mAcTemperatureLevel - 1, 0);
            sendSetSettings(LevelGroup, static_cast<unsigned char>(mAcTemperatureLevel));
        }
        return 0;
    case WindMode: {
        const int modeByte = byteAt(mAcData, 1);
        SS_DBG(QChar(modeByte));
        const KeySequence &sequence = WindModeSequences[modeByte >> 5];
        for (int i = 0; i < sequence.count; ++i)
            sendSetSettings(KeyGroup, sequence.codes[i]);
        return 0;
    }
    default:
        if (KeyCodes[key] != NoCode)
            sendSetSettings(KeyGroup, static_cast<unsigned char>(KeyCodes[key]));
        return 0;
    }
}

} // namespace canservice
