#include "ChartSeries.h"

#include <algorithm>
#include <cmath>

#include <QPainter>

#include "PixelRuns.h"

namespace {

// A 3-pixel pen with round ends, and the 7 x 7 disc of a point.
constexpr double kPenRadius = 1.5;
constexpr double kDiscRadius = 3.5;

} // namespace

void DrawLineSeries(QPainter& p, const std::vector<QPoint>& points, const SeriesStyle& style) {
    PixelRuns runs(style.clip, kPenRadius);
    const size_t n = points.size();
    const QPoint dotStart(1, 1);
    if (!style.reduce) {
        for (size_t i = 1; i < n; ++i) {
            const QPoint a = points[i - 1], b = points[i];
            runs.Capsule(a == b ? a + dotStart : a, b);
        }
        runs.Draw(p, style.colour);
        return;
    }
    // Every point of a pixel column has the same x, so the segments inside a column together
    // cover the stretch from its lowest to its highest point; the dots and the segments from
    // one column to the next are drawn as they are.
    std::vector<int> dots;
    QPoint previous;
    for (size_t i = 0; i < n;) {
        const int x = points[i].x();
        int low = points[i].y(), high = low;
        dots.clear();
        size_t j = i;
        for (; j + 1 < n && points[j + 1].x() == x; ++j) {
            const int y = points[j + 1].y();
            if (y == points[j].y()) dots.push_back(y);
            low = std::min(low, y);
            high = std::max(high, y);
        }
        if (i > 0) runs.Capsule(previous, points[i]);
        if (low < high) runs.Capsule(QPoint(x, low), QPoint(x, high));
        std::sort(dots.begin(), dots.end());
        dots.erase(std::unique(dots.begin(), dots.end()), dots.end());
        for (int y : dots) runs.Capsule(QPoint(x, y) + dotStart, QPoint(x, y));
        previous = points[j];
        i = j + 1;
    }
    runs.Draw(p, style.colour);
}

void DrawColumnSeries(QPainter& p, const std::vector<QPoint>& points, int bottom,
                      const ColumnSlot& slot, const SeriesStyle& style) {
    const long long w = std::max(1, slot.groupWidth);
    const long long count = std::max(1, slot.count);
    const long long from = slot.index * w / count, to = (slot.index + 1) * w / count;
    if (to <= from) return;
    const QColor colour = style.colour;
    auto fill = [&](long long x0, int top, int end) {
        const QRect bar(QPoint(int(x0 + from), top), QPoint(int(x0 + to - 1), end - 1));
        const QRect shown = bar.intersected(style.clip);
        if (!shown.isEmpty()) p.fillRect(shown, colour);
    };
    const size_t n = points.size();
    for (size_t i = 0; i < n;) {
        const long long x0 = points[i].x() - w / 2 + 1;
        int top = std::min(points[i].y(), bottom), end = std::max(points[i].y(), bottom);
        size_t j = i + 1;
        // Bars in the same place all reach the axis, so together they span one bar.
        for (; style.reduce && j < n && points[j].x() == points[i].x(); ++j) {
            top = std::min(top, points[j].y());
            end = std::max(end, points[j].y());
        }
        fill(x0, top, end);
        i = j;
    }
}

void DrawPointSeries(QPainter& p, const std::vector<QPoint>& points, const SeriesStyle& style) {
    PixelRuns runs(style.clip, kDiscRadius);
    const size_t n = points.size();
    if (!style.reduce) {
        for (const QPoint& q : points) runs.DiscColumn(q.x(), q.y(), q.y());
        runs.Draw(p, style.colour);
        return;
    }
    // Points of one pixel column on neighbouring rows make one tall disc.
    std::vector<int> ys;
    for (size_t i = 0; i < n;) {
        const int x = points[i].x();
        ys.clear();
        for (; i < n && points[i].x() == x; ++i) ys.push_back(points[i].y());
        std::sort(ys.begin(), ys.end());
        for (size_t k = 0; k < ys.size();) {
            size_t end = k;
            while (end + 1 < ys.size() && ys[end + 1] <= ys[end] + 1) ++end;
            runs.DiscColumn(x, ys[k], ys[end]);
            k = end + 1;
        }
    }
    runs.Draw(p, style.colour);
}
