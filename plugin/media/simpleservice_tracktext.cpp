#include "simpleservice.h"

#include "canboxframe.h"
#include "simpleservice_log.h"

namespace canservice {

namespace {
using canbox::tracktext::FieldBytes;
} // namespace

// The box shows at most 16 UTF-16 units; it gets a blank text for sources without tracks.
QByteArray SimpleService::trackTextFrame(const QString &text, unsigned char kind, int type)
{
    QByteArray data(2 + FieldBytes, '\0');
    data[0] = char(canbox::tracktext::Tag);
    data[1] = char(kind);
    if (type >= 0 && type <= 4) {
        const int units = qMin(text.size(), FieldBytes / 2);
        for (int i = 0; i < units; ++i) {
            data[2 + 2 * i] = static_cast<char>(text.at(i).unicode() & 0xFF);
            data[3 + 2 * i] = static_cast<char>(text.at(i).unicode() >> 8);
        }
    }
    return canbox::frame(canbox::out::TrackText, data);
}

void SimpleService::sendNaviId3SongSet(QStringList information, int type)
{
    SS_DBG("--", "src type-->", type);
    const QByteArray frame = trackTextFrame(information.value(0), canbox::tracktext::Song, type);
    SS_DBG("--", frame.size(), logging::hex(frame));
    mSerialPort.writeData(frame, false);
}

void SimpleService::sendNaviId3AlbumSet(QStringList information, int type)
{
    SS_DBG("--", "src type-->", type);
    const QByteArray frame = trackTextFrame(information.value(1), canbox::tracktext::Album, type);
    SS_DBG("--", frame.size(), logging::hex(frame));
    mSerialPort.writeData(frame, false);
}

} // namespace canservice
