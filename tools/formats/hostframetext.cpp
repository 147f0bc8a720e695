#include "hostframetext.h"
#include "printable.h"

#include "canboxframe.h"

namespace tool {

namespace {
QString hex(int byte)
{
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0'));
}

QString describeSetting(int code, int value)
{
    namespace setting = canbox::setting;
    switch (code) {
    case setting::ClimateKey:
        if (value == canbox::climate::TemperatureUp || value == canbox::climate::TemperatureDown)
            return QStringLiteral("box <- climate key temperature %1")
                    .arg(value == canbox::climate::TemperatureUp ? "up" : "down");
        return QStringLiteral("box <- climate key 0x%1").arg(hex(value));
    case setting::ClimateLevel:
        return QStringLiteral("box <- climate temperature level %1").arg(value);
    case setting::DistanceUnit:
        return QStringLiteral("box <- unit distance %1")
                .arg(value == setting::Miles ? "miles" : "kilometres");
    case setting::TemperatureUnit:
        return QStringLiteral("box <- unit temperature %1").arg(value == 1 ? "°F" : "°C");
    case setting::UnitEntry0:
    case setting::UnitEntry5:
        return QStringLiteral("box <- unit entry %1 level %2")
                .arg(code == setting::UnitEntry0 ? 0 : 5)
                .arg(value);
    case setting::AmbientColour:
        return QStringLiteral("box <- ambient colour code %1").arg(value);
    case setting::LightMode:
        return QStringLiteral("box <- light mode %1").arg(value);
    default:
        return QStringLiteral("box <- setting 0x%1 = 0x%2").arg(hex(code), hex(value));
    }
}

// The text frame: tag, kind, then UTF-16 units low byte first up to the first zero unit.
QString describeTrackText(const QByteArray &data)
{
    QString text;
    for (int i = 2; i + 1 < data.size(); i += 2) {
        const ushort unit = ushort(dataByte(data, i) | (dataByte(data, i + 1) << 8));
        if (unit == 0)
            break;
        text.append(QChar(unit));
    }
    return QStringLiteral("box <- %1 text \"%2\"")
            .arg(dataByte(data, 1) == canbox::tracktext::Song ? QLatin1String("song")
                                                              : QLatin1String("album"),
                 printable(text));
}
} // namespace

QString boxMessageName(int id)
{
    const char *name = canbox::messageName(quint8(id), canbox::Direction::FromBox);
    return name ? QString::fromLatin1(name) : QStringLiteral("message 0x%1").arg(hex(id));
}

QString describeHostFrame(int id, const QByteArray &data)
{
    const auto at = [&data](int i) { return dataByte(data, i); };
    namespace out = canbox::out;
    switch (id) {
    case out::StartStop:
        return at(0) == out::Start ? QStringLiteral("box <- start") : QStringLiteral("box <- stop");
    case out::DataRequest:
        return QStringLiteral("box <- request %1").arg(boxMessageName(at(0)));
    case out::RadarStart:
        return QStringLiteral("box <- radar start");
    case out::Setting:
        return describeSetting(at(0), at(1));
    case out::SourceStatus:
        return QStringLiteral("box <- source status %1 %2").arg(hex(at(0)), hex(at(1)));
    case out::Radio: {
        const int frequency = at(1) | (at(2) << 8);
        const QString band = at(0) == canbox::radio::Fm1   ? QStringLiteral("FM1")
                : at(0) == canbox::radio::Fm2 ? QStringLiteral("FM2")
                                              : QStringLiteral("AM");
        const QString tuned = at(0) == canbox::radio::Other ? QStringLiteral("%1 kHz").arg(frequency)
                                                            : QString::asprintf("%.2f MHz", frequency / 100.0);
        return QStringLiteral("box <- radio %1 %2").arg(band, tuned);
    }
    case out::TrackText:
        return describeTrackText(data);
    default:
        return QStringLiteral("box <- frame 0x%1: %2").arg(hex(id), QString::fromLatin1(data.toHex(' ')));
    }
}

} // namespace tool
