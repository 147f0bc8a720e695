#include "simpleservice.h"

#include "canboxframe.h"
#include "simpleservice_log.h"

namespace canservice {

// The box keeps a two-digit year and, unless told otherwise, a 12-hour clock. A year it cannot
// show (before 2000 or after 2099) is replaced by the last one it could.
GPSTimePacket SimpleService::GPSTimeSend(GPSTime &time)
{
    SS_DBG("--");

    GPSTimePacket packet;
    packet.codeLow = canbox::gps::CodeLow;
    packet.codeHigh = canbox::gps::CodeHigh;
    packet.reserved = 0x00;
    packet.header = canbox::Header;
    packet.data = 0;
    packet.enabled = 1;
    packet.count = 1;

    const auto year = static_cast<quint16>(time.year - 2000);
    if (year <= 99) {
        mLastGpsYear = year;
        time.year = year;
    } else {
        time.year = mLastGpsYear;
    }

    if (time.is24Hour == 0) {
        const int hour = time.hour % 12;
        time.hour = static_cast<quint8>(hour == 0 ? 12 : hour);
    }
    return packet;
}

} // namespace canservice
