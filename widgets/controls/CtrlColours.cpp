#include "CtrlColours.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QSlider>
#include <span>

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

struct Roles {
    QPalette::ColorRole background;
    QPalette::ColorRole text;
};

// The palette roles a widget draws its background and text with.
std::span<const Roles> RolesOf(const QWidget* w) {
    static constexpr Roles kWindow[] = {{QPalette::Window, QPalette::WindowText}};
    static constexpr Roles kButton[] = {{QPalette::Button, QPalette::ButtonText}};
    static constexpr Roles kInput[] = {{QPalette::Base, QPalette::Text}};
    static constexpr Roles kCombined[] = {{QPalette::Base, QPalette::Text},
                                          {QPalette::Button, QPalette::ButtonText}};
    if (qobject_cast<const QLabel*>(w) || qobject_cast<const QCheckBox*>(w)) return kWindow;
    if (qobject_cast<const QPushButton*>(w)) return kButton;
    if (qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractSpinBox*>(w))
        return kCombined;
    if (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractItemView*>(w))
        return kInput;
    if (qobject_cast<const QSlider*>(w)) return {}; // drawn over the panel
    return kWindow;
}

// Changes the palette only when one of the widget's roles differs: most widgets keep the one
// they inherit from the panel.
void SetColouring(QWidget* w, const Colouring& colours) {
    const std::span<const Roles> roles = RolesOf(w);
    const QPalette& now = w->palette();
    bool same = true;
    for (const Roles& r : roles)
        same = same && now.color(QPalette::Active, r.background) == colours.background &&
               now.color(QPalette::Active, r.text) == colours.text;
    if (same) return;
    QPalette p = now;
    const QColor greyed = Blend(colours.text, colours.background);
    for (const Roles& r : roles) {
        p.setColor(r.background, colours.background);
        p.setColor(QPalette::Active, r.text, colours.text);
        p.setColor(QPalette::Inactive, r.text, colours.text);
        p.setColor(QPalette::Disabled, r.text, greyed);
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

QPalette PanelPalette(const QPalette& base) {
    QPalette p = base;
    p.setColor(QPalette::Window, kWhite);
    p.setColor(QPalette::Base, kWhite);
    p.setColor(QPalette::Button, ColourOf(CTRL_DEFAULT_COLOUR));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Active, role, kBlack);
        p.setColor(QPalette::Inactive, role, kBlack);
    }
    return p;
}

void ApplyColours(CCtrl& c) {
    ForEachWidget(c, [&c](QWidget* w) { SetColouring(w, CtlColour(c, w)); });
}
