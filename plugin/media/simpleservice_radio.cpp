#include "simpleservice.h"

#include "canboxframe.h"
#include "simpleservice_log.h"

#include <cmath>
#include <limits>

namespace canservice {

namespace {
using canbox::source::Status;
const int SourceTypeCount = canbox::source::TypeCount;
const int RadioSourceType = canbox::source::RadioType;
} // namespace

void SimpleService::onRadioSourceInformation(QString name, QStringList information, int type)
{
    sendNaviStatus(name, type);
    sendRadioData(name, information, type);
    sendNaviId3SongSet(information, type);
    sendNaviId3AlbumSet(information, type);
}

void SimpleService::sendNaviStatus(QString name, int type)
{
    SS_DBG("--", "src type-->", type, name);
    const bool known = type >= 0 && type < SourceTypeCount;
    const Status status = known ? canbox::source::Statuses[type] : Status{false, 0, 0};
    SS_DBG("--", status.sent ? "true" : "false");
    if (status.sent)
        writeFrame(canbox::out::SourceStatus, {status.status1, status.status2}, false);
}

// The radio frame carries the band and the frequency in units of the band (10 kHz on FM).
void SimpleService::sendRadioData(QString name, QStringList information, int type)
{
    SS_DBG("--", "src type-->", type, name);

    const canbox::radio::Band band = canbox::radio::bandOf(name);
    const int multiplier = canbox::radio::unitsPerNumber(band);

    int frequency = 0;
    if (!information.isEmpty()) {
        SS_DBG("--", information.at(0));
        // Element 0 ends in a three-letter unit such as MHz or KHz.
        QString number = information.at(0);
        if (number.size() >= 3)
            number.chop(3);
        const float value = number.toFloat() * float(multiplier);
        // Nonsense that does not fit an int is sent as 0 rather than left to chance.
        if (std::isfinite(value) && std::fabs(value) < float(std::numeric_limits<int>::max()))
            frequency = static_cast<int>(value);
        SS_DBG("--", frequency, (frequency >> 8) & 0xFF, frequency & 0xFF);
    }

    const QByteArray frame = canbox::frame(canbox::out::Radio,
                                           {quint8(band), static_cast<unsigned char>(frequency & 0xFF),
                                            static_cast<unsigned char>((frequency >> 8) & 0xFF), 0x00});
    if (type == RadioSourceType)
        mSerialPort.writeData(frame, false);
}

} // namespace canservice
