// What the widgets of one family of kinds do: make them, show the record's value in them, place
// them by the layout rules, show or hide them, and turn their notifications into the record's
// user acts. One family per file:
//   ButtonKinds.cpp     unsupported, Button, Section, Blob, File, Image, Message box
//   LatchWidgets.cpp    Latch
//   TextWidgets.cpp     Text, Password
//   NumberWidgets.cpp   Number
//   DateTimeWidgets.cpp Date/time
//   ListWidgets.cpp     List
//   MatrixWidgets.cpp   Matrix
// Widget helpers shared by the families are in WidgetMaker.cpp.
#pragma once

#include <QRect>
#include <QString>
#include <Qt>

#include "CtrlWidgets.h"

class CCtrl;
class QAbstractButton;
class QLabel;
class QPushButton;
class QWidget;

// The control's rectangle as the layout gives it: X, Y, W, H, the title band T (the title font
// size while the title is shown) and the body height B = H - T; and the second rectangle that
// Section and Password use.
struct CtrlBox {
    explicit CtrlBox(const CCtrl& c);
    int x, y, w, h, t, b;
    int x2, y2, w2, h2;
    QRect Body() const { return {x, y + t, w, b}; }
    QRect SecondBody() const { return {x2, y2 + t, w2, h2 - t}; }
};

// Makes a control's widgets in creation order: each takes the next window id (the first is the
// record's m_nWndId), is hidden and carries its font. Body widgets carry the control's name as
// accessible name. Widgets are constructed as children of Panel().
class WidgetMaker {
public:
    // `late`: the widgets are made after the record's creation, which kept their window ids
    // (m_nWndId and the ones after it) from the host's counter.
    WidgetMaker(CCtrl& c, QWidget* panel, CCtrlWidgets& host, bool late = false);

    template <class W> W* Body(W* w) {
        Setup(w, true);
        return w;
    }
    QLabel* Title();
    QLabel* ValueLabel(const QString& text, bool border);
    QPushButton* Button(const QString& caption);
    // Keeps a place in the order for a widget made when first needed; returns its window id.
    int Reserve();

    QWidget* Panel() const { return m_pPanel; }
    CCtrlWidgets& Host() const { return m_host; }

private:
    void Setup(QWidget* w, bool body);
    int NextId();
    CCtrl& m_c;
    QWidget* m_pPanel;
    CCtrlWidgets& m_host;
    int m_nMade = 0;
    bool m_bLate;
};

class KindWidgets {
public:
    virtual ~KindWidgets() = default;
    virtual void Create(CCtrl& c, WidgetMaker& make) const = 0;
    // The window ids Create takes (its widgets and the places it keeps), from the same state.
    virtual int WindowIds(const CCtrl& c) const = 0;
    // The record's value (from the device or the user) into the widgets.
    virtual void ShowValue(CCtrl&) const {}
    // The body widgets; the title is placed by the caller.
    virtual void Place(CCtrl& c, const CtrlBox& box) const = 0;
    // The body widgets; the title is shown by the caller. A widget few panels show is made here
    // when first shown (its window id was kept for it at creation).
    virtual void Show(CCtrl& c, bool visible, CCtrlWidgets& host) const = 0;
    // False when the kind does not expect this notification.
    virtual bool Notify(CCtrl& c, QWidget* w, CtrlNotify what, CCtrlWidgets& host) const = 0;
};

const KindWidgets& ButtonKindWidgets();
const KindWidgets& LatchWidgets();
const KindWidgets& TextWidgets();
const KindWidgets& PasswordWidgets();
const KindWidgets& NumberWidgets();
const KindWidgets& DateTimeWidgets();
const KindWidgets& ListWidgets();
const KindWidgets& MatrixWidgets();

// ---- Widget helpers (WidgetMaker.cpp)

// Sets up a widget made after its control was created (see KindWidgets::Show): its window id,
// hidden, the control's font, name, colours and enabled state.
void SetUpLateWidget(CCtrl& c, QWidget* w, int windowId);
// Routes a button's clicks (or a momentary button's press and release) to the host.
void RouteClicks(CCtrlWidgets& host, CCtrl& c, QAbstractButton* button);
// Shown or hidden; nothing happens to a missing widget or one already so.
void SetShown(QWidget* w, bool shown);
// Moves a widget (when present); a negative width or height is taken as 0.
void Move(QWidget* w, int x, int y, int width, int height);
inline void Move(QWidget* w, const QRect& r) {
    Move(w, r.x(), r.y(), r.width(), r.height());
}
// A label's text (plain), frame and alignment, each changed only when it differs.
void SetLabelText(QLabel* label, const QString& text);
void SetLabelFrame(QLabel* label, bool border);
void SetLabelAlignment(QLabel* label, Qt::Alignment align);
// m_nAlign (0 left, 1 centre, 2 right), vertically centred.
Qt::Alignment AlignmentOf(int align);
// A caption shown literally: '&' makes no shortcut.
QString Caption(const QString& text);
void SetCaption(QAbstractButton* button, const QString& text);
