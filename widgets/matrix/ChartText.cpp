#include "ChartText.h"

#include <QFontMetrics>
#include <QPainter>

namespace {

constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;

// Text drawn over a white box of the given size at the painter's origin.
void DrawTextBox(QPainter& p, const QFont& font, const QString& text, int width, int height,
                 const QColor& colour) {
    const QRect box(0, 0, width, height);
    p.setClipRect(box, Qt::IntersectClip);
    p.fillRect(box, Qt::white);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(box, kTextFlags, text);
}

} // namespace

QFont ChartFont(bool bold) {
    QFont font;
    font.setPixelSize(16);
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    return font;
}

QSize MeasureChartText(const QFont& font, const QString& text) {
    return QFontMetrics(font).boundingRect(QRect(0, 0, 240, 320), kTextFlags, text).size();
}

void DrawHorizontalText(QPainter& p, const QFont& font, int x, int y, const QString& text,
                        int width, int height, const QColor& colour) {
    if (width <= 0 || height <= 0) return;
    p.save();
    p.translate(x, y);
    DrawTextBox(p, font, text, width, height, colour);
    p.restore();
}

void DrawVerticalText(QPainter& p, const QFont& font, int x, int y, const QString& text, int length,
                      int thickness, const QColor& colour) {
    if (length <= 0 || thickness <= 0) return;
    p.save();
    // Text pixel (j, i) lands on (x + i, y + length - 1 - j).
    p.translate(x, y + length);
    p.rotate(-90);
    DrawTextBox(p, font, text, length, thickness, colour);
    p.restore();
}
