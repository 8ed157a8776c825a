// What the panel view calls for a Matrix control's widgets: the chart window painted with the
// compact chart, the table given its model, and both (with the open dialog) refreshed when the
// matrix changes. The dialog itself is opened with OpenMatrixDialog (MatrixDlg.h).
#pragma once

class CCtrl;
class MatrixTableModel;
class QTableView;
class QWidget;

// Columns of 80 pixels, headings that do not sort, uniform rows, cells selectable for "Copy".
void ConfigureMatrixTable(QTableView* table, MatrixTableModel* model);

// Paints the chart window with the compact chart and gives the table (a plain QTableView) a
// model over the control's matrix. Either widget may be null.
void AttachMatrixViews(const CCtrl& ctrl, QWidget* chartWindow, QTableView* table);

// After new matrix data, or new flags: the open dialog, the chart window and the table follow
// within one screen frame. Cheap and never paints at once, so it may run under the link lock.
// Sets m_nListRows to the rows the table shows.
void RefreshMatrixViews(CCtrl& ctrl, QWidget* chartWindow, QTableView* table);
