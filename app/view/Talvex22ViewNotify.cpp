// Notifications of the controls' child widgets, routed to the control that owns the widget.
#include "Ctrl.h"
#include "Talvex22View.h"

CCtrl* CTalvex22View::FindOwner(const QWidget* child) const {
    if (!child) return nullptr;
    for (const auto& c : m_pCtrls)
        if (CCtrlWidgets::OwnsWindow(*c, child)) return c.get();
    return nullptr;
}

bool CTalvex22View::RouteNotification(QWidget* child, int code) {
    CCtrl* c = FindOwner(child);
    if (!c) return false;
    CtrlNotify what;
    switch (code) {
    case NOTIFY_CLICK:
        what = CtrlNotify::Clicked;
        break;
    case NOTIFY_SELECTION:
        what = CtrlNotify::SelChange;
        break;
    case NOTIFY_TEXT_CHANGE:
        what = CtrlNotify::EditChange;
        break;
    case NOTIFY_DATETIME_CHANGE:
        what = CtrlNotify::DateTimeChange;
        break;
    case NOTIFY_SCROLL:
        what = CtrlNotify::SliderScroll;
        break;
    default:
        return false;
    }
    m_pWidgets->Notify(*c, child, what);
    return true;
}
