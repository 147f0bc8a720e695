#pragma once

#include "canboxframe.h"
#include "configmanager.h"
#include "linerecorder.h"
#include "simpleservice.h"
#include "simpleservice_access.h"
#include "virtualserialline_p.h"

#include <QByteArray>
#include <QStringList>

#include <memory>

namespace testsupport {

inline QByteArray frame(int id, const QByteArray &payload)
{
    return canbox::frame(quint8(id), payload);
}

inline QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// Writes as "hexbytes/flag" texts, so a failed comparison shows what was sent.
inline QStringList describe(const QList<LineRecorder::Write> &writes)
{
    QStringList out;
    for (const auto &w : writes)
        out << QString::fromLatin1(w.bytes.toHex()) + (w.flag ? QLatin1String("/true")
                                                               : QLatin1String("/false"));
    return out;
}

// A service on an in-process line, as the head unit would create it.
struct ServiceOnLine
{
    ServiceOnLine()
    {
        canservice::ConfigManager::instance()->setSerialDevice(QStringLiteral("virtual:box"));
        service = std::make_unique<canservice::SimpleService>();
        line = canservice::SimpleServiceTestAccess::serialPort(*service).virtualLine();
        recorder = std::make_unique<LineRecorder>(line);
    }

    void receive(const QByteArray &chunk) { line->deliver(chunk); }
    void receiveFrame(int id, const QByteArray &payload) { line->deliver(frame(id, payload)); }
    QStringList takeWrites() { return describe(recorder->takeWrites()); }

    std::unique_ptr<canservice::SimpleService> service;
    canservice::VirtualSerialLine *line = nullptr;
    std::unique_ptr<LineRecorder> recorder;
};

} // namespace testsupport
