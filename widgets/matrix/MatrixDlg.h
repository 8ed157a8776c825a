// CMatrixDlg, "Matrix Data  Display": a Matrix control's data as the full chart or as a table,
// saved as CSV with "," or ";" between fields, or as a picture of the chart. It is modal to its
// window but never blocks its caller: the link keeps receiving while it is open, and new matrix
// data reaches it through SetMatrixData. It reads its control only while the control exists.
#pragma once

#include <memory>

#include <QDialog>

#include "MatrixCsv.h"

class CCtrl;
class FrameThrottle;
class MatrixTableModel;
class QPushButton;
class QTableView;

class CMatrixDlg : public QDialog {
    Q_OBJECT
public:
    // Records itself in ctrl.m_pMatrixDlg until it is destroyed.
    explicit CMatrixDlg(CCtrl& ctrl, QWidget* parent = nullptr);
    ~CMatrixDlg() override;

    // The control's matrix changed: the table's rows and the chart follow within one screen
    // frame. Cheap, never paints at once; safe under the link lock.
    void SetMatrixData();
    // The control is going away: forget it and close.
    void Detach();

    bool ShowsTable() const { return m_bShowTable; }
    // Where the chart is drawn: left of the buttons' column, never under a button.
    QRect ChartArea() const;
    QTableView* Table() const { return m_pList; }
    MatrixTableModel* Model() const { return m_pModel; }

    // "Save ','" and "Save ';'": asks for a file name, then WriteCsv.
    void SaveCsv(QChar separator);
    // The CSV of the table into the file, with the wait cursor; a failure is reported in a box.
    void WriteCsv(const QString& path, QChar separator);
    // "Save Image...": asks for a file name, then writes the chart at the dialog's size.
    void SaveImage();
    void WriteImage(const QString& path);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // "#": table or chart.
    void ToggleView();
    void ShowView();
    void PlaceControls();
    int ButtonColumnWidth() const;
    // The control, or null once it is gone.
    CCtrl* Control() const;
    void Report(FileWrite result);

    CCtrl* m_pCtrl;
    std::weak_ptr<const void> m_lifetime;
    bool m_bShowTable = false;
    MatrixTableModel* m_pModel;
    QTableView* m_pList;
    QPushButton* m_pHash;
    QPushButton* m_pClose;
    QPushButton* m_pSaveComma;
    QPushButton* m_pSaveSemicolon;
    QPushButton* m_pSaveImage;
    FrameThrottle* m_pRepaint;
};

// Opens the control's dialog, or raises the one already open.
CMatrixDlg* OpenMatrixDialog(CCtrl& ctrl, QWidget* parent);
// Closes the control's dialog, if open, and clears ctrl.m_pMatrixDlg; for a control going away.
void CloseMatrixDialog(CCtrl& ctrl);
