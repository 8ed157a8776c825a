#include "MatrixFixture.h"

#include <algorithm>

#include "LinkCtrl.h"
#include "MatrixViews.h"

namespace {

void PutLE(std::vector<uint8_t>& out, int32_t value, int width) {
    for (int i = 0; i < width; ++i) out.push_back(uint8_t(uint32_t(value) >> (8 * i)));
}

int RowsOf(const MatrixSpec& s) {
    if (!s.columns.empty()) return int(s.columns[0].size());
    return int(std::max({s.numberLabels.size(), s.textLabels.size(), s.dateLabels.size()}));
}

int Capacity(const MatrixSpec& s) {
    return s.maxRows > 0 ? s.maxRows : RowsOf(s);
}

} // namespace

void MatrixHost::RefreshWidgets(CCtrl& ctrl, CtrlRefresh what) {
    if (what != CtrlRefresh::MatrixData) return;
    ++refreshes;
    RefreshMatrixViews(ctrl, chart, table);
}

std::vector<uint8_t> CellBytes(const MatrixSpec& s) {
    const int width = MatrixCellWidth(s.flags);
    std::vector<uint8_t> out;
    for (const auto& column : s.columns) {
        for (int r = 0; r < Capacity(s); ++r)
            PutLE(out, r < int(column.size()) ? column[size_t(r)] : 0, width);
    }
    return out;
}

std::vector<uint8_t> LabelBytes(const MatrixSpec& s) {
    std::vector<uint8_t> out;
    switch (RowLabelKindOf(s.flags)) {
    case ROW_LABELS_NUMBER:
        for (int r = 0; r < Capacity(s); ++r)
            PutLE(out, r < int(s.numberLabels.size()) ? s.numberLabels[size_t(r)] : 0,
                  MatrixRowLabelWidth(s.flags));
        break;
    case ROW_LABELS_TEXT:
        for (const auto& text : s.textLabels) {
            for (char16_t c : text) PutLE(out, c, 2);
            PutLE(out, 0, 2);
        }
        break;
    case ROW_LABELS_DATETIME:
        for (int r = 0; r < Capacity(s); ++r) {
            uint8_t bytes[8] = {};
            if (r < int(s.dateLabels.size())) s.dateLabels[size_t(r)].ToBytes(bytes);
            out.insert(out.end(), bytes, bytes + 8);
        }
        break;
    default:
        break;
    }
    return out;
}

std::unique_ptr<CCtrl> MakeMatrix(const MatrixSpec& s, ICtrlHost* host) {
    auto ctrl = std::make_unique<CCtrl>();
    LinkSummary summary;
    summary.nId = 21;
    summary.dwFlags = s.flags | CTRLF_TEXT16;
    summary.strName = u"Matrix";
    ctrl->Init(summary, host);
    MatrixDefinition d;
    d.maxRows = Capacity(s);
    d.cols = int(s.columns.size());
    for (const auto& name : s.names) {
        d.columnNames += name;
        d.columnNames.push_back(u'\0');
    }
    d.rowLabelHeading = s.heading;
    d.cellFormat = s.cellFormat;
    d.rowLabelFormat = s.rowLabelFormat;
    d.cellExponent = s.cellExponent;
    const std::vector<uint8_t> cells = CellBytes(s), labels = LabelBytes(s);
    d.cellBytes = uint32_t(cells.size());
    d.rowLabelBytes = uint32_t(labels.size());
    LinkMatrixData data;
    data.nRows = uint32_t(RowsOf(s));
    data.pCells = cells.data();
    data.nCellBytes = cells.size();
    data.pRowLabels = labels.data();
    data.nRowLabelBytes = labels.size();
    ctrl->CreateMatrix(d, data);
    // Texts are 16-bit on creation (no doubling); the flags asked for apply from now on.
    ctrl->m_dwFlags = s.flags;
    if (s.style >= 0) ctrl->m_nStyle = s.style;
    return ctrl;
}

void PushRows(CCtrl& ctrl, const MatrixSpec& s, int32_t rowCount) {
    const std::vector<uint8_t> cells = CellBytes(s), labels = LabelBytes(s);
    ctrl.SetMatrixData(uint32_t(rowCount), cells.data(), cells.size(), labels.data(),
                       labels.size());
}
