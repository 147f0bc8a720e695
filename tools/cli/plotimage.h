#pragma once

#include <QImage>
#include <QString>
#include <QVector>

#include <cmath>

namespace tool {

// One signal over a capture as a plot draws it: each point is a change of its value, which holds
// until the next one; a NaN value is no reading (a gap).
struct PlotSeries
{
    QString name;
    QString unit;
    bool flag = false; // a boolean: drawn as 0 and 1, labelled false and true
    QVector<QPair<double, double>> points; // seconds, value
    // The values the series had before its first change, at the capture's start.
    double initial = std::nan("");
};

// One pane per series, stacked, over the capture's times from start to end (seconds): axes with
// ticks, the time along the bottom of each pane, the name and unit above it.
QImage drawPlot(const QVector<PlotSeries> &series, double start, double end, int width, int height);

// The changes that can be seen in a drawing `columns` pixels wide over start..end: in each pixel
// column at most the first, the lowest, the highest and the last, in their order.
QVector<QPair<double, double>> thinForColumns(const QVector<QPair<double, double>> &points, double start,
                                             double end, int columns);

} // namespace tool
