// The colours of a control's widgets: which text and background colour each widget gets from the
// control's colour, kind, style and state, applied as the widgets' palettes.
#pragma once

#include <QColor>
#include <QPalette>
#include <cstdint>

class CCtrl;
class QWidget;

struct Colouring {
    QColor text;
    QColor background;
    bool operator==(const Colouring&) const = default;
};

// 0x00BBGGRR as a colour.
QColor ColourOf(uint32_t bgr);
// Light when red + green + blue exceed 254: such colours take black text.
bool IsLightColour(uint32_t bgr);
// The colouring of one of the control's widgets.
Colouring CtlColour(const CCtrl& c, const QWidget* w);
// Every widget of the control, each palette changed only when its colouring differs.
void ApplyColours(CCtrl& c);
// The panel's own palette: white behind black text, buttons in the default control colour. The
// widgets inherit it, so the common colourings need no palette of their own.
QPalette PanelPalette(const QPalette& base);
