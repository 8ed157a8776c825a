// Matrix: a button that opens the matrix dialog (styles 0 to 3), or, placed by a stored layout,
// the chart window (styles 4 to 6) or a table of the rows (style 7) inside the panel. The table
// is made when first shown: few panels use it, and tables are costly to make by the thousand.
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>

#include "ChartWnd.h"
#include "CompactChart.h"
#include "Ctrl.h"
#include "KindWidgets.h"

namespace {

constexpr int kTableSlot = 2; // creation order: button, chart, table, title
constexpr int kTableStyle = 7;

void MakeTable(CCtrl& c, CCtrlWidgets& host) {
    auto* table = new QTableView(host.Panel());
    c.m_pTable = table;
    SetUpLateWidget(c, table, c.m_nWndId + kTableSlot);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    QWidget::setTabOrder(c.m_pChart, table);
    Move(table, CtrlBox(c).Body());
    host.ShowMatrixData(c);
}

class Matrix : public KindWidgets {
public:
    int WindowIds(const CCtrl&) const override { return 4; }

    void Create(CCtrl& c, WidgetMaker& make) const override {
        c.m_pButton = make.Button(c.m_strName);
        RouteClicks(make.Host(), c, c.m_pButton);
        c.m_pChart = make.Body(new CChartWnd(c, make.Panel()));
        make.Reserve(); // the table
        c.m_pTitle = make.Title();
    }

    void Place(CCtrl& c, const CtrlBox& box) const override {
        for (QWidget* w : {static_cast<QWidget*>(c.m_pButton), static_cast<QWidget*>(c.m_pChart),
                           static_cast<QWidget*>(c.m_pTable)})
            Move(w, box.Body());
    }

    void Show(CCtrl& c, bool visible, CCtrlWidgets& host) const override {
        const bool table = visible && c.m_nStyle == kTableStyle;
        const bool chart = visible && c.m_nStyle >= 4 && c.m_nStyle <= 6;
        if (table && !c.m_pTable) MakeTable(c, host);
        // The rows that came with the definition are drawn at once, not at the next new row.
        if (chart && !CompactChart::Of(c.m_pChart)) host.ShowMatrixData(c);
        SetShown(c.m_pButton, visible && c.m_nStyle >= 0 && c.m_nStyle <= 3);
        SetShown(c.m_pChart, chart);
        SetShown(c.m_pTable, table);
    }

    bool Notify(CCtrl& c, QWidget* w, CtrlNotify what, CCtrlWidgets& host) const override {
        if (what != CtrlNotify::Clicked) return false;
        if (w == c.m_pButton) host.OpenMatrixDialog(c);
        return true;
    }
};

} // namespace

const KindWidgets& MatrixWidgets() {
    static const Matrix kind;
    return kind;
}
