#pragma once

#include "canservice_host_export.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

namespace canservice {

class VirtualSerialLinePrivate;

// A serial line inside the process, for tests, replays and simulations: every write is signalled
// with its flag, and deliver() hands a chunk to the port exactly as given, so the caller decides
// where chunks are cut. A port opens one for the device name "virtual:NAME" and owns it;
// SerialPort::virtualLine() gives it.
class CANSERVICE_HOST_EXPORT VirtualSerialLine : public QObject
{
    Q_OBJECT

public:
    ~VirtualSerialLine() override;

    QString name() const;
    int baudRate() const;
    bool isOpen() const;

    // The box sends a chunk. Nothing arrives while the line is closed.
    void deliver(const QByteArray &chunk);

signals:
    void written(const QByteArray &bytes, bool flag);

protected:
    void connectNotify(const QMetaMethod &signal) override;

private:
    friend class VirtualSerialLinePrivate;
    explicit VirtualSerialLine(const QString &name);
    std::unique_ptr<VirtualSerialLinePrivate> const d;
};

} // namespace canservice
