#include "PixelRuns.h"

#include <algorithm>
#include <cmath>

#include <QPainter>

namespace {

// Sampling tolerance: a centre this close to the edge of a shape counts as inside.
constexpr double kSlack = 1e-9;

} // namespace

PixelRuns::PixelRuns(const QRect& clip) : m_clip(clip) {}

void PixelRuns::Add(int x, int top, int bottom) {
    if (x < m_clip.left() || x > m_clip.right()) return;
    top = std::max(top, m_clip.top());
    bottom = std::min(bottom, m_clip.bottom());
    if (top <= bottom) m_runs.push_back({x, top, bottom});
}

void PixelRuns::AddSpan(int x, double top, double bottom) {
    // Far-off spans are cut to the clip before they become integers.
    top = std::max(top, double(m_clip.top()) - 1);
    bottom = std::min(bottom, double(m_clip.bottom()) + 1);
    if (top > bottom) return;
    Add(x, int(std::ceil(top - kSlack)), int(std::floor(bottom + kSlack)));
}

void PixelRuns::Capsule(QPoint a, QPoint b, double radius) {
    if (a.x() == b.x()) { // upright: a disc on each row between the ends
        DiscColumn(a.x(), std::min(a.y(), b.y()), std::max(a.y(), b.y()), radius);
        return;
    }
    const double ax = a.x(), ay = a.y();
    const double dx = b.x() - ax, dy = b.y() - ay;
    const double reach = std::floor(radius + kSlack);
    const int first = std::max(m_clip.left(), int(std::min(a.x(), b.x()) - reach));
    const int last = std::min(m_clip.right(), int(std::max(a.x(), b.x()) + reach));
    const double lengthSquared = dx * dx + dy * dy;
    const double width = radius * std::sqrt(lengthSquared);
    for (int x = first; x <= last; ++x) {
        const double ox = x - ax;
        double top = HUGE_VAL, bottom = -HUGE_VAL;
        // The round ends.
        for (const QPoint& end : {a, b}) {
            const double across = x - end.x();
            if (std::abs(across) > radius + kSlack) continue;
            const double half = std::sqrt(std::max(0.0, radius * radius - across * across));
            top = std::min(top, end.y() - half);
            bottom = std::max(bottom, end.y() + half);
        }
        // The band along the segment: within `radius` of the line, projecting inside it.
        {
            double lo = ay + (dy * ox - width) / dx, hi = ay + (dy * ox + width) / dx;
            if (lo > hi) std::swap(lo, hi);
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
        }
        if (top <= bottom) AddSpan(x, top, bottom);
    }
}

void PixelRuns::DiscColumn(int x, int top, int bottom, double radius) {
    const int reach = int(std::floor(radius + kSlack));
    for (int across = -reach; across <= reach; ++across) {
        const double half = std::sqrt(std::max(0.0, radius * radius - double(across * across)));
        AddSpan(x + across, top - half, bottom + half);
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
