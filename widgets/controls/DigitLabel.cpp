#include "DigitLabel.h"

#include <QEvent>
#include <QGlyphRun>
#include <QPainter>
#include <QStyle>

namespace {

// Characters no font shapes or kerns differently from their glyphs side by side.
bool IsDigitText(const QString& text) {
    if (text.isEmpty()) return false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= u'0' && u <= u'9') || u == u'.' || u == u',' || u == u'-' || u == u'+' ||
              u == u':' || u == u' '))
            return false;
    }
    return true;
}

} // namespace

DigitLabel::DigitLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    // It fills its background itself, with the same painter as the text.
    setAutoFillBackground(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void DigitLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) m_raw = QRawFont();
    QLabel::changeEvent(event);
}

void DigitLabel::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().brush(backgroundRole()));
        if (DrawDigits(painter)) return;
    }
    QLabel::paintEvent(event);
}

bool DigitLabel::DrawDigits(QPainter& painter) {
    const QString label = text();
    if (!isEnabled() || layoutDirection() != Qt::LeftToRight || !IsDigitText(label)) return false;
    if (!m_raw.isValid()) m_raw = QRawFont::fromFont(font());
    const QList<quint32> glyphs = m_raw.glyphIndexesForString(label);
    if (glyphs.size() != label.size() || glyphs.contains(0u)) return false;
    const QList<QPointF> advances = m_raw.advancesForGlyphIndexes(glyphs);
    QList<QPointF> positions;
    positions.reserve(advances.size());
    qreal width = 0;
    for (const QPointF& advance : advances) {
        positions.append(QPointF(width, 0));
        width += advance.x();
    }
    // The label's own text rectangle: inside the frame, indented by half an x when framed.
    QRect r = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    const Qt::Alignment align = QStyle::visualAlignment(Qt::LeftToRight, alignment());
    int indentBy = indent();
    if (indentBy < 0 && frameWidth())
        indentBy = fontMetrics().horizontalAdvance(u'x') / 2 - margin();
    if (indentBy > 0) {
        if (align & Qt::AlignLeft) r.setLeft(r.left() + indentBy);
        if (align & Qt::AlignRight) r.setRight(r.right() - indentBy);
        if (align & Qt::AlignTop) r.setTop(r.top() + indentBy);
        if (align & Qt::AlignBottom) r.setBottom(r.bottom() - indentBy);
    }
    const qreal height = m_raw.ascent() + m_raw.descent();
    if (width > r.width() || height > r.height()) return false; // a label clips it
    qreal x = r.x(), y = r.y();
    if (align & Qt::AlignRight)
        x += r.width() - width;
    else if (align & Qt::AlignHCenter)
        x += (r.width() - width) / 2;
    if (align & Qt::AlignBottom)
        y += r.height() - height;
    else if (align & Qt::AlignVCenter)
        y += (r.height() - height) / 2;
    drawFrame(&painter);
    QGlyphRun run;
    run.setRawFont(m_raw);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    painter.setPen(QPen(palette().brush(foregroundRole()), painter.pen().widthF()));
    painter.drawGlyphRun(QPointF(x, y + m_raw.ascent()), run);
    return true;
}
