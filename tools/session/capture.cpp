#include "capture.h"

#include <QRegularExpression>

namespace {
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

bool Capture::parse(const QByteArray &content, const QString &name, QString *error)
{
    chunks.clear();
    timed = false;
    if (!looksLikeText(content)) {
        chunks.append({-1.0, content});
        return true;
    }

    const QList<QByteArray> lines = content.split('\n');
    int timedLines = 0, untimedLines = 0;
    for (int n = 0; n < lines.size(); ++n) {
        QByteArray line = lines.at(n);
        const int comment = line.indexOf('#');
        if (comment >= 0)
            line.truncate(comment);
        line = line.trimmed();
        if (line.isEmpty())
            continue;

        CaptureChunk chunk;
        const QList<QByteArray> words = line.simplified().split(' ');
        int first = 0;
        if (words.at(0).contains('.')) {
            bool ok = false;
            chunk.time = words.at(0).toDouble(&ok);
            if (!ok || chunk.time < 0) {
                *error = QStringLiteral("%1:%2: \"%3\" is not a time in seconds.")
                                 .arg(name).arg(n + 1).arg(QString::fromLatin1(words.at(0)));
                return false;
            }
            if (!chunks.isEmpty() && timedLines > 0 && chunk.time < chunks.last().time) {
                *error = QStringLiteral("%1:%2: time %3 is earlier than the line before.")
                                 .arg(name).arg(n + 1).arg(chunk.time);
                return false;
            }
            first = 1;
            ++timedLines;
        } else {
            ++untimedLines;
        }
        QByteArray digits;
        static const QRegularExpression hexOnly(QStringLiteral("^[0-9a-fA-F]*$"));
        for (int w = first; w < words.size(); ++w) {
            if (!hexOnly.match(QString::fromLatin1(words.at(w))).hasMatch()) {
                *error = QStringLiteral("%1:%2: \"%3\" is not hexadecimal.")
                                 .arg(name).arg(n + 1).arg(QString::fromLatin1(words.at(w)));
                return false;
            }
            digits += words.at(w);
        }
        if (digits.size() % 2) {
            *error = QStringLiteral("%1:%2: odd number of hex digits; every byte needs two.")
                             .arg(name).arg(n + 1);
            return false;
        }
        if (timedLines && untimedLines) {
            *error = QStringLiteral("%1:%2: some lines have a time and some do not.")
                             .arg(name).arg(n + 1);
            return false;
        }
        chunk.bytes = QByteArray::fromHex(digits);
        chunks.append(chunk);
    }
    timed = timedLines > 0;
    return true;
}

QString Capture::formatLine(double seconds, const QByteArray &bytes)
{
    return QString::asprintf("%.3f ", seconds) + QString::fromLatin1(bytes.toHex(' ')) + '\n';
}

QByteArray Capture::header()
{
    return "# canservice capture: bytes from the CAN box, one chunk a line, seconds first\n";
}
