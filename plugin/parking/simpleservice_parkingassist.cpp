#include "simpleservice.h"

#include "simpleservice_log.h"
#include "simpleservice_payload.h"
#include "translator.h"

namespace canservice {

// 0x25: byte 0 bit 7 says whether parking assist is on.
void SimpleService::doParkingAssist(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    if (paraBuf.size() != 2)
        return;
    const QString text = Translator::translate(bitAt(paraBuf, 0, 7) ? 1177 : 655);
    SS_DBG(text);
    if (text == mOtherInfoData.parkingAssistText)
        return;
    mOtherInfoData.parkingAssistText = text;
    emit otherInfoDataChanged();
}

int SimpleService::getOtherInfoData(OtherInfoData &data)
{
    mOtherInfoData.info7 = Translator::translate(1184);
    data = mOtherInfoData;
    return 0;
}

} // namespace canservice
