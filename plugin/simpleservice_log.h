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
// The line is put together in one QString and handed to the message handler directly: the same
// text as streaming the items into QDebug, for a fraction of the work.

namespace canservice {
namespace logging {

long threadId();

inline bool enabled(QtMsgType type)
{
    // The default category lives as long as the process; looking it up is a call per line.
    static const QLoggingCategory *const category = QLoggingCategory::defaultCategory();
    return type == QtDebugMsg ? category->isDebugEnabled() : category->isCriticalEnabled();
}

inline void item(QString &out, const char *text)
{
    out += QString::fromUtf8(text);
}
inline void item(QString &out, const QString &text)
{
    out += text;
}
inline void item(QString &out, const QByteArray &bytes)
{
    out += QString::fromUtf8(bytes);
}
inline void item(QString &out, bool value)
{
    out += value ? QLatin1String("true") : QLatin1String("false");
}
inline void item(QString &out, int value)
{
    out += QString::number(value);
}
inline void item(QString &out, long value)
{
    out += QString::number(value);
}
inline void item(QString &out, float value)
{
    out += QString::number(double(value), 'g', 6);
}
void item(QString &out, QChar value);

void output(QtMsgType type, int line, const char *function, const QString &message);

template<typename... Items>
void write(QtMsgType type, int line, const char *function, const Items &...items)
{
    QString out;
    out.reserve(160);
    out += type == QtDebugMsg ? QLatin1String("[DBG] ") : QLatin1String("[ERR] ");
    out += QString::number(threadId());
    out += QLatin1Char(' ');
    out += QLatin1String(function);
    out += QLatin1Char(' ');
    out += QString::number(line);
    out += QLatin1String(" --");
    ((out += QLatin1Char(' '), item(out, items)), ...);
    output(type, line, function, out);
}

} // namespace logging
} // namespace canservice

#define SS_LOG(type, ...)                                                                          \
    do {                                                                                           \
        if (canservice::logging::enabled(type))                                                    \
            canservice::logging::write(type, __LINE__, Q_FUNC_INFO, __VA_ARGS__);                  \
    } while (false)

#define SS_DBG(...) SS_LOG(QtDebugMsg, __VA_ARGS__)
#define SS_ERR(...) SS_LOG(QtCriticalMsg, __VA_ARGS__)
