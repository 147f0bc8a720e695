#pragma once

#include <QStringList>

class QQuickWindow;

namespace tool {

// What a driver at arm's length and a bench engineer need of the screen, checked on the page the
// window shows, every visible item walked. Sizes are those of an 800x480 screen, scaled as the
// dashboard scales them (by the smaller of height / 480 and width / 800):
// - no text under MinTextPx, and a primary reading (an item whose property primary is true) not
//   under PrimaryTextPx;
// - no text cut off (elided) and no two texts drawn over each other;
// - nothing drawn outside its panel (an item whose property isPanel is true), no two panels over
//   each other, none outside the window;
// - no panel more than a third empty: the rows its items cover, times the width from the leftmost
//   to the rightmost, hold at least two thirds of its area (a table's columns have room between
//   them; a tall panel with a few lines at its top does not pass). An item whose property
//   drawnWhole is true (a round dial, whose ticks leave gaps) counts as drawn all over.
// One line per fault, naming the item and where it is; none when the page is right.
class LayoutCheck
{
public:
    static constexpr int MinTextPx = 16;
    static constexpr int PrimaryTextPx = 48;
    static constexpr double MostEmpty = 1.0 / 3.0;

    static double scaleFor(int width, int height);
    static QStringList faults(QQuickWindow *window);
};

} // namespace tool
