// The signal catalogue against the release of the COVESA Vehicle Signal Specification it follows.
#include "signalcatalogue.h"

#include <QFile>
#include <QSet>
#include <QtTest>

class tst_Catalogue : public QObject
{
    Q_OBJECT

private slots:
    void vehicleNamesAreVssPathsWithTheirUnits();
};

void tst_Catalogue::vehicleNamesAreVssPathsWithTheirUnits()
{
    QFile leaves(QStringLiteral(VSS_LEAVES));
    if (!leaves.open(QIODevice::ReadOnly))
        QFAIL(qPrintable(QStringLiteral("no VSS 6.0 leaf list at %1").arg(leaves.fileName())));
    // path -> (datatype, unit)
    QHash<QString, QPair<QString, QString>> vss;
    for (const QByteArray &line : leaves.readAll().split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() >= 4 && !line.startsWith('#'))
            vss.insert(QString::fromUtf8(f.at(0)), {QString::fromUtf8(f.at(2)), QString::fromUtf8(f.at(3))});
    }
    QVERIFY(vss.size() > 1000);

    const QHash<QString, QStringList> types = {{"number", {"float", "double", "uint16", "uint32", "int32"}},
                                               {"integer", {"uint8", "int8", "uint16", "int16", "uint32", "int32"}},
                                               {"boolean", {"boolean"}},
                                               {"string", {"string"}}};
    QSet<QString> names;
    int underVehicle = 0;
    for (const auto *list : {&tool::SignalCatalogue::vehicleSignals(), &tool::SignalCatalogue::eventSignals()}) {
        for (const tool::SignalInfo &s : *list) {
            QVERIFY2(!names.contains(s.name), qPrintable(s.name));
            names << s.name;
            QVERIFY2(s.name.startsWith(QLatin1String("CanBox.")) || s.name.startsWith(QLatin1String("Vehicle.")),
                     qPrintable(s.name));
            QVERIFY2(!s.description.isEmpty() && types.contains(s.type), qPrintable(s.name));
            if (!s.name.startsWith(QLatin1String("Vehicle.")))
                continue;
            ++underVehicle;
            QVERIFY2(vss.contains(s.name), qPrintable(s.name + QLatin1String(" is not a VSS 6.0 path")));
            QCOMPARE(s.unit, vss.value(s.name).second);
            QVERIFY2(types.value(s.type).contains(vss.value(s.name).first), qPrintable(s.name));
        }
    }
    QVERIFY(underVehicle >= 15);
}

QTEST_GUILESS_MAIN(tst_Catalogue)
#include "tst_catalogue.moc"
