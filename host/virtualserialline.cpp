#include "virtualserialline.h"

#include "virtualserialline_p.h"

#include <QList>
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

VirtualSerialLine::VirtualSerialLine(const QString &name)
    : d(std::make_unique<VirtualSerialLinePrivate>(this, name))
{
}

VirtualSerialLine::~VirtualSerialLine()
{
    openLines().removeAll(this);
}

std::unique_ptr<VirtualSerialLine> VirtualSerialLinePrivate::create(const QString &name)
{
    return std::unique_ptr<VirtualSerialLine>(new VirtualSerialLine(name));
}

VirtualSerialLine *VirtualSerialLine::find(const QString &name)
{
    const auto &lines = openLines();
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        if ((*it)->d->name == name)
            return *it;
    }
    return nullptr;
}

VirtualSerialLine *VirtualSerialLinePrivate::lastOpened()
{
    return lastLine().data();
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
    if (!openLines().contains(q))
        openLines().append(q);
    lastLine() = q;
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
    openLines().removeAll(q);
}

void VirtualSerialLine::connectNotify(const QMetaMethod &signal)
{
    if (signal == QMetaMethod::fromSignal(&VirtualSerialLine::written))
        ++d->writtenListeners;
}

} // namespace canservice
