#include "simpleservice.h"

#include "simpleservice_log.h"
#include "simpleservice_payload.h"

namespace canservice {

namespace {
enum KeyState { Released = 0, Pressed = 1 };
enum KeyAction { Press = 0, ShortRelease = 1, LongPress = 2, LongRelease = 3 };
const int LongPressMs = 1500;
const int LastFlaggedSwcKey = 49;
} // namespace

// 0x20: steering-wheel key, byte 0 the code and byte 1 the state.
void SimpleService::doSwc(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    if (paraBuf.size() != 2)
        return;
    const int key = byteAt(paraBuf, 0);
    const int state = byteAt(paraBuf, 1);
    SS_DBG("--", logging::hex(paraBuf));
    SS_DBG("--", key, state);
    handleKey(key, state, key <= LastFlaggedSwcKey);
}

// 0x11: the vehicle's other keys, code in byte 2 and state in byte 3 of a ten-byte message.
void SimpleService::doCarBaseInfo(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    if (paraBuf.size() != 10) {
        SS_DBG("--", paraBuf.size());
        return;
    }
    const int key = byteAt(paraBuf, 2);
    const int state = byteAt(paraBuf, 3);
    SS_DBG("--", logging::hex(paraBuf));
    SS_DBG("--", QChar(key), key);
    SS_DBG("--", QChar(state), state);
    handleKey(key, state, true);
}

// One key at a time, whichever message it came in: a press while another key is held is
// ignored, and the release reports the key that was pressed.
void SimpleService::handleKey(int key, int state, bool flag)
{
    if (state == Pressed) {
        if (mSwcKeyPressed)
            return;
        mSwcKeyFlag = flag;
        mSwcKeyPressed = true;
        mSwcKey = key;
        mLongPressTmr.start(LongPressMs);
        emit keyEvent(mSwcKey, Press, mSwcKeyFlag);
    } else if (state == Released) {
        if (!mSwcKeyPressed)
            return;
        if (mLongPressTmr.isActive()) {
            mLongPressTmr.stop();
            emit keyEvent(mSwcKey, ShortRelease, mSwcKeyFlag);
        } else {
            emit keyEvent(mSwcKey, LongRelease, mSwcKeyFlag);
        }
        mSwcKey = key;
        mSwcKeyPressed = false;
    }
}

void SimpleService::onLongPressTimeout()
{
    emit keyEvent(mSwcKey, LongPress, mSwcKeyFlag);
}

} // namespace canservice
