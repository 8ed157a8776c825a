// The kinds with one main widget: unsupported ("???" label), Button, Section, Blob and File
// (a button), Image (only its title: the picture is drawn by the view), and the Message box
// (no widgets: it shows a box of its own).
#include <QLabel>
#include <QPushButton>

#include "Ctrl.h"
#include "KindWidgets.h"

namespace {

QWidget* MainWidget(const CCtrl& c) {
    return c.m_nType == TYPE_UNSUPPORTED ? static_cast<QWidget*>(c.m_pValueText) : c.m_pButton;
}

class ButtonKinds : public KindWidgets {
public:
    int WindowIds(const CCtrl& c) const override {
        switch (c.m_nType) {
        case TYPE_UNSUPPORTED:
        case TYPE_IMAGE:
            return 1;
        case TYPE_MESSAGEBOX:
            return 0;
        default:
            return 2;
        }
    }

    void Create(CCtrl& c, WidgetMaker& make) const override {
        switch (c.m_nType) {
        case TYPE_UNSUPPORTED:
            c.m_pValueText = make.ValueLabel(c.m_strText, c.m_bBorder);
            return; // no title
        case TYPE_BUTTON:
        case TYPE_SECTION:
        case TYPE_BLOB:
        case TYPE_FILE:
            c.m_pButton = make.Button(c.m_strName);
            RouteClicks(make.Host(), c, c.m_pButton);
            break;
        case TYPE_IMAGE:
            break;
        default:
            return; // Message box
        }
        c.m_pTitle = make.Title();
    }

    void ShowValue(CCtrl& c) const override {
        if (c.m_nType == TYPE_UNSUPPORTED) SetLabelText(c.m_pValueText, c.m_strText);
        // The others show their state by colour and font only.
    }

    void Place(CCtrl& c, const CtrlBox& box) const override {
        QWidget* main = MainWidget(c);
        if (c.m_nType == TYPE_SECTION && c.m_bValue)
            Move(main, box.SecondBody());
        else if (c.m_nType != TYPE_IMAGE && c.m_nType != TYPE_MESSAGEBOX)
            Move(main, box.Body());
        if (c.m_nType == TYPE_UNSUPPORTED) SetLabelFrame(c.m_pValueText, c.m_bBorder);
        // A push button draws its own frame whatever m_bBorder says.
    }

    void Show(CCtrl& c, bool visible, CCtrlWidgets&) const override {
        SetShown(MainWidget(c), visible);
    }

    bool Notify(CCtrl& c, QWidget*, CtrlNotify what, CCtrlWidgets& host) const override {
        if (what != CtrlNotify::Clicked) return false;
        switch (c.m_nType) {
        case TYPE_BUTTON:
            c.PressButton();
            break;
        case TYPE_SECTION:
            c.ToggleSection();
            emit host.RelayoutRequested();
            break;
        case TYPE_BLOB:
            host.OpenBlob(c);
            break;
        case TYPE_FILE:
            c.RequestFile();
            break;
        default:
            break; // unsupported, Image, Message box: nothing
        }
        return true;
    }
};

} // namespace

const KindWidgets& ButtonKindWidgets() {
    static const ButtonKinds kinds;
    return kinds;
}
