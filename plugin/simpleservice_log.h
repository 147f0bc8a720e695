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
// The line is written through a cursor into one buffer per thread and handed to the message
// handler directly: the same text as streaming the items into QDebug, for a fraction of the
// work and, once the buffer has grown, no allocation.

namespace canservice {
namespace logging {

// The default category lives as long as the process, and is looked up once, when the plugin
// is loaded: a lookup per line would be a call, a function's static a guard check. (So no
// static object of the plugin may log while it is being constructed.)
extern const QLoggingCategory *const defaultCategory;

inline bool enabled(QtMsgType type)
{
    return type == QtDebugMsg ? defaultCategory->isDebugEnabled() : defaultCategory->isCriticalEnabled();
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

// One line being written: it starts with "[DBG] <thread id> " (or "[ERR] ...") and is sent to
// the message handler by send(). The calling thread's buffer keeps its capacity from line to
// line; a line started while another is being handled on the same thread gets its own.
class Line
{
public:
    explicit Line(QtMsgType type);
    ~Line();
    Line(const Line &) = delete;
    Line &operator=(const Line &) = delete;

    // Room for size characters at the end of the line, to be written by the caller.
    QChar *room(int size)
    {
        if (m_end - m_at < size)
            grow(size);
        QChar *at = m_at;
        m_at += size;
        return at;
    }
    void text(const QChar *data, int size);
    void latin1(const char *data, int size)
    {
        QChar *d = room(size);
        for (int i = 0; i < size; ++i)
            d[i] = QLatin1Char(data[i]);
    }
    void character(char c) { *room(1) = QLatin1Char(c); }
    void number(qlonglong value);
    void send(int line, const char *function);

private:
    void grow(int size);

    QtMsgType m_type;
    QString m_own;
    QString *m_buffer;
    bool *m_busy = nullptr;
    QChar *m_begin = nullptr;
    QChar *m_at = nullptr;
    QChar *m_end = nullptr;
};

void item(Line &out, const char *text);
inline void item(Line &out, const QString &text)
{
    out.text(text.constData(), text.size());
}
void item(Line &out, const QByteArray &bytes);
void item(Line &out, const Hex &hex);
inline void item(Line &out, bool value)
{
    value ? out.latin1("true", 4) : out.latin1("false", 5);
}
inline void item(Line &out, int value)
{
    out.number(value);
}
inline void item(Line &out, long value)
{
    out.number(value);
}
void item(Line &out, float value);
void item(Line &out, QChar value);

// functionText is the signature as a QString, made once per logging call site.
template<typename... Items>
void write(QtMsgType type, int line, const char *function, const QString &functionText,
           const Items &...items)
{
    Line out(type);
    item(out, functionText);
    out.character(' ');
    out.number(line);
    out.latin1(" --", 3);
    ((out.character(' '), item(out, items)), ...);
    out.send(line, function);
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
