// The plugin as a head unit meets it: a file loaded with QPluginLoader.
#include "canservicebase.h"
#include "configmanager.h"
#include "serialport.h"
#include "virtualserialline_p.h"

#include <QJsonObject>
#include <QPluginLoader>
#include <QtTest>

class tst_PluginLoader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void metaDataBeforeLoading();
    void castsToTheServiceInterface();
    void isAServiceOnTheConfiguredLine();
    void cleanupTestCase();

private:
    QPluginLoader m_loader{QStringLiteral(SIMPLESERVICE_PLUGIN_PATH)};
    canservice::SerialPort *m_port = nullptr;
};

void tst_PluginLoader::initTestCase()
{
    canservice::ConfigManager::instance()->setSerialDevice(QStringLiteral("virtual:loaded"));
    // The host is handed the port the service opens on the configured device.
    canservice::ConfigManager::instance()->setPortWatcher([this](canservice::SerialPort *port) { m_port = port; });
}

void tst_PluginLoader::metaDataBeforeLoading()
{
    const QJsonObject meta = m_loader.metaData();
    QVERIFY2(!meta.isEmpty(), qPrintable(m_loader.errorString()));
    QCOMPARE(meta.value(QLatin1String("IID")).toString(),
             QStringLiteral("com.velmora.CanServicePlugin"));
    QCOMPARE(meta.value(QLatin1String("className")).toString(), QStringLiteral("SimpleService"));
    // moc leaves an empty MetaData object out of the block; either way the host reads {}.
    QVERIFY(meta.value(QLatin1String("MetaData")).toObject().isEmpty());
    QVERIFY(!m_loader.isLoaded());
}

void tst_PluginLoader::castsToTheServiceInterface()
{
    QObject *object = m_loader.instance();
    QVERIFY2(object, qPrintable(m_loader.errorString()));
    auto *service = qobject_cast<CanServiceBase *>(object);
    QVERIFY(service);
    QCOMPARE(static_cast<QObject *>(service), object);
    QCOMPARE(object->qt_metacast("com.velmora.canservicebase/1.0"), static_cast<void *>(service));
    QCOMPARE(object->metaObject()->className(), "canservice::SimpleService");
}

void tst_PluginLoader::isAServiceOnTheConfiguredLine()
{
    auto *service = qobject_cast<CanServiceBase *>(m_loader.instance());
    QVERIFY(service);
    QVERIFY(m_port);
    canservice::VirtualSerialLine *line = m_port->virtualLine();
    QVERIFY(line);
    QCOMPARE(line->name(), QStringLiteral("loaded"));
    QCOMPARE(line->baudRate(), 38400);
    QCOMPARE(canservice::VirtualSerialLinePrivate::get(line)->bytesWritten, qint64(0));

    // Speed message: 256.0 km/h, acknowledged with FF.
    QSignalSpy speed(service, SIGNAL(speedChanged()));
    line->deliver(QByteArray::fromHex("2ef603001001f5"));
    QCOMPARE(speed.count(), 1);
    QCOMPARE(service->getSpeed(), 256.0f);
    QCOMPARE(canservice::VirtualSerialLinePrivate::get(line)->bytesWritten, qint64(1));
}

void tst_PluginLoader::cleanupTestCase()
{
    delete m_loader.instance();
}

QTEST_GUILESS_MAIN(tst_PluginLoader)
#include "tst_pluginloader.moc"
