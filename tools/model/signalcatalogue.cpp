#include "signalcatalogue.h"
#include "signalcatalogue_p.h"

#include <QJsonValue>

#include <charconv>

namespace tool {

namespace {
// A number as printf's %.12g writes it in the C locale, whatever the user's locale.
QString twelveDigits(double value)
{
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 12);
    return QString::fromLatin1(digits, int(result.ptr - digits));
}
} // namespace

QString Reading::text() const
{
    if (isNull())
        return QStringLiteral("no reading");
    QString t;
    if (value.type() == QVariant::Bool)
        t = value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    else if (value.type() == QVariant::String)
        t = QLatin1Char('"') + value.toString() + QLatin1Char('"');
    else if (value.type() == QVariant::Int)
        t = QString::number(value.toInt());
    else
        t = twelveDigits(value.toDouble());
    return unit.isEmpty() ? t : t + QLatin1Char(' ') + unit;
}

QJsonValue Reading::json() const
{
    return isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue::fromVariant(value);
}

namespace SignalCatalogue {
Reading numberWithUnit(const QString &text)
{
    const auto digitsFrom = [&text](int i) {
        while (i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9'))
            ++i;
        return i;
    };
    const int start = text.startsWith(QLatin1Char('-')) ? 1 : 0;
    int end = digitsFrom(start);
    if (end == start)
        return text.isEmpty() ? Reading() : Reading{text, QString()};
    if (end + 1 < text.size() && text.at(end) == QLatin1Char('.') && digitsFrom(end + 1) > end + 1)
        end = digitsFrom(end + 1);
    return {QStringRef(&text, 0, end).toDouble(), text.mid(end)};
}

const QVector<SignalInfo> &vehicleSignals()
{
    static const QVector<SignalInfo> all = [] {
        QVector<SignalInfo> list = catalogue::carAndClimate() + catalogue::parkingTripAndSettings();
        for (SignalInfo &s : list)
            if (catalogue::announcedByName(s.name) >= 0 && !s.noReading.startsWith(QLatin1String("null")))
                s.noReading = QStringLiteral("null until the box reports it (the plugin holds %1 before)")
                                      .arg(s.noReading);
        return list;
    }();
    return all;
}

const QVector<SignalInfo> &eventSignals()
{
    static const QVector<SignalInfo> all = catalogue::events();
    return all;
}

const SignalInfo *find(const QString &name)
{
    for (const auto *list : {&vehicleSignals(), &eventSignals()})
        for (const SignalInfo &s : *list)
            if (s.name == name)
                return &s;
    return nullptr;
}

int announcedBy(int index)
{
    static const QVector<int> bits = [] {
        QVector<int> list;
        for (const SignalInfo &s : vehicleSignals())
            list << catalogue::announcedByName(s.name);
        return list;
    }();
    return bits.at(index);
}

Reading read(const VehicleSnapshot &snapshot, int index)
{
    const int bit = announcedBy(index);
    return bit < 0 || snapshot.heard(HeardSignals::Bit(bit)) ? vehicleSignals().at(index).read(snapshot)
                                                            : Reading();
}

QVector<Reading> read(const VehicleSnapshot &snapshot)
{
    QVector<Reading> readings;
    readings.reserve(vehicleSignals().size());
    for (int i = 0; i < vehicleSignals().size(); ++i)
        readings << read(snapshot, i);
    return readings;
}
} // namespace SignalCatalogue

} // namespace tool
