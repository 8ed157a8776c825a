// Matrix control records for widget tests, built without a device: the definition and the rows
// as plain numbers, and a stand-in view that routes matrix refreshes to the matrix views.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QString>

#include "Ctrl.h"

class QTableView;
class QWidget;

struct MatrixSpec {
    uint32_t flags = 0; // row-label kind, widths and styles, CTRLF_TEXT16
    int style = -1;     // -1: the default for the row-label kind
    int maxRows = 0;    // 0: as many as the rows given
    std::vector<std::u16string> names;
    QString heading;
    QString cellFormat = QStringLiteral("%%");
    QString rowLabelFormat = QStringLiteral("%%");
    int8_t cellExponent = 0;
    std::vector<std::vector<int32_t>> columns; // each the cells of one series, oldest row first
    std::vector<int32_t> numberLabels;
    std::vector<std::u16string> textLabels;
    std::vector<DateTimeRecord> dateLabels;
};

// Routes CtrlRefresh::MatrixData to RefreshMatrixViews with the given widgets.
class MatrixHost : public ICtrlHost {
public:
    void RefreshWidgets(CCtrl& ctrl, CtrlRefresh what) override;
    QWidget* chart = nullptr;
    QTableView* table = nullptr;
    int refreshes = 0;
};

// The cells column-major, 32 bits each unless the flags say otherwise.
std::vector<uint8_t> CellBytes(const MatrixSpec& shape);
std::vector<uint8_t> LabelBytes(const MatrixSpec& shape);

std::unique_ptr<CCtrl> MakeMatrix(const MatrixSpec& shape, ICtrlHost* host = nullptr);
// Replaces the rows (the same capacity), as the device's new data does.
void PushRows(CCtrl& ctrl, const MatrixSpec& shape, int32_t rowCount);
