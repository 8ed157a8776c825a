// A value label for texts that change many times a second. A text of digits, signs and
// separators is drawn straight from the font's glyphs, sparing the layout and shaping a label
// does for each new text (most of what showing a value costs); it looks as a label draws it.
// Any other text, a disabled label or a right-to-left one is drawn by the label itself. It always
// fills its background.
#pragma once

#include <QLabel>
#include <QRawFont>

class DigitLabel : public QLabel {
public:
    explicit DigitLabel(QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // False, with nothing drawn, when the text is not one for glyphs alone.
    bool DrawDigits(QPainter& painter);

    QRawFont m_raw; // the font's, made when first needed
};
