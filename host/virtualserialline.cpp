#include "virtualserialline.h"

#include "virtualserialline_p.h"

#include <QMetaMethod>

namespace canservice {

VirtualSerialLine::VirtualSerialLine(const QString &name)
    : d(std::make_unique<VirtualSerialLinePrivate>(this, name))
{
}

VirtualSerialLine::~VirtualSerialLine() = default;

std::unique_ptr<VirtualSerialLine> VirtualSerialLinePrivate::create(const QString &name)
{
    return std::unique_ptr<VirtualSerialLine>(new VirtualSerialLine(name));
}

QString VirtualSerialLine::name() const
{
    return d->name;
}

int VirtualSerialLine::baudRate() const
{
    return d->baudRate;
}

bool VirtualSerialLine::isOpen() const
{
    return d->opened;
}

void VirtualSerialLine::deliver(const QByteArray &chunk)
{
    d->deliver(chunk);
}

bool VirtualSerialLinePrivate::open(const QString &device, int baudRate)
{
    Q_UNUSED(device)
    this->baudRate = baudRate;
    opened = true;
    return true;
}

qint64 VirtualSerialLinePrivate::write(const QByteArray &data, bool flag)
{
    if (!opened)
        return -1;
    bytesWritten += data.size();
    // Every acknowledgement passes here; with nobody listening, skip the signal's machinery.
    if (writtenListeners > 0 && q->isSignalConnected(QMetaMethod::fromSignal(&VirtualSerialLine::written)))
        emit q->written(data, flag);
    return data.size();
}

void VirtualSerialLinePrivate::close()
{
    opened = false;
}

void VirtualSerialLine::connectNotify(const QMetaMethod &signal)
{
    if (signal == QMetaMethod::fromSignal(&VirtualSerialLine::written))
        ++d->writtenListeners;
}

} // namespace canservice
