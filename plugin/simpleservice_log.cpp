#include "simpleservice_log.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace canservice {
namespace logging {

namespace {
// What each thread keeps for its lines: the two prefixes with the kernel's thread id (so that a
// line can be matched with what top, perf or gdb show) and the buffer a line is built in.
struct ThreadLines
{
    ThreadLines()
    {
        const QString id = QString::number(static_cast<long>(::syscall(SYS_gettid)));
        debug = QLatin1String("[DBG] ") + id + QLatin1Char(' ');
        error = QLatin1String("[ERR] ") + id + QLatin1Char(' ');
        buffer.reserve(256);
    }
    QString debug;
    QString error;
    QString buffer;
};

ThreadLines &threadLines()
{
    thread_local ThreadLines lines;
    return lines;
}
} // namespace

const QString &linePrefix(QtMsgType type)
{
    ThreadLines &lines = threadLines();
    return type == QtDebugMsg ? lines.debug : lines.error;
}

QString &lineBuffer()
{
    return threadLines().buffer;
}

void appendNumber(QString &out, qlonglong value)
{
    qulonglong v = value < 0 ? qulonglong(-(value + 1)) + 1 : qulonglong(value);
    int n = value < 0 ? 2 : 1;
    for (qulonglong rest = v / 10; rest; rest /= 10)
        ++n;
    // Written in place, last digit first, into room the line already has.
    const int start = out.size();
    out.resize(start + n);
    QChar *d = out.data() + start + n;
    do {
        *--d = QLatin1Char(char('0' + v % 10));
        v /= 10;
    } while (v);
    if (value < 0)
        *--d = QLatin1Char('-');
}

namespace {
bool isAscii(const char *text, int size)
{
    for (int i = 0; i < size; ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80)
            return false;
    return true;
}
} // namespace

// Texts and bytes are UTF-8; the common ASCII case goes in without a temporary.
void item(QString &out, const char *text)
{
    const int size = int(qstrlen(text));
    if (isAscii(text, size))
        out += QLatin1String(text, size);
    else
        out += QString::fromUtf8(text, size);
}

void item(QString &out, const QByteArray &bytes)
{
    // QDebug stops a byte array's text at its first zero byte, as fromUtf8 of the data does.
    const int size = int(qstrnlen(bytes.constData(), uint(bytes.size())));
    if (isAscii(bytes.constData(), size))
        out += QLatin1String(bytes.constData(), size);
    else
        out += QString::fromUtf8(bytes.constData(), size);
}

void item(QString &out, const Hex &hex)
{
    static const char digits[] = "0123456789abcdef";
    const int count = hex.bytes.size();
    if (count == 0)
        return;
    const int start = out.size();
    out.resize(start + count * 2 + (hex.separator ? count - 1 : 0));
    QChar *d = out.data() + start;
    for (int i = 0; i < count; ++i) {
        if (i > 0 && hex.separator)
            *d++ = QLatin1Char(hex.separator);
        const auto b = static_cast<unsigned char>(hex.bytes.at(i));
        *d++ = QLatin1Char(digits[b >> 4]);
        *d++ = QLatin1Char(digits[b & 0xF]);
    }
}

// As QDebug writes a float: six significant digits, shortest form.
void item(QString &out, float value)
{
    char text[32];
    const int n = qsnprintf(text, sizeof text, "%.6g", double(value));
    out += QLatin1String(text, qBound(0, n, int(sizeof text) - 1));
}

// As QDebug writes a character: control characters and anything beyond ASCII escaped.
void item(QString &out, QChar value)
{
    const uint code = value.unicode();
    if (code < 0x20)
        out += QLatin1String("\\x") + QString::number(code, 16);
    else if (code < 0x80)
        out += value;
    else
        out += QLatin1String("\\u") + QStringLiteral("%1").arg(code, 4, 16, QLatin1Char('0'));
}

void output(QtMsgType type, int line, const char *function, const QString &message)
{
    const QMessageLogContext context("simpleservice", line, function, "default");
    qt_message_output(type, context, message);
}

} // namespace logging
} // namespace canservice
