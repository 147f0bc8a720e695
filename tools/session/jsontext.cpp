#include "jsontext.h"

#include <QJsonArray>
#include <QJsonDocument>

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
    out += QString::number(d, magnitude == double(quint64(magnitude)) ? 'f' : 'g',
                           QLocale::FloatingPointShortest);
}

void appendString(QString &out, const QString &text)
{
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

} // namespace json
} // namespace tool
