#include "capture.h"

#include <QRegularExpression>

namespace {
// Enough of the start of a capture to tell text from binary.
const int SniffBytes = 4096;

bool looksLikeText(const QByteArray &content)
{
    for (const char c : content) {
        const auto u = static_cast<unsigned char>(c);
        if (u == '\n' || u == '\r' || u == '\t')
            continue;
        if (u < 0x20 || u >= 0x7F)
            return false;
    }
    return true;
}
} // namespace

bool CaptureReader::feed(const QByteArray &data)
{
    if (m_mode == Binary) {
        if (!data.isEmpty())
            m_ready.append({-1.0, data});
        return true;
    }
    m_partial += data;
    if (m_mode == Undecided) {
        if (m_partial.size() < SniffBytes && !data.isEmpty())
            return true;
        m_mode = looksLikeText(m_partial.left(SniffBytes)) ? Text : Binary;
        if (m_mode == Binary) {
            const QByteArray all = m_partial;
            m_partial.clear();
            return feed(all);
        }
    }
    int start = 0, end;
    while ((end = m_partial.indexOf('\n', start)) >= 0) {
        if (!line(m_partial.mid(start, end - start)))
            return false;
        start = end + 1;
    }
    m_partial.remove(0, start);
    return true;
}

bool CaptureReader::finish()
{
    if (!feed(QByteArray()))
        return false;
    const QByteArray rest = m_partial;
    m_partial.clear();
    return m_mode == Binary || rest.isEmpty() || line(rest);
}

bool CaptureReader::take(CaptureChunk *chunk)
{
    if (m_ready.isEmpty())
        return false;
    *chunk = m_ready.takeFirst();
    return true;
}

bool CaptureReader::line(QByteArray text)
{
    const int n = ++m_lineNumber;
    const int comment = text.indexOf('#');
    if (comment >= 0)
        text.truncate(comment);
    text = text.trimmed();
    if (text.isEmpty())
        return true;

    CaptureChunk chunk;
    const QList<QByteArray> words = text.simplified().split(' ');
    int first = 0;
    if (words.at(0).contains('.')) {
        bool ok = false;
        chunk.time = words.at(0).toDouble(&ok);
        if (!ok || chunk.time < 0) {
            m_error = QStringLiteral("%1:%2: \"%3\" is not a time in seconds.")
                              .arg(m_name).arg(n).arg(QString::fromLatin1(words.at(0)));
            return false;
        }
        if (m_timedLines > 0 && chunk.time < m_lastTime) {
            m_error = QStringLiteral("%1:%2: time %3 is earlier than the line before.")
                              .arg(m_name).arg(n).arg(chunk.time);
            return false;
        }
        m_lastTime = chunk.time;
        first = 1;
        ++m_timedLines;
    } else {
        ++m_untimedLines;
    }
    QByteArray digits;
    static const QRegularExpression hexOnly(QStringLiteral("^[0-9a-fA-F]*$"));
    for (int w = first; w < words.size(); ++w) {
        if (!hexOnly.match(QString::fromLatin1(words.at(w))).hasMatch()) {
            m_error = QStringLiteral("%1:%2: \"%3\" is not hexadecimal.")
                              .arg(m_name).arg(n).arg(QString::fromLatin1(words.at(w)));
            return false;
        }
        digits += words.at(w);
    }
    if (digits.size() % 2) {
        m_error = QStringLiteral("%1:%2: odd number of hex digits; every byte needs two.").arg(m_name).arg(n);
        return false;
    }
    if (m_timedLines && m_untimedLines) {
        m_error = QStringLiteral("%1:%2: some lines have a time and some do not.").arg(m_name).arg(n);
        return false;
    }
    chunk.bytes = QByteArray::fromHex(digits);
    m_ready.append(chunk);
    return true;
}

QString CaptureReader::formatLine(double seconds, const QByteArray &bytes)
{
    return QString::asprintf("%.3f ", seconds) + QString::fromLatin1(bytes.toHex(' ')) + '\n';
}

QByteArray CaptureReader::header()
{
    return "# canservice capture: bytes from the CAN box, one chunk a line, seconds first\n";
}
