#include "simpleservice.h"

#include "canboxframe.h"
#include "canbusmanager.h"
#include "simpleservice_log.h"
#include "simpleservice_payload.h"

namespace canservice {

namespace {
enum SettingKey {
    ResetKey = 0,
    ValueKey = 3,
    ColorKey = 4,
    LightModeKey = 5,
};
const int ColorTableSize = 21;
// Head unit's light mode (the index) to the box's value.
const int LightModeValues[] = {5, 0, 2, 1, 3, 4, 6};
} // namespace

// 0x48: the vehicle's ambient colour in byte 0, as a position in the head unit's colour list.
void SimpleService::doCarSetInformation(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    SS_DBG(paraBuf.size());
    if (paraBuf.size() != 5)
        return;

    AmbientLightData light;
    static_cast<CarSettingData &>(light) = mCarSettingData;

    const int colorCode = byteAt(paraBuf, 0);
    const QList<HwdColorDiff> colors = CanBusManager::instance()->getHwdColorDiffList();
    int position = 0xFF;
    for (int i = 0; i < colors.size(); ++i) {
        if (colors.at(i).colorCode == colorCode) {
            position = i;
            break;
        }
    }
    light.colorIndex = static_cast<quint8>(position);
    ambienLightChanged(light);
}

CarSettingData SimpleService::getCarSettingData()
{
    return mCarSettingData;
}

int SimpleService::sendCarSettingKey(int key, int value)
{
    switch (key) {
    case ResetKey:
        sendSetSettings(canbox::setting::Reset, 0);
        break;
    case ValueKey:
        sendSetSettings(canbox::setting::Value, static_cast<unsigned char>(value));
        break;
    case ColorKey: {
        // One step forward (value 1) or back through the colour-code table.
        const int position = getCarSettingData().colorPosition;
        int code = 0;
        if (value == 1) {
            code = position <= ColorTableSize - 2 ? byteAt(mColorCodeTable, position + 1) : 0;
            SS_DBG(code);
        } else {
            SS_DBG(0);
            code = position >= 1 && position <= ColorTableSize ? byteAt(mColorCodeTable, position - 1)
                                                              : 0;
            SS_DBG(code);
        }
        const auto c = static_cast<unsigned char>(code);
        send3Param(2, canbox::out::Setting, canbox::setting::AmbientColour, c, c, c);
        break;
    }
    case LightModeKey: {
        const bool known = value >= 0 && value < int(sizeof(LightModeValues) / sizeof(int));
        const auto mapped = static_cast<unsigned char>(known ? LightModeValues[value] : 0);
        send3Param(2, canbox::out::Setting, canbox::setting::LightMode, mapped, 0, 0);
        break;
    }
    default:
        break;
    }
    return 0;
}

void SimpleService::ambienLightChanged(AmbientLightData data)
{
    if (data.state0 == mCarSettingData.state0 && data.colorPosition == mCarSettingData.colorPosition
        && data.colorIndex == mCarSettingData.colorIndex)
        return;
    mCarSettingData.state0 = data.state0;
    mCarSettingData.colorPosition = data.colorPosition;
    mCarSettingData.colorIndex = data.colorIndex;
    emit sigAmbientChanged();
}

} // namespace canservice
