#include "simpleservice_log.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cmath>
#include <cstring>

namespace canservice {
namespace logging {

const QLoggingCategory *const defaultCategory = QLoggingCategory::defaultCategory();

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
        buffer.resize(256);
    }
    QString debug;
    QString error;
    QString buffer;
    bool busy = false;
};

ThreadLines &threadLines()
{
    thread_local ThreadLines lines;
    return lines;
}

int digitCount(quint64 value)
{
    // Most numbers in the lines are bytes: up to four digits are counted without dividing.
    for (int count = 0;; count += 4, value /= 10000) {
        if (value < 10)
            return count + 1;
        if (value < 100)
            return count + 2;
        if (value < 1000)
            return count + 3;
        if (value < 10000)
            return count + 4;
    }
}

// Writes value's decimal digits so that the last one lands just before end, two at a time.
void writeDigits(QChar *end, quint64 value)
{
    while (value >= 100) {
        const auto pair = unsigned(value % 100);
        value /= 100;
        *--end = QLatin1Char(char('0' + pair % 10));
        *--end = QLatin1Char(char('0' + pair / 10));
    }
    if (value >= 10) {
        *--end = QLatin1Char(char('0' + value % 10));
        value /= 10;
    }
    *--end = QLatin1Char(char('0' + value));
}

bool isAscii(const char *text, int size)
{
    for (int i = 0; i < size; ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80)
            return false;
    return true;
}

// Texts and bytes are UTF-8; the common ASCII case goes in without a temporary.
void utf8(Line &out, const char *text, int size)
{
    if (isAscii(text, size)) {
        out.latin1(text, size);
    } else {
        const QString decoded = QString::fromUtf8(text, size);
        out.text(decoded.constData(), decoded.size());
    }
}
} // namespace

Line::Line(QtMsgType type) : m_type(type), m_buffer(&m_own)
{
    ThreadLines &lines = threadLines();
    if (!lines.busy) {
        // The handler may have kept a copy of the last line: a shared buffer is let go.
        if (!lines.buffer.isDetached())
            lines.buffer = QString();
        m_buffer = &lines.buffer;
        m_busy = &lines.busy;
        lines.busy = true;
    }
    m_buffer->resize(qMax(m_buffer->capacity(), 256));
    m_begin = m_at = m_buffer->data();
    m_end = m_begin + m_buffer->size();
    const QString &prefix = type == QtDebugMsg ? lines.debug : lines.error;
    text(prefix.constData(), prefix.size());
}

Line::~Line()
{
    if (m_busy)
        *m_busy = false;
}

void Line::grow(int size)
{
    const int used = int(m_at - m_begin);
    m_buffer->resize(qMax(2 * m_buffer->size(), used + size + 64));
    m_begin = m_buffer->data();
    m_at = m_begin + used;
    m_end = m_begin + m_buffer->size();
}

void Line::text(const QChar *data, int size)
{
    if (size > 0)
        std::memcpy(room(size), data, size_t(size) * sizeof(QChar));
}

void Line::number(qlonglong value)
{
    const quint64 magnitude = value < 0 ? quint64(-(value + 1)) + 1 : quint64(value);
    const int count = digitCount(magnitude);
    QChar *d = room(count + (value < 0 ? 1 : 0));
    if (value < 0)
        *d++ = QLatin1Char('-');
    writeDigits(d + count, magnitude);
}

void Line::send(int line, const char *function)
{
    m_buffer->resize(int(m_at - m_begin));
    const QMessageLogContext context("simpleservice", line, function, "default");
    qt_message_output(m_type, context, *m_buffer);
}

void item(Line &out, const char *text)
{
    utf8(out, text, int(qstrlen(text)));
}

void item(Line &out, const QByteArray &bytes)
{
    // QDebug stops a byte array's text at its first zero byte, as fromUtf8 of the data does.
    utf8(out, bytes.constData(), int(qstrnlen(bytes.constData(), uint(bytes.size()))));
}

void item(Line &out, const Hex &hex)
{
    static const char hexDigits[] = "0123456789abcdef";
    const int count = hex.bytes.size();
    if (count == 0)
        return;
    QChar *d = out.room(count * 2 + (hex.separator ? count - 1 : 0));
    const char *bytes = hex.bytes.constData();
    for (int i = 0; i < count; ++i) {
        if (i > 0 && hex.separator)
            *d++ = QLatin1Char(hex.separator);
        const auto b = static_cast<unsigned char>(bytes[i]);
        *d++ = QLatin1Char(hexDigits[b >> 4]);
        *d++ = QLatin1Char(hexDigits[b & 0xF]);
    }
}

// As QDebug writes a float: six significant digits, a half rounded away from zero, no trailing
// zeros, an exponent below 1e-4 and from 1e6 on. A value whose binary fraction has at most 17
// places (speeds in sixteenths, temperatures in halves...) is an exact decimal of at most 17
// places: it is rounded and written here from those digits. The rest goes through Qt's own
// conversion.
void item(Line &out, float value)
{
    if (value == 0.0f) {
        out.character('0');
        return;
    }
    if (std::isfinite(value)) {
        int exponent = 0;
        const float fraction = std::frexp(std::fabs(value), &exponent); // [0.5, 1)
        quint64 whole = quint64(std::ldexp(fraction, 24)); // |value| = whole / 2^places
        int places = 24 - exponent;
        while (places > 0 && !(whole & 1)) {
            whole >>= 1;
            --places;
        }
        if (places >= 0 && places <= 17) {
            // |value| = whole * 5^places / 10^places = digits * 10^-scale
            quint64 digits = whole;
            for (int i = 0; i < places; ++i)
                digits *= 5;
            int scale = places;
            const int count = digitCount(digits);
            if (count > 6) {
                quint64 unit = 1;
                for (int i = 6; i < count; ++i)
                    unit *= 10;
                digits = (digits + unit / 2) / unit;
                scale -= count - 6;
            }
            while (digits % 10 == 0) {
                digits /= 10;
                --scale;
            }
            const int significant = digitCount(digits);
            const int leading = significant - 1 - scale; // power of ten of the first digit
            if (leading >= -4 && leading < 6) {
                if (value < 0)
                    out.character('-');
                if (scale <= 0) {
                    QChar *d = out.room(significant - scale);
                    writeDigits(d + significant, digits);
                    for (int i = significant; i < significant - scale; ++i)
                        d[i] = QLatin1Char('0');
                } else if (significant > scale) {
                    QChar *d = out.room(significant + 1);
                    const int integer = significant - scale;
                    writeDigits(d + significant + 1, digits);
                    std::memmove(d, d + 1, size_t(integer) * sizeof(QChar));
                    d[integer] = QLatin1Char('.');
                } else {
                    QChar *d = out.room(2 + scale);
                    d[0] = QLatin1Char('0');
                    d[1] = QLatin1Char('.');
                    for (int i = 0; i < scale - significant; ++i)
                        d[2 + i] = QLatin1Char('0');
                    writeDigits(d + 2 + scale, digits);
                }
                return;
            }
        }
    }
    const QString text = QString::number(double(value), 'g', 6);
    out.text(text.constData(), text.size());
}

// As QDebug writes a character: control characters and anything beyond ASCII escaped.
void item(Line &out, QChar value)
{
    const uint code = value.unicode();
    QString text;
    if (code < 0x20)
        text = QLatin1String("\\x") + QString::number(code, 16);
    else if (code < 0x80)
        text = value;
    else
        text = QLatin1String("\\u") + QStringLiteral("%1").arg(code, 4, 16, QLatin1Char('0'));
    out.text(text.constData(), text.size());
}

} // namespace logging
} // namespace canservice
