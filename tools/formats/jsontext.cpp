#include "jsontext.h"

#include "printable.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

#include <charconv>
#include <cmath>

namespace tool {
namespace json {

void appendNumber(QString &out, double d)
{
    if (!std::isfinite(d)) {
        out += QLatin1String("null");
        return;
    }
    const double magnitude = std::abs(d);
    // Where Qt writes a number without an exponent (a whole number below 2^53, or a fraction from
    // 0.0001 up), the shortest digits that read back as the same double are the same digits
    // whoever finds them; -0 and the rest are left to Qt.
    if (magnitude < 9007199254740992.0 && (magnitude >= 1e-4 || (d == 0 && !std::signbit(d)))) {
        char text[32];
        const auto written = magnitude == std::floor(magnitude)
                ? std::to_chars(text, text + sizeof text, qint64(d))
                : std::to_chars(text, text + sizeof text, d, std::chars_format::fixed);
        if (written.ec == std::errc()) {
            out += QLatin1String(text, int(written.ptr - text));
            return;
        }
    }
    out += QString::number(d, magnitude == double(quint64(magnitude)) ? 'f' : 'g',
                           QLocale::FloatingPointShortest);
}

void appendString(QString &out, const QString &text)
{
    // Most texts need no escape: they are written whole.
    bool plain = true;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u < 0x20 || u == '"' || u == '\\' || c.isSurrogate() || needsEscape(u)) {
            plain = false;
            break;
        }
    }
    if (plain) {
        out += QLatin1Char('"');
        out += text;
        out += QLatin1Char('"');
        return;
    }
    out.reserve(out.size() + text.size() + 2);
    out += QLatin1Char('"');
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const ushort u = c.unicode();
        if (u == '"' || u == '\\') {
            out += QLatin1Char('\\');
            out += c;
        } else if (u < 0x20) {
            static const char names[] = "btn\0fr"; // 8 to 13; 11 has no short name
            if (u >= 8 && u <= 13 && u != 11) {
                out += QLatin1Char('\\');
                out += QLatin1Char(names[u - 8]);
            } else {
                out += QString::asprintf("\\u%04x", u);
            }
        } else if (needsEscape(u)) {
            // C1 controls and the controls that reorder text: the same text, harmless on a
            // terminal that shows the line.
            out += QString::asprintf("\\u%04x", u);
        } else if (c.isSurrogate()
                   && !(c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())) {
            // A lone half of a pair has no UTF-8 form.
            out += QString::asprintf("\\u%04x", u);
        } else {
            out += c;
            if (c.isHighSurrogate())
                out += text.at(++i);
        }
    }
    out += QLatin1Char('"');
}

// A reading's value: null, a bool, a number or a text.
void appendValue(QString &out, const QVariant &value)
{
    switch (int(value.type())) {
    case QMetaType::UnknownType:
        out += QLatin1String("null");
        break;
    case QMetaType::Bool:
        out += value.toBool() ? QLatin1String("true") : QLatin1String("false");
        break;
    case QMetaType::QString:
        appendString(out, value.toString());
        break;
    default:
        appendNumber(out, value.toDouble());
        break;
    }
}

QString text(const QJsonValue &value)
{
    QString out;
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double:
        appendNumber(out, value.toDouble());
        return out;
    case QJsonValue::String:
        appendString(out, value.toString());
        return out;
    default: {
        const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
        return QString::fromUtf8(array.mid(1, array.size() - 2));
    }
    }
}

void appendMilliseconds(QString &out, qint64 ms)
{
    if (ms < 0) {
        appendNumber(out, ms / 1000.0);
        return;
    }
    char whole[24];
    out += QLatin1String(whole, int(std::to_chars(whole, whole + sizeof whole, ms / 1000).ptr - whole));
    int fraction = int(ms % 1000);
    if (fraction == 0)
        return;
    int digits = 3;
    while (fraction % 10 == 0) {
        fraction /= 10;
        --digits;
    }
    out += QLatin1Char('.');
    const char text[] = {char('0' + fraction / 100 % 10), char('0' + fraction / 10 % 10), char('0' + fraction % 10)};
    out += QLatin1String(text + 3 - digits, digits);
}

// The date and the second are made once a second.
void appendIsoTime(QString &out, qint64 ms)
{
    thread_local qint64 second = -1;
    thread_local QString prefix; // "2026-12-06T07:48:12."
    const qint64 s = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    if (s != second) {
        second = s;
        const QString whole = QDateTime::fromMSecsSinceEpoch(s * 1000, Qt::UTC).toString(Qt::ISODate);
        prefix = whole.left(whole.size() - 1) + QLatin1Char('.'); // without its "Z"
    }
    const int milli = int(ms - s * 1000);
    const char rest[] = {char('0' + milli / 100), char('0' + milli / 10 % 10), char('0' + milli % 10), 'Z'};
    out += prefix;
    out += QLatin1String(rest, 4);
}

QString isoTime(qint64 ms)
{
    QString text;
    appendIsoTime(text, ms);
    return text;
}

} // namespace json
} // namespace tool
