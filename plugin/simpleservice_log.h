#pragma once

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>

// Every line the service logs has one shape:
//   [DBG] <kernel thread id> <function signature> <line> -- <items...>
// with the message context ("simpleservice", line, signature, "default"). Items are written as
// QDebug writes them unquoted, separated by single blanks. The macros test the level first, so
// with the level disabled nothing is formatted and the items are not even evaluated.
//
// The line is put together in one reused QString and handed to the message handler directly:
// the same text as streaming the items into QDebug, for a fraction of the work and, once the
// buffer has grown, no allocation.

namespace canservice {
namespace logging {

// "[DBG] <kernel thread id> " or "[ERR] ...", worked out once per thread.
const QString &linePrefix(QtMsgType type);

inline bool enabled(QtMsgType type)
{
    // The default category lives as long as the process; looking it up is a call per line.
    static const QLoggingCategory *const category = QLoggingCategory::defaultCategory();
    return type == QtDebugMsg ? category->isDebugEnabled() : category->isCriticalEnabled();
}

// Bytes written as hexadecimal digits straight into the line, with an optional separator, the
// way QByteArray::toHex() would write them.
struct Hex
{
    const QByteArray &bytes;
    char separator;
};
inline Hex hex(const QByteArray &bytes, char separator = '\0')
{
    return {bytes, separator};
}

void appendNumber(QString &out, qlonglong value);
void item(QString &out, const char *text);
inline void item(QString &out, const QString &text)
{
    out += text;
}
void item(QString &out, const QByteArray &bytes);
void item(QString &out, const Hex &hex);
inline void item(QString &out, bool value)
{
    out += value ? QLatin1String("true") : QLatin1String("false");
}
inline void item(QString &out, int value)
{
    appendNumber(out, value);
}
inline void item(QString &out, long value)
{
    appendNumber(out, value);
}
void item(QString &out, float value);
void item(QString &out, QChar value);

// The line being built, one per thread, kept with its capacity from line to line.
QString &lineBuffer();
void output(QtMsgType type, int line, const char *function, const QString &message);

// functionText is the signature as a QString, made once per logging call site.
template<typename... Items>
void write(QtMsgType type, int line, const char *function, const QString &functionText,
           const Items &...items)
{
    QString &out = lineBuffer();
    out.resize(0);
    out += linePrefix(type);
    out += functionText;
    out += QLatin1Char(' ');
    appendNumber(out, line);
    out += QLatin1String(" --");
    ((out += QLatin1Char(' '), item(out, items)), ...);
    output(type, line, function, out);
}

} // namespace logging
} // namespace canservice

#define SS_LOG(type, ...)                                                                          \
    do {                                                                                           \
        if (canservice::logging::enabled(type)) {                                                  \
            static const QString ss_function = QString::fromLatin1(Q_FUNC_INFO);                   \
            canservice::logging::write(type, __LINE__, Q_FUNC_INFO, ss_function, __VA_ARGS__);     \
        }                                                                                          \
    } while (false)

#define SS_DBG(...) SS_LOG(QtDebugMsg, __VA_ARGS__)
#define SS_ERR(...) SS_LOG(QtCriticalMsg, __VA_ARGS__)
