// Loads the installed plugin as a head unit does and decodes one frame over the in-process line.
#include <canservice/canboxframe.h>
#include <canservice/canservicebase.h>
#include <canservice/configmanager.h>
#include <canservice/serialport.h>
#include <canservice/virtualserialline.h>

#include <QCoreApplication>
#include <QPluginLoader>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    canservice::ConfigManager::instance()->setSerialDevice(QStringLiteral("virtual:consumer"));
    canservice::SerialPort *port = nullptr;
    canservice::ConfigManager::instance()->setPortWatcher([&port](canservice::SerialPort *p) { port = p; });
    QPluginLoader loader(QStringLiteral(PLUGIN));
    auto *service = qobject_cast<CanServiceBase *>(loader.instance());
    if (!service) {
        std::fprintf(stderr, "cannot load %s: %s\n", PLUGIN, qPrintable(loader.errorString()));
        return 1;
    }
    canservice::VirtualSerialLine *line = port->virtualLine();
    QByteArray written;
    QObject::connect(line, &canservice::VirtualSerialLine::written,
                     [&written](const QByteArray &bytes) { written += bytes; });
    line->deliver(canbox::frame(canbox::in::Speed, QByteArray::fromHex("001000")));
    std::printf("speed %g %s\n", double(service->getSpeed()), qPrintable(service->getSpeedUnit()));
    // The frame is taken and acknowledged.
    return service->getSpeed() == 256.0f && written == QByteArray::fromHex("ff") ? 0 : 1;
}
