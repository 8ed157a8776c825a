#include "MatrixViews.h"

#include <QHeaderView>
#include <QTableView>

#include "CompactChart.h"
#include "Ctrl.h"
#include "MatrixDlg.h"
#include "MatrixTableModel.h"
#include "TableCopy.h"

namespace {

constexpr int kColumnWidth = 80;

} // namespace

void ConfigureMatrixTable(QTableView* table, MatrixTableModel* model) {
    QHeaderView* across = table->horizontalHeader();
    across->setDefaultSectionSize(kColumnWidth);
    across->setSectionsClickable(false);
    across->setHighlightSections(false);
    QHeaderView* down = table->verticalHeader();
    down->hide();
    // Uniform rows: the view need not ask every row for its height.
    down->setSectionResizeMode(QHeaderView::Fixed);
    down->setDefaultSectionSize(table->fontMetrics().height() + 4);
    table->setShowGrid(false);
    table->setWordWrap(false);
    table->setSortingEnabled(false);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setSelectionBehavior(QAbstractItemView::SelectItems);
    table->setModel(model);
    AddCopyAction(table);
}

void AttachMatrixViews(const CCtrl& ctrl, QWidget* chartWindow, QTableView* table) {
    if (chartWindow) CompactChart::Attach(ctrl, chartWindow);
    if (table) {
        auto* old = table->model();
        ConfigureMatrixTable(table, new MatrixTableModel(ctrl, table));
        if (old && old->parent() == table) old->deleteLater();
    }
}

void RefreshMatrixViews(CCtrl& ctrl, QWidget* chartWindow, QTableView* table) {
    if (auto* dialog = qobject_cast<CMatrixDlg*>(ctrl.m_pMatrixDlg)) dialog->SetMatrixData();
    if (CompactChart* chart = CompactChart::Of(chartWindow)) chart->MatrixChanged();
    if (auto* model = table ? qobject_cast<MatrixTableModel*>(table->model()) : nullptr) {
        model->MatrixChanged();
        ctrl.m_nListRows = MatrixShapeOf(ctrl).rows;
    }
}
