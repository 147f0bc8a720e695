#pragma once

#include <QByteArray>
#include <QString>

namespace tool {

// Text that came from the line or from a file, made safe to show a person: control characters
// (C0, DEL, C1: ESC among them, which a terminal would obey) and the controls that reorder text
// (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069) become visible escapes, "\x1b",
// "\u202e"; line and paragraph separators too. Everything else stands as it is. JSON escapes by
// its own rules instead.
QString printable(const QString &text);
// The same for bytes read as UTF-8: what is not UTF-8 becomes U+FFFD.
QString printable(const QByteArray &utf8);
// Whether printable() shows this character as an escape.
inline bool needsEscape(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F
            || (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}
// Whether printable() would change the text.
bool needsEscapes(const QString &text);

} // namespace tool
