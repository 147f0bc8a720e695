#include "simpleservice.h"

#include "simpleservice_log.h"

namespace canservice {

namespace {
const unsigned char SongText = 0x03;
const unsigned char AlbumText = 0x05;
const int TextFieldBytes = 32;
} // namespace

// The box shows at most 16 UTF-16 units; it gets a blank text for sources without tracks.
QByteArray SimpleService::trackTextFrame(const QString &text, unsigned char kind, int type)
{
    QByteArray field;
    field.reserve(TextFieldBytes);
    if (type >= 0 && type <= 4) {
        for (const QChar unit : text) {
            if (field.size() >= TextFieldBytes)
                break;
            field.append(static_cast<char>(unit.unicode() & 0xFF));
            field.append(static_cast<char>(unit.unicode() >> 8));
        }
    }
    field.append(QByteArray(TextFieldBytes - field.size(), '\0'));
    return frameOf(frameBody({0xCB, 0x22, 0x11, kind}) + field);
}

void SimpleService::sendNaviId3SongSet(QStringList information, int type)
{
    SS_DBG("--", "src type-->", type);
    const QByteArray frame = trackTextFrame(information.value(0), SongText, type);
    SS_DBG("--", frame.size(), logging::hex(frame));
    mSerialPort.writeData(frame, false);
}

void SimpleService::sendNaviId3AlbumSet(QStringList information, int type)
{
    SS_DBG("--", "src type-->", type);
    const QByteArray frame = trackTextFrame(information.value(1), AlbumText, type);
    SS_DBG("--", frame.size(), logging::hex(frame));
    mSerialPort.writeData(frame, false);
}

} // namespace canservice
