#include "virtualserialline.h"

#include <QMetaMethod>
#include <QPointer>

namespace canservice {

namespace {
// Never destroyed: a host may leave its plugin to be deleted at exit, after this library's
// statics would be gone, and the plugin's line still closes then.
QList<VirtualSerialLine *> &openLines()
{
    static auto *lines = new QList<VirtualSerialLine *>;
    return *lines;
}
QPointer<VirtualSerialLine> &lastLine()
{
    static auto *line = new QPointer<VirtualSerialLine>;
    return *line;
}
} // namespace

VirtualSerialLine::VirtualSerialLine(const QString &name, QObject *parent)
    : SerialBackend(parent), m_name(name)
{
}

VirtualSerialLine::~VirtualSerialLine()
{
    openLines().removeAll(this);
}

VirtualSerialLine *VirtualSerialLine::find(const QString &name)
{
    const auto &lines = openLines();
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        if ((*it)->m_name == name)
            return *it;
    }
    return nullptr;
}

VirtualSerialLine *VirtualSerialLine::lastOpened()
{
    return lastLine().data();
}

QString VirtualSerialLine::name() const
{
    return m_name;
}

int VirtualSerialLine::baudRate() const
{
    return m_baudRate;
}

void VirtualSerialLine::deliver(const QByteArray &chunk)
{
    if (m_open)
        received(chunk);
}

bool VirtualSerialLine::open(const QString &device, int baudRate)
{
    Q_UNUSED(device)
    m_baudRate = baudRate;
    m_open = true;
    if (!openLines().contains(this))
        openLines().append(this);
    lastLine() = this;
    return true;
}

qint64 VirtualSerialLine::write(const QByteArray &data, bool flag)
{
    if (!m_open)
        return -1;
    m_bytesWritten += data.size();
    // Every acknowledgement passes here; with nobody listening, skip the signal's machinery.
    if (m_writtenListeners > 0 && isSignalConnected(QMetaMethod::fromSignal(&VirtualSerialLine::written)))
        emit written(data, flag);
    return data.size();
}

void VirtualSerialLine::close()
{
    m_open = false;
    openLines().removeAll(this);
}

bool VirtualSerialLine::isOpen() const
{
    return m_open;
}

void VirtualSerialLine::connectNotify(const QMetaMethod &signal)
{
    if (signal == QMetaMethod::fromSignal(&VirtualSerialLine::written))
        ++m_writtenListeners;
}

QString VirtualSerialLine::errorString() const
{
    return QString();
}

} // namespace canservice
