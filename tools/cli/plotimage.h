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
    bool whole = false; // only whole numbers: whole steps on its axis
    QVector<QPair<double, double>> points; // seconds, value
    // The values the series had before its first change, at the capture's start.
    double initial = std::nan("");

    // Past this many points a series keeps, per span of time, the first, lowest, highest and last
    // change: every peak stays, and memory holds however long the capture. The spans start at the
    // time so far over a sixteenth of the bound and double each time the points reach the bound
    // again; a drawing's pixel column holds many of them. 0 keeps every change.
    int bound = 1 << 16;
    void add(double seconds, double value);

private:
    double m_span = 0; // the spans' width, seconds; 0 while every change is kept
    int m_open = 0; // where the points of the last span start
};

// One pane per series, stacked, over the capture's times from start to end (seconds): axes with
// ticks, the time along the bottom of each pane, the name and unit above it.
QImage drawPlot(const QVector<PlotSeries> &series, double start, double end, int width, int height);

// The changes that can be seen in a drawing `columns` pixels wide over start..end: in each pixel
// column at most the first, the lowest, the highest and the last, in their order.
QVector<QPair<double, double>> thinForColumns(const QVector<QPair<double, double>> &points, double start,
                                             double end, int columns);

} // namespace tool
