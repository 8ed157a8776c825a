// Notifications of the controls' child widgets, routed to the control that owns the widget.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
#include <QTimeEdit>

#include "Ctrl.h"
#include "Talvex22View.h"

namespace {

bool Owns(const CCtrl& c, const QWidget* w) {
    const QWidget* widgets[] = {c.m_pTitle,     c.m_pButton,  c.m_pCheck,      c.m_pMomentary,
                                c.m_pValueText, c.m_pBar,     c.m_pEdit,       c.m_pMinus,
                                c.m_pPlus,      c.m_pSlider,  c.m_pDatePicker, c.m_pTimePicker,
                                c.m_pDropList,  c.m_pListBox, c.m_pChart,      c.m_pTable};
    for (const QWidget* own : widgets)
        if (own && own == w) return true;
    return false;
}

QString EditText(const CCtrl& c) {
    return c.m_pEdit ? c.m_pEdit->text() : QString();
}

} // namespace

CCtrl* CTalvex22View::FindOwner(const QWidget* child) const {
    if (!child) return nullptr;
    for (const auto& c : m_pCtrls)
        if (Owns(*c, child)) return c.get();
    return nullptr;
}

bool CTalvex22View::RouteNotification(QWidget* child, int code) {
    CCtrl* c = FindOwner(child);
    if (!c) return false;
    switch (code) {
    case NOTIFY_CLICK:
        if (child == c->m_pMinus || child == c->m_pPlus) {
            c->StepNumber(child == c->m_pPlus);
        } else if (c->m_nType == TYPE_BUTTON) {
            c->PressButton();
        } else if (c->m_nType == TYPE_LATCH) {
            c->ClickLatch();
        } else if (c->m_nType == TYPE_SECTION) {
            c->ToggleSection();
            Relayout(true, true);
        } else if (c->m_nType == TYPE_FILE) {
            c->RequestFile();
        } else if (c->m_nType == TYPE_TEXT && child == c->m_pButton) {
            c->SendText(EditText(*c));
        } else if (c->m_nType == TYPE_NUMBER && child == c->m_pButton) {
            c->EnterNumber(EditText(*c));
        }
        return true;
    case NOTIFY_SELECTION:
        if (c->m_nType == TYPE_LIST) {
            int index = c->m_pDropList  ? c->m_pDropList->currentIndex()
                        : c->m_pListBox ? c->m_pListBox->currentRow()
                                        : -1;
            c->SelectListItem(index);
        } else if (c->m_nType == TYPE_DATETIME && c->m_pDropList) {
            c->SelectWeekday(c->m_pDropList->currentIndex());
        }
        return true;
    case NOTIFY_TEXT_CHANGE:
        if (c->m_nType == TYPE_TEXT) c->TextEdited(EditText(*c));
        return true;
    case NOTIFY_DATETIME_CHANGE:
        if (c->m_nType == TYPE_DATETIME) {
            QDate date = c->m_pDatePicker ? c->m_pDatePicker->date() : QDate();
            QTime time = c->m_pTimePicker ? c->m_pTimePicker->time() : QTime();
            c->ChangeDateTime(date, time);
        }
        return true;
    case NOTIFY_SCROLL:
        if (c->m_nType == TYPE_NUMBER && c->m_pSlider) c->SlideNumber(c->m_pSlider->value());
        return true;
    default:
        return false;
    }
}
