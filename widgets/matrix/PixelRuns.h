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
    // Shapes reach `radius` pixels around their points (at most 16).
    PixelRuns(const QRect& clip, double radius);

    // Every pixel whose centre lies within the radius of the segment from a to b: the stroke of
    // a pen twice the radius wide with round ends.
    void Capsule(QPoint a, QPoint b);
    // Every pixel whose centre lies within the radius of the centres of rows top..bottom of
    // column x: a disc on each of those pixels.
    void DiscColumn(int x, int top, int bottom);

    void Draw(QPainter& p, const QColor& colour);

private:
    struct Run {
        int x, top, bottom;
    };
    // Rows of column x from top to bottom (real numbers, both included).
    void AddSpan(int x, double top, double bottom);

    QRect m_clip;
    double m_radius;
    int m_reach;                // whole pixels the radius reaches
    std::vector<double> m_half; // half the height of the disc, by pixels from its centre
    std::vector<Run> m_runs;
};
