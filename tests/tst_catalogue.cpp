// The signal catalogue against the release of the COVESA Vehicle Signal Specification it follows.
#include "jsontext.h"
#include "printable.h"
#include "signalcatalogue.h"
#include "vehiclesnapshot.h"

#include <QFile>
#include <QSet>
#include <QtTest>

class tst_Catalogue : public QObject
{
    Q_OBJECT

private slots:
    void vehicleNamesAreVssPathsWithTheirUnits();
    void valuesAreWrittenAsQtWritesThem();
    void tripTextsSplitIntoNumberAndUnit_data();
    void tripTextsSplitIntoNumberAndUnit();
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
// The printer writes JSON values and float readings by hand, for speed: each must come out as
// QJsonDocument writes it and as the float's shortest text reads, on random values of every kind.
void tst_Catalogue::valuesAreWrittenAsQtWritesThem()
{
    QRandomGenerator random(7);
    // As Qt writes it, but for the characters a terminal would obey or that turn text around,
    // which Qt leaves bare and the tool escapes.
    const auto viaDocument = [](const QJsonValue &v) {
        const QByteArray array = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
        QString written;
        for (const QChar c : QString::fromUtf8(array.mid(1, array.size() - 2)))
            written += c.unicode() >= 0x20 && tool::needsEscape(c.unicode())
                    ? QString::asprintf("\\u%04x", c.unicode()) : QString(c);
        return written;
    };
    QList<QJsonValue> values = {QJsonValue(), true, false, 0, -0.0, 1e300, 1e6, -120, 1e15, 0.5, -2.5e-7, 12345.6, 9007199254740993.0,
                                QStringLiteral("°C \" \\ \b\f\n\r\t\x01\x0b\x1f\x7f"), QString(QChar(0xD800)),
                                QString(QChar(0xDC00)) + QChar(0xD83D) + QChar(0xDE97), QJsonArray{1, "a"}};
    // The same double, to the last bit (QCOMPARE's is fuzzy, and takes every tiny number for 0).
    const auto widenedAsQt = [](float f) {
        return QByteArray::number(tool::VehicleSnapshot::plain(f), 'g', 17)
                == QByteArray::number(tool::VehicleSnapshot::format(QVariant(f)).toDouble(), 'g', 17);
    };
    // Floats whose neighbours are not equally far: the powers of two, and subnormal floats.
    for (int e = -149; e < 128; ++e)
        for (const float f : {std::ldexp(1.0f, e), std::ldexp(float(e + 150) * 1237.0f, -149)})
            QVERIFY2(widenedAsQt(f), QByteArray::number(f, 'g', 9));
    for (int i = 0; i < 2000; ++i) {
        const float f = std::ldexp(float(random.generateDouble()) - 0.5f, int(random.bounded(60)) - 30);
        QVERIFY2(widenedAsQt(f), QByteArray::number(f, 'g', 9));
        const qint64 ms = qint64(random.bounded(4102444800.0) * 1000);
        for (const qint64 t : {ms, ms / 1000 * 1000 + 7, ms + 1000}) // a new second, then the same one
            QCOMPARE(tool::json::isoTime(t), QDateTime::fromMSecsSinceEpoch(t, Qt::UTC).toString(Qt::ISODateWithMs));
        for (const qint64 t : {ms, ms / 10 * 10, ms / 100 * 100, ms / 1000 * 1000, ms % 1000, -ms % 5000}) {
            QString fast, plain;
            tool::json::appendMilliseconds(fast, t);
            tool::json::appendNumber(plain, t / 1000.0);
            QCOMPARE(fast, plain);
        }
        for (const double shown : {tool::VehicleSnapshot::plain(f), random.generateDouble() * 1e6})
            QCOMPARE((tool::Reading{shown, QString()}.text()), QString::number(shown, 'g', 12));
        values << double(f) << double(qint64(random.generate64()) >> random.bounded(64))
               << random.bounded(1000000) / 100.0 << std::ldexp(random.generateDouble() - 0.5, int(random.bounded(120)) - 60);
        QString text;
        for (int c = int(random.bounded(6)); c > 0; --c)
            text += QChar(ushort(random.bounded(4) == 0 ? random.bounded(0x10000) : random.bounded(0x80)));
        values << text;
    }
    for (const QJsonValue &v : values)
        QCOMPARE(tool::json::text(v), viaDocument(v));
}

void tst_Catalogue::tripTextsSplitIntoNumberAndUnit_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("unit");
    QTest::newRow("whole") << "432km" << QVariant(432.0) << "km";
    QTest::newRow("decimal, negative") << "-1.5L/100km" << QVariant(-1.5) << "L/100km";
    QTest::newRow("a point without digits is the unit's") << "7.km" << QVariant(7.0) << ".km";
    QTest::newRow("one point only") << "12.5.3" << QVariant(12.5) << ".3";
    QTest::newRow("no number") << "--.-" << QVariant(QStringLiteral("--.-")) << "";
    QTest::newRow("no digits before the point") << ".5" << QVariant(QStringLiteral(".5")) << "";
    QTest::newRow("nothing") << "" << QVariant() << "";
}

void tst_Catalogue::tripTextsSplitIntoNumberAndUnit()
{
    QFETCH(QString, text);
    QFETCH(QVariant, value);
    QFETCH(QString, unit);
    const tool::Reading r = tool::SignalCatalogue::numberWithUnit(text);
    QCOMPARE(r.value, value);
    QCOMPARE(r.unit, unit);
}

#include "tst_catalogue.moc"
