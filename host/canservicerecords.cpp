#include "canservicerecords.h"

UnitData::UnitData()
{
    for (int i = 0; i < EntryCount; ++i) {
        maxLevel.append(0);
        level.append(0);
        text.append(QString());
    }
}
