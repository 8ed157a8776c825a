// List: a drop-down list (style 0) or a list box (style 1), both holding the items and kept at
// the same selection. The list box is made when first shown: few panels use it, and list boxes
// are costly to make by the thousand.
#include <QListWidget>
#include <QSignalBlocker>
#include <utility>

#include "Ctrl.h"
#include "DropList.h"
#include "KindWidgets.h"

namespace {

constexpr int kListBoxSlot = 0; // creation order: list box, drop-down list, title

// The list box whose own click is being handled: it is not scrolled under the pointer.
const QListWidget* g_clicked = nullptr;

int Selection(const CCtrl& c) {
    return c.m_nSelection >= 0 && c.m_nSelection < c.m_strItems.size() ? c.m_nSelection : -1;
}

void ShowSelection(CCtrl& c) {
    const int selection = Selection(c);
    if (c.m_pDropList && c.m_pDropList->currentIndex() != selection)
        c.m_pDropList->setCurrentIndex(selection);
    if (QListWidget* box = c.m_pListBox) {
        const QSignalBlocker quiet(box);
        QListWidgetItem* item = box->item(selection);
        // The highlight is the record's selection, whatever the press marked.
        if (box->currentRow() != selection || (item && !item->isSelected()))
            box->setCurrentRow(selection);
        if (item && box != g_clicked) box->scrollToItem(item, QAbstractItemView::PositionAtTop);
    }
}

void MakeListBox(CCtrl& c, CCtrlWidgets& host) {
    auto* box = new QListWidget(host.Panel());
    c.m_pListBox = box;
    SetUpLateWidget(c, box, c.m_nWndId + kListBoxSlot);
    box->addItems(c.m_strItems);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    if (c.m_pDropList) QWidget::setTabOrder(c.m_pDropList, box);
    Move(box, CtrlBox(c).Body());
    ShowSelection(c);
    QObject::connect(box, &QListWidget::currentRowChanged, &host,
                     [&host, &c, box] { host.Notify(c, box, CtrlNotify::SelChange); });
}

class List : public KindWidgets {
public:
    int WindowIds(const CCtrl&) const override { return 3; }

    void Create(CCtrl& c, WidgetMaker& make) const override {
        make.Reserve(); // the list box
        auto* drop = make.Body(new CDropList(make.Panel()));
        c.m_pDropList = drop;
        drop->addItems(c.m_strItems);
        RouteSelection(make.Host(), c, drop);
        c.m_pTitle = make.Title();
    }

    void ShowValue(CCtrl& c) const override { ShowSelection(c); }

    void Place(CCtrl& c, const CtrlBox& box) const override {
        PlaceDropList(c.m_pDropList, box.x, box.y + box.t, box.w, box.b, c.m_nDropHeight);
        Move(c.m_pListBox, box.Body());
    }

    void Show(CCtrl& c, bool visible, CCtrlWidgets& host) const override {
        const bool listBox = visible && c.m_nStyle == 1;
        if (listBox && !c.m_pListBox) MakeListBox(c, host);
        SetShown(c.m_pDropList, visible && c.m_nStyle == 0);
        SetShown(c.m_pListBox, listBox);
    }

    bool Notify(CCtrl& c, QWidget* w, CtrlNotify what, CCtrlWidgets&) const override {
        if (what != CtrlNotify::SelChange) return false;
        if (w == c.m_pListBox) {
            const QListWidget* outer = std::exchange(g_clicked, c.m_pListBox);
            c.SelectListItem(c.m_pListBox->currentRow());
            g_clicked = outer;
        } else if (c.m_pDropList) {
            c.SelectListItem(c.m_pDropList->currentIndex());
        }
        return true;
    }
};

} // namespace

const KindWidgets& ListWidgets() {
    static const List kind;
    return kind;
}
