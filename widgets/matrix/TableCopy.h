// Copying from a table view: the selected cells as tab-separated lines, the column headings
// first; cells of the covered rows and columns that are not selected stay empty.
#pragma once

#include <QString>

class QTableView;

QString SelectedCellsText(const QTableView& view);
// "Copy" (the platform's copy keys, and the context menu) puts the selection on the clipboard.
void AddCopyAction(QTableView* view);
