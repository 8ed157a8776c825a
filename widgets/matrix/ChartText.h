// Text on charts: one line, top-left aligned, on a white background, drawn across or reading from
// bottom to top. Device texts pass through as plain text.
#pragma once

#include <QColor>
#include <QFont>
#include <QSize>
#include <QString>

class QPainter;

// Both chart fonts are 16 pixels high: normal for axis labels, bold for series names and headings.
QFont ChartFont(bool bold);

// The size of the text laid out on one line.
QSize MeasureChartText(const QFont& font, const QString& text);

// The text across, clipped to (x, y, width, height).
void DrawHorizontalText(QPainter& p, const QFont& font, int x, int y, const QString& text,
                        int width, int height, const QColor& colour = Qt::black);

// The text turned a quarter to the left: it reads from bottom to top and fills the box of
// `thickness` columns and `length` rows at (x, y); the first line of pixels of the text lies in
// column x, its start at the bottom.
void DrawVerticalText(QPainter& p, const QFont& font, int x, int y, const QString& text, int length,
                      int thickness, const QColor& colour);
