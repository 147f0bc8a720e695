#include "simpleservice.h"

#include "canboxframe.h"
#include "simpleservice_log.h"
#include "simpleservice_payload.h"

#include <algorithm>

namespace canservice {

namespace {
using canbox::climate::KeyCodes;
using canbox::climate::LastKey;
using canbox::climate::NoKeyCode;
const unsigned char KeyGroup = canbox::setting::ClimateKey;
const unsigned char LevelGroup = canbox::setting::ClimateLevel;
const int MaxLevel = 30;

enum ClimateKey {
    ModeKeyA = 4,
    ModeKeyB = 5,
    TemperatureUp = 19,
    TemperatureDown = 20,
    Unsupported28 = 28,
    Unsupported30 = 30,
    WindMode = canbox::climate::WindModeKey,
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
        const canbox::climate::KeySequence &sequence = canbox::climate::WindModeSteps[modeByte >> 5];
        for (int i = 0; i < sequence.count; ++i)
            sendSetSettings(KeyGroup, sequence.codes[i]);
        return 0;
    }
    default:
        if (KeyCodes[key] != NoKeyCode)
            sendSetSettings(KeyGroup, static_cast<unsigned char>(KeyCodes[key]));
        return 0;
    }
}

} // namespace canservice
