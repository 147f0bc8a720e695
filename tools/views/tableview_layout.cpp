#include "tableview.h"

#include "printable.h"
#include "screen.h"
#include "sessionmodel.h"
#include "signalcatalogue.h"
#include "vehiclestate.h"

#include <algorithm>

// How the table is laid out: the status line, the messages and the values, fitted to a window.
namespace tool {

namespace {
const int ValueWidth = 22;
const int AgeWidth = 7;
const int MessageWidth = 72; // without the payload, which a narrow window cuts first

// Attributes travel through the layout as control characters of their own, which take no column,
// and become ANSI sequences only when a line is finished. No text can pose as one: everything from
// the line or a file (the source's name, the link's words, readings) has been through printable(),
// which leaves no control character.
const QChar Reverse(0x01); // a changed payload byte
const QChar Dim(0x02); // a silent row
const QChar Plain(0x03); // the end of either
bool isMark(QChar c)
{
    return c == Reverse || c == Dim || c == Plain;
}

// Columns the text takes on the screen.
int visible(const QString &text)
{
    return int(std::count_if(text.cbegin(), text.cend(), [](QChar c) { return !isMark(c); }));
}

QString padded(const QString &text, int width)
{
    return text + QString(qMax(0, width - visible(text)), QLatin1Char(' '));
}

QString dimmed(const QString &text, bool silent)
{
    return silent ? Dim + text + Plain : text;
}

QString cut(const QString &text, int width, bool keepEnd = false)
{
    if (text.size() <= width)
        return text;
    if (width <= 1)
        return text.left(width);
    return keepEnd ? QLatin1Char('~') + text.right(width - 1) : text.left(width - 1) + QLatin1Char('~');
}

// cells in columns of `rows` lines under a header, as many columns as given; what does not fit
// is counted on the last line.
QStringList columns(const QString &header, QStringList cells, int rows, int count, int cellWidth,
                    const QString &more)
{
    rows = qMax(1, rows);
    if (cells.size() > rows * count) {
        const int shown = rows * count - 1;
        const int left = int(cells.size()) - shown;
        cells = cells.mid(0, shown);
        cells << more.arg(left);
    }
    QStringList lines{header};
    const int used = qMin(rows, int(cells.size()));
    for (int r = 0; r < used; ++r) {
        QString line;
        for (int c = 0; c < count && c * rows + r < cells.size(); ++c)
            line += (c ? QStringLiteral("   ") : QString()) + padded(cells.at(c * rows + r), cellWidth);
        lines << line;
    }
    return lines;
}
} // namespace

QString TableView::statusLine(qint64 nowMs) const
{
    return printable(QStringLiteral("%1  at %2 s  link %3")
                             .arg(m_source, QString::number(nowMs / 1000.0, 'f', 3), m_session.linkText()));
}

// The link's health, always on screen: what a glance at a bad line needs.
QString TableView::healthLine() const
{
    const LinkHealth &h = m_session.health();
    return QStringLiteral("frames %1  checksum errors %2  cut frames %3  noise bytes %4  receive time-outs %5  "
                          "link losses %6  line losses %7")
            .arg(h.framesAccepted)
            .arg(h.checksumErrors)
            .arg(h.cutFrames)
            .arg(h.noiseBytes)
            .arg(h.receiveTimeouts)
            .arg(h.linkLosses)
            .arg(h.lineLosses);
}

QStringList TableView::messageLines(qint64 nowMs) const
{
    QStringList lines{QStringLiteral("id    message              rate/s   frames  checksum errors  cut frames  payload")};
    // The rate over the last five seconds, or since the first byte if that is sooner.
    const qint64 windowMs = qMin<qint64>(RateWindowMs, m_firstMs < 0 ? 0 : nowMs - m_firstMs);
    const auto line = [windowMs, nowMs](const QString &id, const QString &name, qint64 recent, int frames,
                                        int checksumErrors, int cutFrames, qint64 lastMs, const QString &payload) {
        const QString rate = windowMs > 0 ? QString::number(recent * 1000.0 / windowMs, 'f', 1) : QStringLiteral("-");
        return dimmed(id.leftJustified(6) + cut(name, 20).leftJustified(20) + rate.rightJustified(7)
                              + QString::number(frames).rightJustified(9)
                              + QString::number(checksumErrors).rightJustified(17)
                              + QString::number(cutFrames).rightJustified(12)
                              + (payload.isEmpty() ? QString() : QLatin1Char(' ') + payload),
                      lastMs < 0 || nowMs - lastMs >= QuietMs);
    };
    qint64 allRecent = 0;
    qint64 allLastMs = -1;
    // The busiest first: a small window cuts the quietest.
    std::vector<std::pair<qint64, QString>> rows;
    for (const auto &[id, m] : m_messages.counts()) {
        const qint64 recent = m_messages.recent(m, nowMs);
        allRecent += recent;
        allLastMs = qMax(allLastMs, m.lastMs);
        const char *name = id < 0 ? nullptr : canbox::messageName(quint8(id), canbox::Direction::FromBox);
        rows.emplace_back(recent, line(id < 0 ? QStringLiteral("-") : QStringLiteral("0x%1").arg(id, 2, 16, QLatin1Char('0')),
                                       id < 0 ? QStringLiteral("(identifier lost)")
                                              : name ? QLatin1String(name) : QStringLiteral("(not in the protocol)"),
                                       recent, m.frames, m.checksumErrors, m.cutFrames, m.lastMs,
                                       payloadText(id, nowMs)));
    }
    std::stable_sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    // The whole line first: what a glance at a small window needs.
    const LinkHealth &all = m_session.health();
    lines << line(QStringLiteral("all"), QString(), allRecent, all.framesAccepted, all.checksumErrors, all.cutFrames,
                  allLastMs, QString());
    for (const auto &row : rows)
        lines << row.second;
    return lines;
}

// The last payload in hex, a byte that changed within ChangedMs in reverse video on a terminal and
// after a '*' in a log.
QString TableView::payloadText(int id, qint64 nowMs) const
{
    const auto it = m_payloads.find(id);
    if (it == m_payloads.end())
        return QString();
    const Payload &p = it->second;
    const int shown = qMin(int(p.bytes.size()), PayloadBytes);
    QString text;
    for (int i = 0; i < shown; ++i) {
        const bool changed = p.changedMs.at(i) >= 0 && nowMs - p.changedMs.at(i) < ChangedMs;
        const QString hex = QStringLiteral("%1").arg(quint8(p.bytes.at(i)), 2, 16, QLatin1Char('0'));
        if (m_terminal)
            text += QLatin1Char(' ') + (changed ? Reverse + hex + Plain : hex);
        else
            text += (changed ? QLatin1Char('*') : QLatin1Char(' ')) + hex;
    }
    if (p.bytes.size() > shown)
        text += QStringLiteral(" +%1").arg(p.bytes.size() - shown);
    return text;
}

// One line a value, without the header, in the order given.
QStringList TableView::valueLines(qint64 nowMs, int nameWidth, const QVector<int> &entries) const
{
    const auto &catalogue = SignalCatalogue::vehicleSignals();
    const QVector<Reading> &now = m_state->readings();
    QStringList lines;
    for (int entry : entries) {
        const Reading &r = now.at(entry);
        const qint64 changed = m_changedMs.at(entry);
        const double age = (nowMs - changed) / 1000.0;
        const QString ageText = changed < 0 ? QStringLiteral("-") : QString::number(age, 'f', age < 100 ? 1 : 0);
        lines << dimmed(cut(catalogue.at(entry).name, nameWidth, true).leftJustified(nameWidth) + QStringLiteral("  ")
                                + cut(r.isNull() ? QStringLiteral("-") : printable(r.text()), ValueWidth).leftJustified(ValueWidth)
                                + ageText.rightJustified(AgeWidth),
                        changed < 0 || nowMs - changed >= QuietMs);
    }
    return lines;
}

QStringList TableView::render(int width, int height) const
{
    const qint64 now = m_session.ms();
    const auto &catalogue = SignalCatalogue::vehicleSignals();
    int longest = 0;
    for (int entry : m_entries)
        longest = qMax(longest, int(catalogue.at(entry).name.size()));
    const int fixed = 2 + ValueWidth + AgeWidth;
    const int nameWidth = width > 0 ? qBound(12, width - fixed, longest) : longest;
    const int valueWidth = nameWidth + fixed;
    const QString valueHeader = QStringLiteral("value").leftJustified(nameWidth + 2)
            + QStringLiteral("reading").leftJustified(ValueWidth) + QStringLiteral("age s").rightJustified(AgeWidth);
    QStringList messages = messageLines(now);
    QStringList lines{statusLine(now), healthLine(), QString()};
    if (height <= 0) {
        lines << messages << QString() << valueHeader << valueLines(now, nameWidth, m_entries);
        for (QString &line : lines)
            line = finished(line, width);
        return lines;
    }

    const int body = qMax(4, height - 3);
    const QString more = QStringLiteral("... %1 more: a taller window, or --signals");
    const QString moreMessages = QStringLiteral("... %1 more: a taller window");
    const bool beside = width >= valueWidth + 3 + MessageWidth;
    const int valueRows = beside ? body - 1 : body - qMin(int(messages.size()), qMax(2, body / 3)) - 2;
    const int count = qMax(1, ((beside ? width - MessageWidth : width) + 3 - (beside ? 3 : 0)) / (valueWidth + 3));
    // Where there is no room for all, the values that changed longest ago go (those never read
    // first); those shown keep their order, and the last line counts the others.
    const int room = qMax(1, valueRows) * count;
    QVector<int> shown = m_entries;
    int hidden = 0;
    if (shown.size() > room) {
        QVector<int> recent = shown;
        std::stable_sort(recent.begin(), recent.end(),
                         [this](int a, int b) { return m_changedMs.at(a) > m_changedMs.at(b); });
        recent.resize(room - 1);
        hidden = int(shown.size()) - (room - 1);
        shown.erase(std::remove_if(shown.begin(), shown.end(), [&](int e) { return !recent.contains(e); }),
                    shown.end());
    }
    QStringList cells = valueLines(now, nameWidth, shown);
    if (hidden > 0)
        cells << more.arg(hidden);
    const QStringList values = columns(valueHeader, cells, valueRows, count, valueWidth, more);
    if (beside) {
        const int left = count * (valueWidth + 3);
        for (int i = 0; i < qMax(values.size(), messages.size()) && i < body; ++i)
            lines << (padded(values.value(i), left) + messages.value(i));
    } else {
        const int messageRows = qMin(int(messages.size()), qMax(2, body / 3));
        lines << columns(messages.first(), messages.mid(1), messageRows - 1, 1, MessageWidth, moreMessages);
        lines << QString() << values;
    }
    lines = lines.mid(0, height);
    for (QString &line : lines)
        line = finished(line, width);
    return lines;
}

// The line cut to width columns (0: as it is), with a '~' where it was cut; its marks become ANSI
// attributes on a terminal, all ended on the line, and go elsewhere. A cut never falls inside a
// sequence: they are written after it.
QString TableView::finished(const QString &line, int width) const
{
    const int columns = visible(line);
    const int keep = width <= 0 || columns <= width ? columns : width <= 1 ? width : width - 1;
    QString out;
    out.reserve(line.size() + 16);
    int taken = 0;
    bool open = false;
    for (const QChar c : line) {
        if (isMark(c)) {
            open = c != Plain;
            if (m_terminal)
                out += csi(c == Reverse ? "7m" : c == Dim ? "2m" : "m");
            continue;
        }
        if (taken == keep)
            break;
        out += c;
        ++taken;
    }
    if (open && m_terminal)
        out += csi("m");
    if (keep < columns && width > 1)
        out += QLatin1Char('~');
    return out;
}

} // namespace tool
