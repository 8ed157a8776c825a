// Text: an edit box sending every change (style 0, "Text") or on its "OK" button (style 1,
// "Text with OK"), or a label when the device does not let the user edit it.
// Password: an edit box and "OK" to log in; once logged in a button that logs out or opens the
// change-password dialog.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>

#include "Ctrl.h"
#include "KindWidgets.h"

namespace {

const QString kOk = QStringLiteral("OK");

// "Text with OK", "Number with OK" and Password share the row: the edit, then a square button.
void PlaceEditWithButton(QWidget* edit, QWidget* button, const CtrlBox& box, int editWidth) {
    Move(edit, box.x, box.y + box.t, editWidth, box.b);
    Move(button, box.x + box.w - box.b - 4, box.y + box.t, box.b + 4, box.b);
}

void RouteReturn(CCtrlWidgets& host, CCtrl& c, QLineEdit* edit) {
    QObject::connect(edit, &QLineEdit::returnPressed, &host, [&host, &c] {
        if (c.m_pButton && !c.m_pButton->isHidden() && c.m_pButton->isEnabled())
            host.Notify(c, c.m_pButton, CtrlNotify::Clicked);
    });
}

class Text : public KindWidgets {
public:
    int WindowIds(const CCtrl& c) const override { return c.IsEditable() ? 3 : 2; }

    void Create(CCtrl& c, WidgetMaker& make) const override {
        CCtrlWidgets& host = make.Host();
        if (c.IsEditable()) {
            auto* edit = make.Body(new QLineEdit(make.Panel()));
            c.m_pEdit = edit;
            if (c.m_dwFlags & CTRLF_TEXT_MASKED) edit->setEchoMode(QLineEdit::Password);
            edit->setMaxLength(c.TextLimit());
            QObject::connect(edit, &QLineEdit::textEdited, &host,
                             [&host, &c, edit] { host.Notify(c, edit, CtrlNotify::EditChange); });
            RouteReturn(host, c, edit);
            c.m_pButton = make.Button(kOk);
            RouteClicks(host, c, c.m_pButton);
        } else {
            c.m_pValueText = make.ValueLabel(c.m_strText, c.m_bBorder);
        }
        c.m_pTitle = make.Title();
    }

    void ShowValue(CCtrl& c) const override {
        SetLabelText(c.m_pValueText, c.m_strText);
        if (!c.m_pEdit) return;
        // The replacement is the device's, not the user's: the edit box reports nothing, and the
        // counts the record raised for its reports are used up here (one setting may stand for
        // several values held until the next frame).
        if (c.m_pEdit->text() != c.m_strText) {
            const QSignalBlocker quiet(c.m_pEdit);
            c.m_pEdit->setText(c.m_strText);
        }
        c.m_nTextEcho = 0;
    }

    void Place(CCtrl& c, const CtrlBox& box) const override {
        if (c.m_pValueText) {
            Move(c.m_pValueText, box.Body());
            SetLabelFrame(c.m_pValueText, c.m_bBorder);
            SetLabelAlignment(c.m_pValueText, AlignmentOf(c.m_nAlign));
        } else if (c.m_nStyle == 1) {
            PlaceEditWithButton(c.m_pEdit, c.m_pButton, box, std::max(0, box.w - box.b + 1) - 4);
            SetCaption(c.m_pButton, kOk);
        } else {
            Move(c.m_pEdit, box.Body());
        }
    }

    void Show(CCtrl& c, bool visible, CCtrlWidgets&) const override {
        SetShown(c.m_pValueText, visible);
        SetShown(c.m_pEdit, visible);
        SetShown(c.m_pButton, visible && c.m_nStyle == 1);
    }

    bool Notify(CCtrl& c, QWidget* w, CtrlNotify what, CCtrlWidgets&) const override {
        if (!c.m_pEdit) return false;
        if (what == CtrlNotify::Clicked && w == c.m_pButton) {
            c.SendText(c.m_pEdit->text());
            return true;
        }
        if (what == CtrlNotify::EditChange) {
            c.TextEdited(c.m_pEdit->text());
            return true;
        }
        return false;
    }
};

class Password : public KindWidgets {
public:
    int WindowIds(const CCtrl&) const override { return 3; }

    void Create(CCtrl& c, WidgetMaker& make) const override {
        CCtrlWidgets& host = make.Host();
        c.m_pButton = make.Button(kOk);
        RouteClicks(host, c, c.m_pButton);
        auto* edit = make.Body(new QLineEdit(make.Panel()));
        c.m_pEdit = edit;
        edit->setEchoMode(QLineEdit::Password);
        RouteReturn(host, c, edit);
        // The password is typed before "OK" is pressed.
        QWidget::setTabOrder(edit, c.m_pButton);
        c.m_pTitle = make.Title();
    }

    void Place(CCtrl& c, const CtrlBox& box) const override {
        if (!c.m_bValue) {
            PlaceEditWithButton(c.m_pEdit, c.m_pButton, box, std::max(0, box.w - box.b - 3));
            SetCaption(c.m_pButton, kOk);
        } else {
            Move(c.m_pButton, box.SecondBody());
            SetCaption(c.m_pButton, (c.m_dwFlags & CTRLF_PASSWORD_CHANGE)
                                        ? QStringLiteral("Password...")
                                        : QStringLiteral("Log Out"));
        }
    }

    void Show(CCtrl& c, bool visible, CCtrlWidgets&) const override {
        SetShown(c.m_pButton, visible);
        SetShown(c.m_pEdit, visible && !c.m_bValue);
    }

    bool Notify(CCtrl& c, QWidget*, CtrlNotify what, CCtrlWidgets&) const override {
        if (what == CtrlNotify::EditChange) return true; // sent on "OK"
        if (what != CtrlNotify::Clicked) return false;
        if (!c.m_bValue) {
            c.LogIn(c.m_pEdit->text());
            c.m_pEdit->clear();
        } else if (c.m_dwFlags & CTRLF_PASSWORD_CHANGE) {
            // May run a dialog: nothing of the record is touched after it.
            if (c.m_pParent) c.m_pParent->OpenPasswordDialog(c);
        } else {
            c.LogOut();
        }
        return true;
    }
};

} // namespace

const KindWidgets& TextWidgets() {
    static const Text kind;
    return kind;
}

const KindWidgets& PasswordWidgets() {
    static const Password kind;
    return kind;
}
