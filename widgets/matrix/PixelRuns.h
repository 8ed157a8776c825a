// The pixels of one colour inside a clip rectangle, gathered as vertical runs and drawn at the
// end as few rectangles; a pixel covered many times is drawn once. Shapes are sampled at pixel
// centres, point (x, y) being the centre of pixel (x, y), so what is drawn does not depend on
// the order or the pieces a shape was gathered in.
#pragma once

#include <vector>

#include <QColor>
#include <QPoint>
#include <QRect>

class QPainter;

class PixelRuns {
public:
    explicit PixelRuns(const QRect& clip);

    // Rows top..bottom (both included) of column x.
    void Add(int x, int top, int bottom);
    // Every pixel whose centre lies within `radius` of the segment from a to b: the stroke of a
    // pen `radius` x 2 wide with round ends.
    void Capsule(QPoint a, QPoint b, double radius);
    // Every pixel whose centre lies within `radius` of the centres of rows top..bottom of column
    // x: discs on each of those pixels.
    void DiscColumn(int x, int top, int bottom, double radius);

    void Draw(QPainter& p, const QColor& colour);

private:
    struct Run {
        int x, top, bottom;
    };
    // Rows of column x from top to bottom (real numbers, both included).
    void AddSpan(int x, double top, double bottom);

    QRect m_clip;
    std::vector<Run> m_runs;
};
