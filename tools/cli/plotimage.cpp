#include "plotimage.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace tool {

namespace {
const int Left = 84, Right = 24, Title = 26, Bottom = 34, Gap = 10;

// Round steps (1, 2 or 5 times a power of ten) giving about `count` ticks over low..high, and no
// more than `most`; whole ones for a value that has only whole numbers.
QVector<double> ticks(double low, double high, int count, int most = 1000, bool whole = false)
{
    const double raw = qMax((high - low) / qMax(1, count), whole ? 1.0 : 0.0);
    double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = raw / power < 1.5 ? power : raw / power < 3.5 ? 2 * power : raw / power < 7.5 ? 5 * power : 10 * power;
    // The next round step up while there would be too many.
    while (std::floor(high / step) - std::ceil(low / step) + 1 > most)
        step = step / power < 1.5 ? 2 * power : step / power < 3.5 ? 5 * power : (power *= 10, power);
    QVector<double> at;
    for (double t = std::ceil(low / step - 1e-9) * step; t <= high + step * 1e-9; t += step)
        at << (std::abs(t) < step * 1e-9 ? 0.0 : t);
    return at;
}

QString label(double v)
{
    return QString::number(v, 'g', 6);
}

void drawPane(QPainter &p, const PlotSeries &s, const QRect &pane, double start, double end)
{
    const QRectF area(pane.left() + Left, pane.top() + Title, pane.width() - Left - Right,
                      pane.height() - Title - Bottom);
    double low = s.flag ? 0 : qInf(), high = s.flag ? 1 : -qInf();
    const auto widen = [&](double v) {
        if (std::isfinite(v)) {
            low = qMin(low, v);
            high = qMax(high, v);
        }
    };
    widen(s.initial);
    for (const auto &point : s.points)
        widen(point.second);
    const bool empty = !std::isfinite(low);
    if (empty)
        low = 0, high = 1;
    if (high - low < 1e-9)
        low -= 1, high += 1;
    const double margin = s.flag ? 0.15 : (high - low) * 0.08;
    low -= margin, high += margin;
    const double span = end > start ? end - start : 1.0;
    const auto x = [&](double t) { return area.left() + (t - start) / span * area.width(); };
    const auto y = [&](double v) { return area.bottom() - (v - low) / (high - low) * area.height(); };

    p.setPen(QColor(0x22, 0x22, 0x22));
    QFont bold = p.font();
    bold.setBold(true);
    p.save();
    p.setFont(bold);
    p.drawText(QRectF(area.left(), pane.top(), area.width(), Title), Qt::AlignLeft | Qt::AlignVCenter,
               s.unit.isEmpty() ? s.name : QStringLiteral("%1 (%2)").arg(s.name, s.unit));
    p.restore();
    if (empty)
        p.drawText(area, Qt::AlignCenter, QStringLiteral("no reading in this capture"));

    const QColor grid(0xdd, 0xdd, 0xdd);
    const QFontMetrics metrics = p.fontMetrics();
    // Labels a line and a half apart at least: a low pane gets fewer.
    const int room = qMax(2, int(area.height() / (metrics.height() * 1.5)) + 1);
    const QVector<double> yTicks = s.flag ? QVector<double>{0, 1} : ticks(low, high, 5, room, s.whole);
    for (const double v : yTicks) {
        p.setPen(grid);
        p.drawLine(QPointF(area.left(), y(v)), QPointF(area.right(), y(v)));
        p.setPen(Qt::black);
        const QString text = s.flag ? (v > 0 ? QStringLiteral("true") : QStringLiteral("false")) : label(v);
        p.drawText(QRectF(pane.left(), y(v) - 10, Left - 8, 20), Qt::AlignRight | Qt::AlignVCenter, text);
    }
    for (const double t : ticks(start, start + span, qMax(2, int(area.width() / 90)))) {
        p.setPen(grid);
        p.drawLine(QPointF(x(t), area.top()), QPointF(x(t), area.bottom()));
        p.setPen(Qt::black);
        p.drawLine(QPointF(x(t), area.bottom()), QPointF(x(t), area.bottom() + 4));
        p.drawText(QRectF(x(t) - 40, area.bottom() + 5, 80, metrics.height()), Qt::AlignHCenter | Qt::AlignTop, label(t));
    }
    p.drawText(QRectF(area.right() - 200, area.bottom() + 5 + metrics.height(), 200, metrics.height()),
               Qt::AlignRight | Qt::AlignTop, QStringLiteral("time (s)"));
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(area.bottomLeft(), area.bottomRight());
    p.drawLine(area.bottomLeft(), area.topLeft());

    // Each value holds until the next change; no reading leaves a gap.
    QPainterPath path;
    double value = s.initial, from = start;
    const QVector<QPair<double, double>> points = thinForColumns(s.points, start, end, qCeil(area.width()));
    const auto hold = [&](double until) {
        if (!std::isfinite(value))
            return;
        if (path.isEmpty() || path.currentPosition() != QPointF(x(from), y(value)))
            path.moveTo(x(from), y(value));
        path.lineTo(x(until), y(value));
    };
    for (const auto &point : points) {
        hold(point.first);
        if (std::isfinite(value) && std::isfinite(point.second))
            path.lineTo(x(point.first), y(point.second));
        value = point.second;
        from = point.first;
    }
    hold(qMax(from, end));
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x1f, 0x6f, 0xb4), 2));
    p.drawPath(path);
    p.setRenderHint(QPainter::Antialiasing, false);
}
} // namespace

namespace {
// Within one group of changes (a pixel column, a span of time) the first, the lowest and highest
// values and the last, in their order; groupOf gives a change's group, and the changes of a group
// are next to each other.
template <typename GroupOf>
void thinGroups(const QVector<QPair<double, double>> &points, int from, GroupOf groupOf,
                QVector<QPair<double, double>> *kept)
{
    for (int first = from; first < points.size();) {
        const qint64 group = groupOf(points.at(first).first);
        int last = first, low = -1, high = -1;
        for (int i = first; i < points.size() && groupOf(points.at(i).first) == group; last = i++) {
            const double v = points.at(i).second;
            if (std::isfinite(v) && (low < 0 || v < points.at(low).second))
                low = i;
            if (std::isfinite(v) && (high < 0 || v > points.at(high).second))
                high = i;
        }
        int keep[] = {first, qMin(low, high), qMax(low, high), last};
        for (int k = 0, previous = -1; k < 4; ++k) {
            if (keep[k] > previous) {
                kept->append(points.at(keep[k]));
                previous = keep[k];
            }
        }
        first = last + 1;
    }
}
} // namespace

// Within one pixel column a run of changes shows as its span: the first change, the lowest and
// highest values, the last, in their order. The rest cannot be seen, and drawing them made a long
// capture's picture take minutes.
QVector<QPair<double, double>> thinForColumns(const QVector<QPair<double, double>> &points, double start,
                                             double end, int columns)
{
    QVector<QPair<double, double>> kept;
    const double span = end > start ? end - start : 1.0;
    thinGroups(points, 0, [&](double t) { return qBound(0, int(std::floor((t - start) / span * columns)), columns); },
               &kept);
    return kept;
}

void PlotSeries::add(double seconds, double value)
{
    points.append({seconds, value});
    if (m_span > 0) {
        const double origin = points.constFirst().first;
        const auto spanOf = [origin, this](double t) { return qint64(std::floor((t - origin) / m_span)); };
        if (spanOf(seconds) != spanOf(points.at(m_open).first)) {
            m_open = points.size() - 1; // the last span is complete: a new one starts
        } else if (points.size() - m_open > 4) {
            QVector<QPair<double, double>> open;
            thinGroups(points, m_open, spanOf, &open);
            points.resize(m_open);
            points += open;
        }
    }
    if (bound <= 0 || points.size() < bound)
        return;
    // Wider spans, each holding two of the last ones whole: what was kept of them is kept of it.
    const double origin = points.constFirst().first;
    m_span = m_span > 0 ? 2 * m_span : qMax(seconds - origin, 1e-3) / (bound / 16);
    const auto spanOf = [origin, this](double t) { return qint64(std::floor((t - origin) / m_span)); };
    QVector<QPair<double, double>> kept;
    kept.reserve(bound);
    thinGroups(points, 0, spanOf, &kept);
    points.swap(kept);
    m_open = points.size() - 1;
    while (m_open > 0 && spanOf(points.at(m_open - 1).first) == spanOf(points.constLast().first))
        --m_open;
}

QImage drawPlot(const QVector<PlotSeries> &series, double start, double end, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    QFont font = p.font();
    font.setPixelSize(12);
    p.setFont(font);
    const int paneHeight = (height - Gap) / qMax(1, series.size());
    for (int i = 0; i < series.size(); ++i)
        drawPane(p, series.at(i), QRect(0, Gap / 2 + i * paneHeight, width, paneHeight), start, end);
    return image;
}

} // namespace tool
