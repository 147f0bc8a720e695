#include "printable.h"

namespace tool {

bool needsEscapes(const QString &text)
{
    for (const QChar c : text)
        if (needsEscape(c.unicode()))
            return true;
    return false;
}

QString printable(const QString &text)
{
    if (!needsEscapes(text))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!needsEscape(u))
            out += c;
        else if (u < 0x80)
            out += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        else
            out += QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
    }
    return out;
}

QString printable(const QByteArray &utf8)
{
    return printable(QString::fromUtf8(utf8));
}

} // namespace tool
