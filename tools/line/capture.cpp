#include "capture.h"

#include "printable.h"

#include <QDateTime>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tool {

namespace {
// Enough of the start of a capture to tell text from binary.
const int SniffBytes = 4096;

// Text is UTF-8 (a comment may say "21.5 °C") with no control bytes but TAB, CR, LF, VT and FF;
// a NUL is let through here and refused as part of its line. Anything else is the box's bytes.
bool looksLikeText(const QByteArray &content)
{
    int continuation = 0; // bytes still owed by a multi-byte sequence
    for (const char c : content) {
        const auto u = static_cast<unsigned char>(c);
        if (continuation > 0) {
            if ((u & 0xC0) != 0x80)
                return false;
            --continuation;
        } else if (u >= 0x80) {
            continuation = u >= 0xC2 && u <= 0xDF ? 1 : u >= 0xE0 && u <= 0xEF ? 2 : u >= 0xF0 && u <= 0xF4 ? 3 : -1;
            if (continuation < 0)
                return false;
        } else if ((u < 0x20 && u != 0 && (u < '\t' || u > '\r')) || u == 0x7F) {
            return false;
        }
    }
    return true; // a sequence cut by the end of the sample is still text
}

// What the start of a file says it is, when it is a form no capture takes: a sentence, or empty.
QString unreadableForm(const QByteArray &start)
{
    if (start.startsWith("\x1f\x8b"))
        return QStringLiteral("a gzip file; unpack it first (zcat FILE | canservice replay -)");
    const bool oddZeros = start.size() >= 4 && start.at(1) == 0 && start.at(3) == 0 && start.at(0) && start.at(2);
    const bool evenZeros = start.size() >= 4 && start.at(0) == 0 && start.at(2) == 0 && start.at(1) && start.at(3);
    if (start.startsWith("\xff\xfe") || start.startsWith("\xfe\xff") || oddZeros || evenZeros)
        return QStringLiteral("UTF-16 text; a capture is UTF-8 or ASCII (iconv -f UTF-16 -t UTF-8)");
    return QString();
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// A time as the tools write it, digits, a point and at most 15 digits in all: the digits as one
// whole number over the power of ten, both exact in a double, so that the one rounding of the
// division gives what strtod gives. False for any other form, which strtod then reads.
bool plainSeconds(const char *p, const char *end, double *seconds)
{
    static const double powers[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    qint64 whole = 0;
    int digits = 0, decimals = -1;
    for (; p < end; ++p) {
        if (*p == '.' && decimals < 0) {
            decimals = 0;
        } else if (*p >= '0' && *p <= '9' && digits < 15) {
            whole = whole * 10 + (*p - '0');
            ++digits;
            if (decimals >= 0)
                ++decimals;
        } else {
            return false;
        }
    }
    if (decimals < 0 || digits == 0)
        return false;
    *seconds = double(whole) / powers[decimals];
    return true;
}

int nibble(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

bool CaptureReader::feed(const QByteArray &data)
{
    if (!m_error.isEmpty())
        return false;
    if (m_mode == Binary) {
        if (!data.isEmpty())
            m_ready.push_back({-1.0, data});
        return true;
    }
    m_partial += data;
    if (m_mode == Undecided) {
        if (m_partial.size() < SniffBytes && !data.isEmpty())
            return true;
        const QString form = unreadableForm(m_partial.left(4));
        if (!form.isEmpty()) {
            m_error = QStringLiteral("%1: %2.").arg(m_name, form);
            m_partial.clear();
            return false;
        }
        // A byte-order mark says UTF-8 text, as an editor saved it.
        if (m_partial.startsWith("\xef\xbb\xbf"))
            m_partial.remove(0, 3);
        m_mode = looksLikeText(m_partial.left(SniffBytes)) ? Text : Binary;
        if (m_mode == Binary) {
            const QByteArray all = m_partial;
            m_partial.clear();
            return feed(all);
        }
    }
    const char *const base = m_partial.constData();
    int start = 0;
    while (const void *nl = std::memchr(base + start, '\n', size_t(m_partial.size() - start))) {
        const int end = int(static_cast<const char *>(nl) - base);
        if (!line(base + start, base + end)) {
            m_partial.clear();
            return false;
        }
        start = end + 1;
    }
    m_partial.remove(0, start);
    if (m_partial.size() > MaxLineBytes) {
        fail(m_lineNumber + 1, QStringLiteral("a line longer than %1 bytes; a capture line holds one chunk")
                                        .arg(MaxLineBytes));
        m_partial.clear();
        return false;
    }
    return true;
}

bool CaptureReader::finish()
{
    if (!feed(QByteArray()))
        return false;
    const QByteArray rest = m_partial;
    m_partial.clear();
    return m_mode == Binary || rest.isEmpty() || line(rest.constData(), rest.constData() + rest.size());
}

bool CaptureReader::take(CaptureChunk *chunk)
{
    if (m_ready.empty())
        return false;
    *chunk = std::move(m_ready.front());
    m_ready.pop_front();
    return true;
}

void CaptureReader::fail(int lineNumber, const QString &what)
{
    m_error = QStringLiteral("%1:%2: %3.").arg(m_name).arg(lineNumber).arg(what);
}

// One line: an optional time (a word with a decimal point), then hex digits in words of any
// length; '#' starts a comment. Read in one pass without splitting or copying the line.
bool CaptureReader::line(const char *p, const char *end)
{
    const int n = ++m_lineNumber;
    if (const void *nul = std::memchr(p, 0, size_t(end - p))) {
        fail(n, QStringLiteral("a NUL byte at column %1, which no text capture holds")
                        .arg(static_cast<const char *>(nul) - p + 1));
        return false;
    }
    if (m_timedLines + m_untimedLines == 0)
        readStart(p, end);
    if (const void *hash = std::memchr(p, '#', size_t(end - p)))
        end = static_cast<const char *>(hash);
    while (p < end && isBlank(*p))
        ++p;
    if (p == end)
        return true;

    CaptureChunk chunk;
    const char *wordEnd = p;
    while (wordEnd < end && !isBlank(*wordEnd))
        ++wordEnd;
    if (std::memchr(p, '.', size_t(wordEnd - p))) {
        double time = 0;
        bool read = plainSeconds(p, wordEnd, &time);
        if (!read) {
            const QByteArray word(p, int(wordEnd - p));
            char *parsedTo = nullptr;
            time = std::strtod(word.constData(), &parsedTo);
            read = parsedTo == word.constData() + word.size() && std::isfinite(time) && time >= 0;
        }
        if (!read || time > MaxSeconds) {
            fail(n, QStringLiteral("\"%1\" is not a time in seconds from 0 to %2")
                            .arg(printable(QByteArray(p, int(wordEnd - p))))
                            .arg(MaxSeconds, 0, 'g', 12));
            return false;
        }
        if (m_timedLines > 0 && time < m_lastTime) {
            fail(n, QStringLiteral("time %1 is earlier than the line before").arg(time));
            return false;
        }
        chunk.time = m_lastTime = time;
        ++m_timedLines;
        p = wordEnd;
    } else {
        ++m_untimedLines;
    }
    if (m_timedLines && m_untimedLines) {
        fail(n, QStringLiteral("some lines have a time and some do not"));
        return false;
    }
    // Written in place: at most a byte for every two characters left.
    chunk.bytes.resize(int(end - p) / 2);
    char *out = chunk.bytes.data();
    int high = -1;
    for (const char *c = p; c < end; ++c) {
        if (isBlank(*c))
            continue;
        const int v = nibble(*c);
        if (v < 0) {
            const char *from = c, *to = c;
            while (from > p && !isBlank(from[-1]))
                --from;
            while (to < end && !isBlank(*to))
                ++to;
            fail(n, QStringLiteral("\"%1\" is not hexadecimal").arg(printable(QByteArray(from, int(to - from)))));
            return false;
        }
        if (high < 0) {
            high = v;
        } else {
            *out++ = char(high << 4 | v);
            high = -1;
        }
    }
    if (high >= 0) {
        fail(n, QStringLiteral("odd number of hex digits; every byte needs two"));
        return false;
    }
    chunk.bytes.truncate(int(out - chunk.bytes.constData()));
    m_ready.push_back(std::move(chunk));
    return true;
}

// "# start TIME" in the header; any other comment, a free one that begins with "start" too, is
// only a comment.
void CaptureReader::readStart(const char *p, const char *end)
{
    static const QByteArray Key = QByteArrayLiteral("# start ");
    while (p < end && isBlank(*p))
        ++p;
    if (end - p <= Key.size() || std::memcmp(p, Key.constData(), size_t(Key.size())) != 0)
        return;
    const QString text = QString::fromLatin1(p + Key.size(), int(end - p) - Key.size()).trimmed();
    const QDateTime start = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (start.isValid() && start.timeSpec() != Qt::LocalTime && start.toMSecsSinceEpoch() > 0)
        m_startEpochUs = start.toMSecsSinceEpoch() * 1000;
}

QString CaptureReader::formatLine(double seconds, const QByteArray &bytes)
{
    return QString::asprintf("%.3f ", seconds) + QString::fromLatin1(bytes.toHex(' ')) + '\n';
}

QByteArray CaptureReader::header()
{
    return "# canservice capture: bytes from the CAN box, one chunk a line, seconds first\n";
}

QByteArray CaptureReader::startLine(qint64 epochUs)
{
    return "# start "
            + QDateTime::fromMSecsSinceEpoch(epochUs / 1000, Qt::UTC).toString(Qt::ISODateWithMs).toLatin1()
            + '\n';
}

} // namespace tool
