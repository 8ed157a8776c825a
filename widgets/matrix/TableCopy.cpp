#include "TableCopy.h"

#include <algorithm>
#include <set>
#include <vector>

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QTableView>

QString SelectedCellsText(const QTableView& view) {
    const QAbstractItemModel* model = view.model();
    const QItemSelectionModel* selection = view.selectionModel();
    if (!model || !selection) return QString();
    const QModelIndexList cells = selection->selectedIndexes();
    if (cells.isEmpty()) return QString();
    std::set<std::pair<int, int>> chosen;
    std::vector<int> rows, columns;
    for (const QModelIndex& cell : cells) {
        chosen.emplace(cell.row(), cell.column());
        rows.push_back(cell.row());
        columns.push_back(cell.column());
    }
    for (auto* list : {&rows, &columns}) {
        std::sort(list->begin(), list->end());
        list->erase(std::unique(list->begin(), list->end()), list->end());
    }
    QString text;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) text += QLatin1Char('\t');
        text += model->headerData(columns[i], Qt::Horizontal).toString();
    }
    text += QLatin1Char('\n');
    for (int row : rows) {
        for (size_t i = 0; i < columns.size(); ++i) {
            if (i > 0) text += QLatin1Char('\t');
            if (chosen.count({row, columns[i]}))
                text += model->index(row, columns[i]).data().toString();
        }
        text += QLatin1Char('\n');
    }
    return text;
}

void AddCopyAction(QTableView* view) {
    auto* copy = new QAction(QObject::tr("Copy"), view);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(copy, &QAction::triggered, view,
                     [view] { QGuiApplication::clipboard()->setText(SelectedCellsText(*view)); });
    view->addAction(copy);
    view->setContextMenuPolicy(Qt::ActionsContextMenu);
}
