#pragma once

#include "canservice_host_export.h"
#include "serialport.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace canservice {

// The head unit's diagnostic tap on its serial lines: every chunk received, every write, and what
// happens to the line, with the device it concerns. Recorders and monitors listen here; nothing
// is kept.
class CANSERVICE_HOST_EXPORT SerialTap : public QObject
{
    Q_OBJECT

public:
    static SerialTap *instance();

    // Whether anyone listens, so that a line with no recorder pays nothing for the tap: a count
    // kept by connectNotify answers the common case, nobody, without a call; automatic
    // disconnections are not counted, so a positive count is checked with Qt.
    bool hearsReceived() const { return m_receivedListeners > 0 && hears(Received); }
    bool hearsWritten() const { return m_writtenListeners > 0 && hears(Written); }

signals:
    void received(const QString &device, const QByteArray &chunk);
    void written(const QString &device, const QByteArray &bytes, bool flag);
    void dropped(const QString &device, const QByteArray &bytes);
    void errorOccurred(const QString &device, canservice::SerialPort::Error error,
                       const QString &reason);
    void lineStateChanged(const QString &device, bool up);

protected:
    void connectNotify(const QMetaMethod &signal) override;

private:
    enum Kind { Received, Written };
    SerialTap() = default;
    bool hears(Kind kind) const;
    int m_receivedListeners = 0;
    int m_writtenListeners = 0;
};

} // namespace canservice
