#include "layoutcheck.h"

#include <QFont>
#include <QFontInfo>
#include <QQuickItem>
#include <QQuickWindow>

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

namespace tool {

namespace {

bool isText(const QQuickItem *item)
{
    return item->inherits("QQuickText") && !item->property("text").toString().isEmpty();
}

// Where an item draws, in the window; a text where its glyphs are, by its alignment.
QRectF drawnRect(const QQuickItem *item)
{
    QRectF local(QPointF(), item->size());
    if (isText(item)) {
        const qreal w = item->property("contentWidth").toReal(), h = item->property("contentHeight").toReal();
        const int horizontal = item->property("effectiveHorizontalAlignment").toInt();
        const int vertical = item->property("verticalAlignment").toInt();
        const qreal x = horizontal & Qt::AlignRight ? item->width() - w
                : horizontal & Qt::AlignHCenter      ? (item->width() - w) / 2
                                                     : 0;
        const qreal y = vertical & Qt::AlignBottom ? item->height() - h
                : vertical & Qt::AlignVCenter       ? (item->height() - h) / 2
                                                    : 0;
        local = QRectF(x, y, w, h);
    }
    return item->mapRectToScene(local);
}

QString describe(const QQuickItem *item, const QRectF &r)
{
    QString name = item->objectName();
    if (isText(item))
        name = QLatin1Char('"') + item->property("text").toString().left(40) + QLatin1Char('"')
                + (name.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(name));
    else if (name.isEmpty())
        name = QLatin1String(item->metaObject()->className());
    return QStringLiteral("%1 at %2,%3 %4x%5").arg(name).arg(std::lround(r.x())).arg(std::lround(r.y()))
            .arg(std::lround(r.width())).arg(std::lround(r.height()));
}

// How much of [from, to) the intervals cover.
qreal covered(std::vector<std::pair<qreal, qreal>> spans, qreal from, qreal to)
{
    std::sort(spans.begin(), spans.end());
    qreal total = 0, end = from;
    for (auto [a, b] : spans) {
        a = std::max(a, end);
        b = std::min(b, to);
        if (b > a) {
            total += b - a;
            end = b;
        }
    }
    return total;
}

struct Walk
{
    int minText = 0;
    int minPrimary = 0;
    QStringList faults;
    std::vector<std::pair<const QQuickItem *, QRectF>> texts;
    std::vector<const QQuickItem *> panels;
    std::map<const QQuickItem *, std::vector<QRectF>> drawn; // per panel

    void visit(const QQuickItem *item, const QQuickItem *panel)
    {
        for (const QQuickItem *child : item->childItems()) {
            if (!child->isVisible() || child->opacity() == 0)
                continue;
            const QRectF r = drawnRect(child);
            const QQuickItem *in = panel;
            if (child->property("isPanel").toBool()) {
                panels.push_back(in = child);
            } else if (panel && !r.isEmpty()) {
                if (!drawnRect(panel).adjusted(-0.5, -0.5, 0.5, 0.5).contains(r))
                    faults << describe(child, r) + QStringLiteral(": outside ") + panel->objectName();
                if (child->flags() & QQuickItem::ItemHasContents || child->property("drawnWhole").toBool())
                    drawn[panel].push_back(r);
            }
            if (isText(child))
                text(child, r);
            visit(child, in);
        }
    }

    void text(const QQuickItem *item, const QRectF &r)
    {
        const int px = QFontInfo(item->property("font").value<QFont>()).pixelSize();
        const bool primary = item->property("primary").toBool();
        if (px < (primary ? minPrimary : minText))
            faults << describe(item, r)
                            + QStringLiteral(": %1 px, under %2 px%3")
                                      .arg(px)
                                      .arg(primary ? minPrimary : minText)
                                      .arg(primary ? QStringLiteral(" for a primary reading") : QString());
        if (item->property("truncated").toBool())
            faults << describe(item, r) + QStringLiteral(": cut off");
        for (const auto &[other, at] : texts) {
            const QRectF both = r.intersected(at);
            if (both.width() * both.height() > 2)
                faults << describe(item, r) + QStringLiteral(": over ") + describe(other, at);
        }
        texts.emplace_back(item, r);
    }

    void panelFaults(const QSizeF &window)
    {
        for (size_t i = 0; i < panels.size(); ++i) {
            const QRectF r = drawnRect(panels[i]);
            if (!QRectF(QPointF(), window).adjusted(-0.5, -0.5, 0.5, 0.5).contains(r))
                faults << describe(panels[i], r) + QStringLiteral(": outside the window");
            for (size_t j = i + 1; j < panels.size(); ++j)
                if (r.intersects(drawnRect(panels[j])))
                    faults << describe(panels[i], r) + QStringLiteral(": over ") + panels[j]->objectName();
            std::vector<std::pair<qreal, qreal>> rows;
            qreal left = r.right(), right = r.left();
            for (const QRectF &d : drawn[panels[i]]) {
                rows.emplace_back(d.top(), d.bottom());
                left = std::min(left, d.left());
                right = std::max(right, d.right());
            }
            const qreal full = std::max<qreal>(0, right - left) * covered(rows, r.top(), r.bottom())
                    / (r.width() * r.height());
            if (r.isEmpty() || 1 - full > LayoutCheck::MostEmpty)
                faults << describe(panels[i], r)
                                + QStringLiteral(": %1 % empty").arg(std::lround(100 * (1 - full)));
        }
    }
};

} // namespace

double LayoutCheck::scaleFor(int width, int height)
{
    return std::min(height / 480.0, width / 800.0);
}

QStringList LayoutCheck::faults(QQuickWindow *window)
{
    Walk walk;
    const double scale = scaleFor(window->width(), window->height());
    walk.minText = int(std::lround(MinTextPx * scale));
    walk.minPrimary = int(std::lround(PrimaryTextPx * scale));
    walk.visit(window->contentItem(), nullptr);
    walk.panelFaults(window->size());
    return walk.faults;
}

} // namespace tool
