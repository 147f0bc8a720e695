#pragma once

#include "simpleservice.h"

namespace canservice {

// The tests' one way into the service's private state.
struct SimpleServiceTestAccess
{
    static int &parseState(SimpleService &s) { return s.mParseState; }
    static int &parseId(SimpleService &s) { return s.mParseId; }
    static int &parseRemain(SimpleService &s) { return s.mParseRemain; }
    static QByteArray &parseData(SimpleService &s) { return s.mParseData; }
    static QTimer &parseOutTimer(SimpleService &s) { return s.mParseOutTmr; }
    static QTimer &checkConnectTimer(SimpleService &s) { return s.mCheckConnectTmr; }
    static QTimer &requestConnectTimer(SimpleService &s) { return s.mRequestConnectTmr; }
    static QTimer &sendTimer(SimpleService &s) { return s.mSendTmr; }
    static QTimer &longPressTimer(SimpleService &s) { return s.mLongPressTmr; }
    static int &sendTimeoutCount(SimpleService &s) { return s.mSendTmroutCount; }
    static SerialPort &serialPort(SimpleService &s) { return s.mSerialPort; }
    static QByteArray &radarData(SimpleService &s) { return s.mRadarData; }
    static QByteArray &acData(SimpleService &s) { return s.mAcData; }
    static int &acTemperatureLevel(SimpleService &s) { return s.mAcTemperatureLevel; }
    static int &steeringAngle(SimpleService &s) { return s.mSteeringAngle; }
    static int &tireAlertState(SimpleService &s) { return s.mTireAlertState; }
    static bool &keyPressed(SimpleService &s) { return s.mSwcKeyPressed; }
    static QByteArray &colorCodeTable(SimpleService &s) { return s.mColorCodeTable; }
    static quint16 &lastGpsYear(SimpleService &s) { return s.mLastGpsYear; }
    static OtherInfoData &otherInfoData(SimpleService &s) { return s.mOtherInfoData; }

    // Timer slots, for the periods too long to wait for in every test.
    // The watchdog's slot, invoked by name as a head unit's harness may.
    static void checkConnectTimeout(SimpleService &s)
    {
        QMetaObject::invokeMethod(&s, "onCheckConnectTmrout", Qt::DirectConnection);
    }
    static void sendTimeout(SimpleService &s) { s.onSendTmrout(); }
    static void send3Param(SimpleService &s, unsigned char length, unsigned char id,
                           unsigned char d0, unsigned char d1, unsigned char d2, unsigned char d3)
    {
        s.send3Param(length, id, d0, d1, d2, d3);
    }
    static void ambientLightChanged(SimpleService &s, const AmbientLightData &d)
    {
        s.ambienLightChanged(d);
    }
};

using Access = SimpleServiceTestAccess;

} // namespace canservice
