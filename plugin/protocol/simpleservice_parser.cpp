#include "simpleservice.h"

#include "canboxframe.h"
#include "configmanager.h"
#include "simpleservice_log.h"

namespace canservice {

namespace {
enum ParseState {
    WaitHeader = 0,
    WaitLength = 2,
    WaitId = 3,
    WaitData = 4,
    WaitChecksum = 5,
};
// Made when the plugin is loaded and shared, so an acknowledgement costs no allocation.
const QByteArray ackOk(1, char(canbox::Accepted));
const QByteArray ackBadChecksum(1, char(canbox::Refused));
} // namespace

// Data bytes of the frame being read: copied and summed in one pass.
inline void SimpleService::takeData(const char *data, int n)
{
    int sum = mParseSum;
    if (mParseRemain > 0) {
        char *to = mParseData.data() + (mParseData.size() - mParseRemain);
        for (int k = 0; k < n; ++k) {
            to[k] = data[k];
            sum += static_cast<quint8>(data[k]);
        }
    } else {
        mParseData.append(data, n);
        for (int k = 0; k < n; ++k)
            sum += static_cast<quint8>(data[k]);
    }
    mParseSum = sum;
    mParseRemain -= n;
    if (mParseRemain == 0)
        mParseState = WaitChecksum;
}

// The length byte: the checksum so far is identifier plus length, and the data buffer is sized
// for what comes. A length of 0 is taken as it comes: the count goes negative and the time-out
// has to end the frame. The box never sends one.
inline void SimpleService::startData(int length)
{
    mParseRemain = length;
    mParseSum = mParseId + length;
    // Its capacity serves every frame, so this allocates nothing once the longest frame has
    // been seen.
    if (mParseData.size() != length)
        mParseData.resize(length);
    mParseState = WaitData;
}

void SimpleService::onDataReady(QByteArray chunk)
{
    SS_DBG(ConfigManager::instance()->getPluginFullPath());
    SS_DBG(logging::hex(chunk));

    // A frame cut by the end of the last chunk goes on here; if it never completes, the time-out
    // puts the parser back to idle.
    if (mParseState != WaitHeader && !mParseOutTmr.isActive())
        mParseOutTmr.start();

    const char *const bytes = chunk.constData();
    const int size = chunk.size();
    for (int i = 0; i < size; ++i) {
        const int b = static_cast<quint8>(bytes[i]);
        switch (mParseState) {
        case WaitHeader:
            if (b == canbox::Header) {
                mParseState = WaitId;
                // Identifier and length in the chunk, and the data too: taken in one step, as
                // the states below would take them byte by byte.
                if (i + 2 < size) {
                    mParseId = static_cast<quint8>(bytes[i + 1]);
                    const int length = static_cast<quint8>(bytes[i + 2]);
                    startData(length);
                    i += 2;
                    if (length > 0 && size - 1 - i >= length) {
                        takeData(bytes + i + 1, length);
                        i += length;
                    }
                }
            } else if (i == 0 && size == 1 && b == canbox::Accepted) {
                // The box answers with a lone FF: that is a sign of life too.
                SS_DBG(mParseState, mSendTmroutCount);
                linkUp();
            }
            break;
        case WaitId:
            mParseId = b;
            mParseState = WaitLength;
            break;
        case WaitLength:
            startData(b);
            break;
        case WaitData: {
            // The data bytes in one go: as many as the frame still needs, or (a length of 0
            // counting below zero) the rest of the chunk.
            const int n = mParseRemain > 0 ? qMin(mParseRemain, size - i) : size - i;
            takeData(bytes + i, n);
            i += n - 1;
            break;
        }
        case WaitChecksum:
            mParseState = WaitHeader;
            if (b == (~mParseSum & 0xFF)) {
                SS_DBG("id:", mParseId);
                mSerialPort.writeData(ackOk, true);
                dispatchEvent(mParseId, mParseData);
            } else {
                mSerialPort.writeData(ackBadChecksum, true);
                SS_ERR("checksum err!");
            }
            break;
        default:
            mParseState = WaitHeader;
            break;
        }
    }
    if (mAnswered)
        noteAnswerTime();
}

void SimpleService::onmParseOutTmrout()
{
    SS_DBG("parse out!!!", mParseState);
    mParseState = WaitHeader;
}

int SimpleService::getCheckSum(QByteArray &data)
{
    return canbox::checksum(data);
}

int SimpleService::combineBytes(unsigned char b1, unsigned char b0)
{
    return b1 * 256 + b0;
}

int SimpleService::combineBytes(unsigned char b2, unsigned char b1, unsigned char b0)
{
    return b2 * 65536 + b1 * 256 + b0;
}

int SimpleService::combineBytes(unsigned char b3, unsigned char b2, unsigned char b1,
                                unsigned char b0)
{
    const quint32 value = (quint32(b3) << 24) | (quint32(b2) << 16) | (quint32(b1) << 8) | b0;
    return static_cast<qint32>(value);
}

QString SimpleService::toString(unsigned char byte)
{
    return QString::asprintf("%02x", byte);
}

QString SimpleService::toString(QByteArray &data)
{
    QString text;
    text.reserve(data.size() * 3);
    for (const char c : qAsConst(data))
        text += QString::asprintf("%02x ", static_cast<quint8>(c));
    return text;
}

} // namespace canservice
