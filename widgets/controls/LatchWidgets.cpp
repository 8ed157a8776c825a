// Latch: a latch button (style 0) or a check box (style 1); a momentary latch (flag 0x10000)
// shows its momentary button in place of the latch button.
#include <QCheckBox>
#include <QPushButton>

#include "Ctrl.h"
#include "KindWidgets.h"
#include "MomentaryButton.h"

namespace {

class Latch : public KindWidgets {
public:
    int WindowIds(const CCtrl&) const override { return 4; }

    void Create(CCtrl& c, WidgetMaker& make) const override {
        CCtrlWidgets& host = make.Host();
        c.m_pButton = make.Button(c.m_strName);
        RouteClicks(host, c, c.m_pButton);
        auto* momentary = make.Body(new CMomentaryButton(Caption(c.m_strName), make.Panel()));
        c.m_pMomentary = momentary;
        QObject::connect(momentary, &QAbstractButton::pressed, &host, [&host, &c, momentary] {
            host.Notify(c, momentary, CtrlNotify::Pressed);
        });
        QObject::connect(momentary, &QAbstractButton::released, &host, [&host, &c, momentary] {
            host.Notify(c, momentary, CtrlNotify::Released);
        });
        c.m_pCheck = make.Body(new QCheckBox(Caption(c.m_strName), make.Panel()));
        RouteClicks(host, c, c.m_pCheck);
        c.m_pTitle = make.Title();
    }

    void ShowValue(CCtrl& c) const override {
        // The check box shows the record's state, not its own idea of a click.
        const bool on = c.m_bValue != 0;
        if (c.m_pCheck->isChecked() != on) c.m_pCheck->setChecked(on);
    }

    void Place(CCtrl& c, const CtrlBox& box) const override {
        for (QWidget* w :
             {static_cast<QWidget*>(c.m_pButton), static_cast<QWidget*>(c.m_pMomentary),
              static_cast<QWidget*>(c.m_pCheck)})
            Move(w, box.Body());
    }

    void Show(CCtrl& c, bool visible, CCtrlWidgets&) const override {
        const bool momentary = c.m_dwFlags & CTRLF_LATCH_MOMENTARY;
        SetShown(c.m_pButton, visible && c.m_nStyle == 0 && !momentary);
        SetShown(c.m_pMomentary, visible && c.m_nStyle == 0 && momentary);
        SetShown(c.m_pCheck, visible && c.m_nStyle == 1);
    }

    bool Notify(CCtrl& c, QWidget*, CtrlNotify what, CCtrlWidgets&) const override {
        switch (what) {
        case CtrlNotify::Clicked:
            c.ClickLatch();
            return true;
        case CtrlNotify::Pressed:
            c.PressMomentary();
            return true;
        case CtrlNotify::Released:
            c.ReleaseMomentary();
            return true;
        default:
            return false;
        }
    }
};

} // namespace

const KindWidgets& LatchWidgets() {
    static const Latch kind;
    return kind;
}
