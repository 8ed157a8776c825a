// Number: a value label, or a bar (style 2) whose filled part grows with the value; when the user
// may edit it, "Number with OK" (an edit box and "OK", style 0), "Number with spin" (the value
// with "-" and "+", style 1) or a slider (style 3).
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>

#include "Ctrl.h"
#include "KindWidgets.h"

namespace {

bool IsBar(const CCtrl& c) {
    return c.m_nStyle == 2;
}

// The filled part of a bar of width `width`: the value's share of the range, within 0..width
// (a value outside the range, or an empty range, cannot draw outside the control).
int BarFill(const CCtrl& c, int width) {
    const int64_t range = int64_t(c.m_nMax) - c.m_nMin;
    if (range <= 0 || width <= 0) return 0;
    const int64_t fill = (int64_t(c.m_nValue) - c.m_nMin) * width / range;
    return int(std::clamp<int64_t>(fill, 0, width));
}

void PlaceBar(CCtrl& c, const CtrlBox& box) {
    const int fill = BarFill(c, box.w);
    Move(c.m_pBar, box.x, box.y + box.t, std::min(fill + 1, box.w), box.b);
    Move(c.m_pValueText, box.x + fill, box.y + box.t, box.w - fill, box.b);
    // The text goes where there is room: into the bar once it passes the middle.
    const QString text = c.NumberText(c.NumberWidth());
    const bool inBar = int64_t(c.m_nValue) - c.m_nMin > (int64_t(c.m_nMax) - c.m_nMin) / 2;
    SetLabelText(c.m_pBar, inBar ? text : QString());
    SetLabelText(c.m_pValueText, inBar ? QString() : text);
    SetLabelAlignment(c.m_pBar, Qt::AlignLeft | Qt::AlignVCenter);
    SetLabelAlignment(c.m_pValueText, Qt::AlignRight | Qt::AlignVCenter);
    SetLabelFrame(c.m_pBar, true);
    SetLabelFrame(c.m_pValueText, true);
}

class Number : public KindWidgets {
public:
    int WindowIds(const CCtrl& c) const override { return c.IsEditable() ? 7 : 3; }

    void Create(CCtrl& c, WidgetMaker& make) const override {
        CCtrlWidgets& host = make.Host();
        if (c.IsEditable()) {
            c.m_pPlus = make.Button(QStringLiteral("+"));
            RouteClicks(host, c, c.m_pPlus);
            c.m_pMinus = make.Button(QStringLiteral("-"));
            RouteClicks(host, c, c.m_pMinus);
            auto* edit = make.Body(new QLineEdit(make.Panel()));
            c.m_pEdit = edit;
            edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            QObject::connect(edit, &QLineEdit::returnPressed, &host, [&host, &c] {
                if (c.m_nStyle == 0) host.Notify(c, c.m_pMinus, CtrlNotify::Clicked);
            });
            auto* slider = make.Body(new QSlider(Qt::Horizontal, make.Panel()));
            c.m_pSlider = slider;
            slider->setTickPosition(QSlider::NoTicks);
            const auto [low, high] = c.SliderRange();
            slider->setRange(low, high);
            // The value is sent when the thumb is let go, never while it is dragged.
            slider->setTracking(false);
            QObject::connect(slider, &QSlider::valueChanged, &host, [&host, &c, slider] {
                host.Notify(c, slider, CtrlNotify::SliderScroll);
            });
            // The value is typed, then confirmed.
            QWidget::setTabOrder(edit, c.m_pMinus);
        }
        c.m_pValueText = make.ValueLabel(QString(), c.m_bBorder);
        c.m_pBar = make.ValueLabel(QString(), true);
        c.m_pTitle = make.Title();
    }

    void ShowValue(CCtrl& c) const override {
        // The bar's label is hidden out of a bar, and a bar places its texts itself.
        if (IsBar(c))
            PlaceBar(c, CtrlBox(c));
        else
            SetLabelText(c.m_pValueText, c.NumberText(c.NumberWidth()));
        if (c.m_pEdit) {
            const QString bare = c.NumberEditText();
            if (c.m_pEdit->text() != bare) c.m_pEdit->setText(bare);
        }
        if (c.m_pSlider && c.m_pSlider->value() != c.m_nValue) {
            const QSignalBlocker quiet(c.m_pSlider);
            c.m_pSlider->setValue(c.m_nValue);
        }
    }

    void Place(CCtrl& c, const CtrlBox& box) const override {
        if (IsBar(c)) {
            PlaceBar(c, box);
            return;
        }
        // Out of the bar: one text, aligned and framed as the layout says; between the spin
        // buttons it stays centred as created.
        const bool spin = c.IsEditable() && c.m_nStyle == 1;
        SetLabelText(c.m_pValueText, c.NumberText(c.NumberWidth()));
        SetLabelAlignment(c.m_pValueText, spin ? Qt::AlignCenter : AlignmentOf(c.m_nAlign));
        SetLabelFrame(c.m_pValueText, c.m_bBorder);
        if (!c.IsEditable()) {
            Move(c.m_pValueText, box.Body());
            return;
        }
        const int y = box.y + box.t;
        switch (c.m_nStyle) {
        case 0:
            Move(c.m_pEdit, box.x, y, std::max(0, box.w - box.b + 1) - 4, box.b);
            Move(c.m_pMinus, box.x + box.w - box.b - 4, y, box.b + 4, box.b);
            SetCaption(c.m_pMinus, QStringLiteral("OK"));
            break;
        case 1:
            Move(c.m_pValueText, box.x, y, std::max(0, box.w - 2 * box.b + 2), box.b);
            Move(c.m_pPlus, box.x + box.w - box.b, y, box.b, box.b);
            Move(c.m_pMinus, box.x + box.w - 2 * box.b + 1, y, box.b, box.b);
            SetCaption(c.m_pMinus, QStringLiteral("-"));
            break;
        default:
            Move(c.m_pSlider, box.Body());
            break;
        }
    }

    void Show(CCtrl& c, bool visible, CCtrlWidgets&) const override {
        const int style = c.m_nStyle;
        if (!c.IsEditable() || IsBar(c)) {
            // A bar is a display, also for a control the user may edit.
            SetShown(c.m_pValueText, visible);
            SetShown(c.m_pBar, visible && IsBar(c));
            for (QWidget* w :
                 {static_cast<QWidget*>(c.m_pEdit), static_cast<QWidget*>(c.m_pPlus),
                  static_cast<QWidget*>(c.m_pMinus), static_cast<QWidget*>(c.m_pSlider)})
                SetShown(w, false);
            return;
        }
        SetShown(c.m_pEdit, visible && style == 0);
        SetShown(c.m_pPlus, visible && style == 1);
        SetShown(c.m_pMinus, visible && (style == 0 || style == 1));
        SetShown(c.m_pValueText, visible && style == 1);
        SetShown(c.m_pSlider, visible && style == 3);
        SetShown(c.m_pBar, false);
    }

    bool Notify(CCtrl& c, QWidget* w, CtrlNotify what, CCtrlWidgets& host) const override {
        if (what == CtrlNotify::EditChange) return true; // sent on "OK"
        if (!c.IsEditable()) return false;
        if (what == CtrlNotify::SliderScroll) {
            c.SlideNumber(c.m_pSlider->value());
            return true;
        }
        if (what != CtrlNotify::Clicked) return false;
        if (c.m_nStyle == 0) {
            if (!c.EnterNumber(c.m_pEdit->text()))
                host.notice(QStringLiteral("Please type a number, such as %1.")
                                .arg(QLocale().toString(12.5)));
        } else {
            c.StepNumber(w == c.m_pPlus);
        }
        return true;
    }
};

} // namespace

const KindWidgets& NumberWidgets() {
    static const Number kind;
    return kind;
}
