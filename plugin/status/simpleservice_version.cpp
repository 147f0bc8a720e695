#include "simpleservice.h"

#include "simpleservice_log.h"
#include "simpleservice_payload.h"

namespace canservice {

// 0x30: the box's version text, UTF-8, ended by the first zero byte if there is one.
void SimpleService::doVersion(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    const int end = paraBuf.indexOf('\0');
    mVersion = QString::fromUtf8(paraBuf.constData(), end < 0 ? paraBuf.size() : end);
    SS_DBG("--", mVersion);
    emit sigVersionData();
}

QString SimpleService::version()
{
    return mVersion;
}

} // namespace canservice
