#pragma once

#include "canservice_host_export.h"
#include "serialbackend.h"

#include <QList>

namespace canservice {

// A serial line inside the process, for tests, replays and simulations: every write is signalled
// with its flag, and deliver() hands a chunk to the port exactly as given, so the caller decides
// where chunks are cut. Selected by the device name "virtual:NAME".
class CANSERVICE_HOST_EXPORT VirtualSerialLine : public SerialBackend
{
    Q_OBJECT

public:
    explicit VirtualSerialLine(const QString &name, QObject *parent = nullptr);
    ~VirtualSerialLine() override;

    // The open line of that name, or the line opened last; null when there is none.
    static VirtualSerialLine *find(const QString &name);
    static VirtualSerialLine *lastOpened();

    QString name() const;
    int baudRate() const;

    // Bytes written since the line was made.
    qint64 bytesWritten() const { return m_bytesWritten; }

    // The box sends a chunk. Nothing arrives while the line is closed.
    void deliver(const QByteArray &chunk);

    bool open(const QString &device, int baudRate) override;
    qint64 write(const QByteArray &data, bool flag) override;
    void close() override;
    bool isOpen() const override;
    QString errorString() const override;

signals:
    void written(const QByteArray &bytes, bool flag);

protected:
    void connectNotify(const QMetaMethod &signal) override;

private:
    int m_writtenListeners = 0;
    QString m_name;
    int m_baudRate = 0;
    bool m_open = false;
    qint64 m_bytesWritten = 0;
};

} // namespace canservice
