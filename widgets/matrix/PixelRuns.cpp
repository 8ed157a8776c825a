#include "PixelRuns.h"

#include <algorithm>
#include <cmath>

#include <QPainter>

namespace {

// Sampling tolerance: a centre this close to the edge of a shape counts as inside.
constexpr double kSlack = 1e-9;

// floor and ceil of values near the clip, without a library call each.
int Floor(double v) {
    const int i = static_cast<int>(v);
    return v < i ? i - 1 : i;
}
int Ceil(double v) {
    const int i = static_cast<int>(v);
    return v > i ? i + 1 : i;
}

} // namespace

PixelRuns::PixelRuns(const QRect& clip, double radius)
    : m_clip(clip), m_radius(std::clamp(radius, 0.0, 16.0)), m_reach(Floor(m_radius + kSlack)) {
    for (int across = 0; across <= m_reach; ++across)
        m_half.push_back(std::sqrt(std::max(0.0, m_radius * m_radius - across * across)));
}

void PixelRuns::AddSpan(int x, double top, double bottom) {
    if (x < m_clip.left() || x > m_clip.right()) return;
    // Far-off spans are cut to the clip before they become integers.
    const int from = std::max(m_clip.top(), Ceil(std::max(top, m_clip.top() - 1.0) - kSlack));
    const int to =
        std::min(m_clip.bottom(), Floor(std::min(bottom, m_clip.bottom() + 1.0) + kSlack));
    if (from <= to) m_runs.push_back({x, from, to});
}

void PixelRuns::DiscColumn(int x, int top, int bottom) {
    for (int across = -m_reach; across <= m_reach; ++across) {
        const double half = m_half[size_t(std::abs(across))];
        AddSpan(x + across, top - half, bottom + half);
    }
}

void PixelRuns::Capsule(QPoint a, QPoint b) {
    if (a.x() == b.x()) { // upright: a disc on each row between the ends
        DiscColumn(a.x(), std::min(a.y(), b.y()), std::max(a.y(), b.y()));
        return;
    }
    const double ax = a.x(), ay = a.y();
    const double dx = b.x() - ax, dy = b.y() - ay;
    const int first = std::max(m_clip.left(), std::min(a.x(), b.x()) - m_reach);
    const int last = std::min(m_clip.right(), std::max(a.x(), b.x()) + m_reach);
    const double lengthSquared = dx * dx + dy * dy;
    const double width = m_radius * std::sqrt(lengthSquared);
    const double slope = dy / dx, across = width / std::abs(dx);
    for (int x = first; x <= last; ++x) {
        const double ox = x - ax;
        double top = HUGE_VAL, bottom = -HUGE_VAL;
        // The round ends.
        for (const QPoint& end : {a, b}) {
            const int off = std::abs(x - end.x());
            if (off > m_reach) continue;
            top = std::min(top, end.y() - m_half[size_t(off)]);
            bottom = std::max(bottom, end.y() + m_half[size_t(off)]);
        }
        // The band along the segment: within the radius of the line, projecting inside it.
        const double centre = ay + slope * ox;
        double lo = centre - across, hi = centre + across;
        if (dy != 0) {
            double from = ay - ox * dx / dy, to = ay + (lengthSquared - ox * dx) / dy;
            if (from > to) std::swap(from, to);
            lo = std::max(lo, from);
            hi = std::min(hi, to);
        } else if (ox * dx < 0 || ox * dx > lengthSquared) {
            lo = HUGE_VAL; // beyond the ends: the round ends cover the rest
        }
        if (lo <= hi) {
            top = std::min(top, lo);
            bottom = std::max(bottom, hi);
        }
        if (top <= bottom) AddSpan(x, top, bottom);
    }
}

void PixelRuns::Draw(QPainter& p, const QColor& colour) {
    if (m_runs.empty()) return;
    // By column (counting), then by top within each column (a few runs each).
    std::vector<int> starts(size_t(m_clip.width()) + 1, 0);
    for (const Run& run : m_runs) ++starts[size_t(run.x - m_clip.left()) + 1];
    for (size_t c = 1; c < starts.size(); ++c) starts[c] += starts[c - 1];
    std::vector<Run> sorted(m_runs.size());
    std::vector<int> fill(starts.begin(), starts.end() - 1);
    for (const Run& run : m_runs) sorted[size_t(fill[size_t(run.x - m_clip.left())]++)] = run;
    for (size_t c = 0; c + 1 < starts.size(); ++c)
        std::sort(sorted.begin() + starts[c], sorted.begin() + starts[c + 1],
                  [](const Run& l, const Run& r) { return l.top < r.top; });
    m_runs.swap(sorted);
    // Overlapping or touching runs of a column become one.
    size_t kept = 0;
    for (size_t i = 1; i < m_runs.size(); ++i) {
        Run& last = m_runs[kept];
        const Run& run = m_runs[i];
        if (run.x == last.x && run.top <= last.bottom + 1) {
            last.bottom = std::max(last.bottom, run.bottom);
        } else {
            m_runs[++kept] = run;
        }
    }
    m_runs.resize(kept + 1);
    // Equal runs of neighbouring columns become one rectangle.
    std::vector<QRect> rects;
    std::vector<size_t> open, next; // rectangles reaching the previous column
    size_t i = 0;
    while (i < m_runs.size()) {
        const int x = m_runs[i].x;
        next.clear();
        for (; i < m_runs.size() && m_runs[i].x == x; ++i) {
            const Run& run = m_runs[i];
            size_t index = rects.size();
            for (size_t o : open) {
                QRect& r = rects[o];
                if (r.right() == x - 1 && r.top() == run.top && r.bottom() == run.bottom) {
                    r.setRight(x);
                    index = o;
                    break;
                }
            }
            if (index == rects.size())
                rects.emplace_back(QPoint(x, run.top), QPoint(x, run.bottom));
            next.push_back(index);
        }
        open.swap(next);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRects(rects.data(), int(rects.size()));
    m_runs.clear();
}
