#include "CtrlColours.h"

#include <QPalette>
#include <QWidget>

#include "Ctrl.h"
#include "CtrlWidgetList.h"

namespace {

const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);
const QColor kLightGrey(192, 192, 192);

Colouring Plain(const QColor& background) {
    return {kBlack, background};
}

// The control's colour behind text that stays readable on it.
Colouring Normal(const CCtrl& c) {
    return {IsLightColour(c.m_crColour) ? kBlack : kWhite, ColourOf(c.m_crColour)};
}

// "On": the control's colour as text on black (white behind a dark colour).
Colouring Inverted(const CCtrl& c) {
    return {ColourOf(c.m_crColour), IsLightColour(c.m_crColour) ? kBlack : kWhite};
}

Colouring NumberColour(const CCtrl& c, const QWidget* w) {
    const bool bar = c.m_nStyle == 2;
    if (c.IsEditable() && !bar) {
        if (w == c.m_pMinus || w == c.m_pPlus) return Plain(kLightGrey);
        return {kBlack, kWhite};
    }
    const bool light = IsLightColour(c.m_crColour);
    if (w == c.m_pBar) return {light ? kBlack : kWhite, ColourOf(c.m_crColour)};
    if (bar && w == c.m_pValueText)
        return light ? Colouring{kWhite, kBlack} : Colouring{kBlack, kWhite};
    return Normal(c);
}

QColor Blend(const QColor& a, const QColor& b) {
    return QColor((a.red() + b.red()) / 2, (a.green() + b.green()) / 2, (a.blue() + b.blue()) / 2);
}

void SetColouring(QWidget* w, const Colouring& colours) {
    const QPalette& now = w->palette();
    if (now.color(QPalette::Active, QPalette::Window) == colours.background &&
        now.color(QPalette::Active, QPalette::WindowText) == colours.text &&
        now.color(QPalette::Active, QPalette::Base) == colours.background)
        return;
    QPalette p = now;
    for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
        p.setColor(role, colours.background);
    const QColor greyed = Blend(colours.text, colours.background);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Active, role, colours.text);
        p.setColor(QPalette::Inactive, role, colours.text);
        p.setColor(QPalette::Disabled, role, greyed);
    }
    w->setPalette(p);
}

} // namespace

QColor ColourOf(uint32_t bgr) {
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

bool IsLightColour(uint32_t bgr) {
    return (bgr & 0xFF) + ((bgr >> 8) & 0xFF) + ((bgr >> 16) & 0xFF) > 254;
}

Colouring CtlColour(const CCtrl& c, const QWidget* w) {
    if (w && w == c.m_pTitle) return Plain(kWhite);
    switch (c.m_nType) {
    case TYPE_TEXT:
        if (c.m_nStyle == 1)
            return w && w == c.m_pEdit ? Colouring{kBlack, ColourOf(c.m_crColour)}
                                       : Plain(kLightGrey);
        return Normal(c);
    case TYPE_LATCH:
        if (c.m_nStyle == 1) return Plain(kWhite);
        return c.m_bValue ? Inverted(c) : Normal(c);
    case TYPE_SECTION:
        return c.m_bValue ? Inverted(c) : Normal(c);
    case TYPE_NUMBER:
        return NumberColour(c, w);
    case TYPE_PASSWORD:
        if (w && w == c.m_pEdit) return {kBlack, ColourOf(c.m_crColour)};
        return Plain(kLightGrey);
    case TYPE_MESSAGEBOX:
    case TYPE_IMAGE:
        return Plain(kWhite);
    case TYPE_FILE:
        return c.m_bFileRequested ? Inverted(c) : Normal(c);
    case TYPE_UNSUPPORTED:
    case TYPE_BUTTON:
    case TYPE_DATETIME:
    case TYPE_MATRIX:
    case TYPE_LIST:
    case TYPE_BLOB:
        return Normal(c);
    default:
        return Plain(kWhite);
    }
}

void ApplyColours(CCtrl& c) {
    ForEachWidget(c, [&c](QWidget* w) { SetColouring(w, CtlColour(c, w)); });
}
