#pragma once

#include "serialport_p.h"
#include "virtualserialline.h"

#include <memory>

namespace canservice {

// The in-process line as its port drives it.
class VirtualSerialLinePrivate : public SerialBackend
{
public:
    VirtualSerialLinePrivate(VirtualSerialLine *line, const QString &name) : q(line), name(name) { }

    static std::unique_ptr<VirtualSerialLine> create(const QString &name);
    static VirtualSerialLinePrivate *get(VirtualSerialLine *line) { return line->d.get(); }

    bool open(const QString &device, int baudRate) override;
    qint64 write(const QByteArray &data, bool flag) override;
    void close() override;
    bool isOpen() const override { return opened; }
    void deliver(const QByteArray &chunk)
    {
        if (opened)
            received(chunk);
    }

    VirtualSerialLine *const q;
    const QString name;
    int baudRate = 0;
    bool opened = false;
    // Bytes written since the line was made.
    qint64 bytesWritten = 0;
    int writtenListeners = 0;
};

} // namespace canservice
