// Making a control's widgets, and the small widget helpers the families share.
#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "Ctrl.h"
#include "CtrlColours.h"
#include "DigitLabel.h"
#include "KindWidgets.h"
#include "PlainText.h"

namespace {

constexpr const char* kWindowId = "windowId";

} // namespace

int WindowIdOf(const QWidget* w) {
    return w ? w->property(kWindowId).toInt() : 0;
}

CtrlBox::CtrlBox(const CCtrl& c)
    : x(c.m_nX), y(c.m_nY), w(c.m_nWidth), h(c.m_nHeight),
      t(c.m_bShowTitle ? c.m_nTitleFontSize : 0), b(c.m_nHeight - t), x2(c.m_nX2), y2(c.m_nY2),
      w2(c.m_nWidth2), h2(c.m_nHeight2) {}

WidgetMaker::WidgetMaker(CCtrl& c, QWidget* panel, CCtrlWidgets& host, bool late)
    : m_c(c), m_pPanel(panel), m_host(host), m_bLate(late) {}

int WidgetMaker::NextId() {
    // The record took the first id in Init; the host's counter hands out the others in order
    // (widgets made late had theirs kept at creation, right after the first).
    int id = m_c.m_nWndId;
    if (m_nMade > 0 && m_c.m_pParent)
        id = m_bLate ? m_c.m_nWndId + m_nMade : m_c.m_pParent->NextWindowId();
    ++m_nMade;
    return id;
}

int WidgetMaker::Reserve() {
    return NextId();
}

void WidgetMaker::Setup(QWidget* w, bool body) {
    // Explicitly hidden: showing the panel must not show it.
    w->hide();
    w->setProperty(kWindowId, NextId());
    // Set only where it differs from what the widget has: setting a font or a name is costly
    // for some widgets (a combo box makes its list for a new font).
    const QFont* font = body ? m_c.m_pFont : m_c.m_pTitleFont;
    if (font && w->font() != *font) w->setFont(*font);
    if (!body) return;
    auto* button = qobject_cast<QAbstractButton*>(w);
    if (!button || button->text() != Caption(m_c.m_strName)) w->setAccessibleName(m_c.m_strName);
}

QLabel* WidgetMaker::Title() {
    // Drawn over the white panel, like the title's own background.
    QLabel* title = MakePlainLabel(m_c.m_strName, m_pPanel);
    Setup(title, false);
    return title;
}

QLabel* WidgetMaker::ValueLabel(const QString& text, bool border) {
    // Values may change many times a second: their digits are drawn without text shaping.
    QLabel* label = new DigitLabel(m_pPanel);
    label->setText(text);
    label->setAlignment(Qt::AlignCenter);
    SetLabelFrame(label, border);
    return Body(label);
}

QPushButton* WidgetMaker::Button(const QString& caption) {
    return Body(new QPushButton(Caption(caption), m_pPanel));
}

void SetUpLateWidget(CCtrl& c, QWidget* w, int windowId) {
    w->hide();
    w->setProperty(kWindowId, windowId);
    if (c.m_pFont && w->font() != *c.m_pFont) w->setFont(*c.m_pFont);
    w->setAccessibleName(c.m_strName);
    w->setEnabled(!(c.m_dwFlags & CTRLF_DISABLED));
    ApplyColours(c);
}

void RouteClicks(CCtrlWidgets& host, CCtrl& c, QAbstractButton* button) {
    QObject::connect(button, &QAbstractButton::clicked, &host,
                     [&host, &c, button] { host.Notify(c, button, CtrlNotify::Clicked); });
}

void SetShown(QWidget* w, bool shown) {
    if (w && w->isHidden() == shown) w->setVisible(shown);
}

void Move(QWidget* w, int x, int y, int width, int height) {
    if (!w) return;
    // Fixed at its place: a new text then asks the panel for no layout pass (the panel has no
    // layout; each request would be an event and a turn of the scroll area's bars).
    w->setFixedSize(std::max(0, width), std::max(0, height));
    w->move(x, y);
}

void SetLabelText(QLabel* label, const QString& text) {
    if (label && label->text() != text) label->setText(text);
}

void SetLabelFrame(QLabel* label, bool border) {
    if (!label) return;
    const int style = border ? (QFrame::Box | QFrame::Plain) : QFrame::NoFrame;
    if (label->frameStyle() != style) label->setFrameStyle(style);
}

void SetLabelAlignment(QLabel* label, Qt::Alignment align) {
    if (label && label->alignment() != align) label->setAlignment(align);
}

Qt::Alignment AlignmentOf(int align) {
    switch (align) {
    case 1:
        return Qt::AlignCenter;
    case 2:
        return Qt::AlignRight | Qt::AlignVCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

QString Caption(const QString& text) {
    QString caption = text;
    return caption.replace(u'&', QStringLiteral("&&"));
}

void SetCaption(QAbstractButton* button, const QString& text) {
    if (!button) return;
    const QString caption = Caption(text);
    if (button->text() != caption) button->setText(caption);
}
