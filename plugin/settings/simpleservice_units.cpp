#include "simpleservice.h"

#include "canboxframe.h"
#include "simpleservice_log.h"
#include "simpleservice_payload.h"
#include "translator.h"

namespace canservice {

namespace {
using canbox::setting::CycledEntry0;
using canbox::setting::CycledEntry5;
using canbox::setting::DistanceEntry;
using canbox::setting::TemperatureEntry;
} // namespace

void SimpleService::initUnitMaxLevel()
{
    UnitData units;
    SS_DBG(units.maxLevel.size());
    units.maxLevel = {4, 2, 0, 2, 0, 0};
    mUnitData = units;
}

// Called with messages 36 and 41: the five-byte door message carries the distance unit, the
// eight-byte climate block the temperature unit.
void SimpleService::doUnitInfo(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    const int length = paraBuf.size();
    if (length == 8) {
        SS_DBG(length);
        SS_DBG(int(bitAt(paraBuf, 1, 4)));
        const bool fahrenheit = bitAt(paraBuf, 4, 6);
        mUnitData.level[TemperatureEntry] = fahrenheit ? 0 : 1;
        mUnitData.text[TemperatureEntry] = Translator::translate(fahrenheit ? 1163 : 1150);
        SS_DBG(mUnitData.text.at(TemperatureEntry));
    }
    if (length == 5) {
        SS_DBG(int(bitAt(paraBuf, 2, 7)));
        if (bitAt(paraBuf, 2, 7)) {
            mUnitData.level[DistanceEntry] = 0;
            mUnitData.text[DistanceEntry] = Translator::translate(1169);
            SS_DBG(mUnitData.text.at(DistanceEntry));
        } else if (!bitAt(paraBuf, 1, 3)) {
            mUnitData.level[DistanceEntry] = 1;
            mUnitData.text[DistanceEntry] = Translator::translate(1145);
            SS_DBG(mUnitData.text.at(DistanceEntry));
        }
    }
    emit unitDataChanged();
}

int SimpleService::getUnitData(UnitData &data)
{
    data = mUnitData;
    return 0;
}

// Asks the box for the entry's next unit; the level changes when the box reports it.
void SimpleService::setUnitCmd(int entry)
{
    switch (entry) {
    case CycledEntry0:
    case CycledEntry5: {
        int next = mUnitData.level.at(entry) + 1;
        SS_DBG(next, mUnitData.maxLevel.at(entry));
        if (mUnitData.maxLevel.at(entry) <= next)
            next = 0;
        sendUnitSet(entry == CycledEntry0 ? canbox::setting::UnitEntry0 : canbox::setting::UnitEntry5,
                    static_cast<unsigned char>(next));
        break;
    }
    case DistanceEntry: {
        const int level = mUnitData.level.at(DistanceEntry);
        SS_DBG(level, mUnitData.maxLevel.at(DistanceEntry));
        // Level 0 shows miles: the head unit asks for the other unit.
        const int value = level == 0 ? canbox::setting::Kilometres : level == 1 ? canbox::setting::Miles : level;
        sendUnitSet(canbox::setting::DistanceUnit, static_cast<unsigned char>(value));
        break;
    }
    case TemperatureEntry: {
        const int level = mUnitData.level.at(TemperatureEntry);
        SS_DBG(level, mUnitData.maxLevel.at(TemperatureEntry));
        sendUnitSet(canbox::setting::TemperatureUnit, static_cast<unsigned char>(level));
        break;
    }
    default:
        break;
    }
}

} // namespace canservice
