// Drawing one series of a chart from its points in pixels, in row order, as lines, columns or
// points. Reduced drawing merges what lands on the same pixel column before drawing; it gives
// the picture that drawing every row gives, at a cost bound by the width of the plot instead of
// by the number of rows (lines: the first, last, lowest and highest point of each pixel column,
// the M4 aggregation of Jugel et al., VLDB 2014).
#pragma once

#include <vector>

#include <QColor>
#include <QPoint>
#include <QRect>

class QPainter;

// Points further out than this are drawn as if they lay there; no row moves a line visibly.
inline constexpr int kChartCoordinateLimit = 10000000;
// A pixel coordinate of a chart position (rounded half away from zero), within the limit.
inline int ChartPixel(double position) {
    constexpr double limit = kChartCoordinateLimit;
    if (!(position >= -limit)) return position == position ? -kChartCoordinateLimit : 0;
    if (position > limit) return kChartCoordinateLimit;
    return static_cast<int>(position < 0 ? position - 0.5 : position + 0.5);
}

struct SeriesStyle {
    QColor colour;
    QRect clip; // the drawing ends here; nothing outside it is drawn
    bool reduce = true;
};

// A 3-pixel line through the points. Two points on the same pixel leave a dot: the segment then
// starts one pixel right of and below the point.
void DrawLineSeries(QPainter& p, const std::vector<QPoint>& points, const SeriesStyle& style);

// Columns of the series in its slot of each row's group: from left + slot start to left + slot
// end (exclusive), between the axis row `bottom` and the point (exclusive).
struct ColumnSlot {
    int groupWidth = 1;
    int index = 0;
    int count = 1;
};
void DrawColumnSeries(QPainter& p, const std::vector<QPoint>& points, int bottom,
                      const ColumnSlot& slot, const SeriesStyle& style);

// A 7 x 7 disc centred on each point.
void DrawPointSeries(QPainter& p, const std::vector<QPoint>& points, const SeriesStyle& style);
