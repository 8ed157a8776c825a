// A Matrix record's rows: thin members over MatrixAccess.h, and the table's texts as plain data.
#include <algorithm>
#include <cstring>

#include "Ctrl.h"

namespace {

constexpr int kMaxTableColumns = 65536;
constexpr long long kMaxTableCells = 0x100000;

// All the zero-ended 16-bit texts of a buffer in one pass (the last one may lack its zero).
// Looking texts up one by one would walk the buffer from its start every time.
std::vector<QString> SplitTexts(const uint8_t* bytes, size_t size) {
    std::vector<QString> texts;
    if (!bytes) return texts;
    const size_t chars = size / 2;
    size_t begin = 0;
    for (size_t i = 0; i <= chars; ++i) {
        if (i < chars && (bytes[2 * i] != 0 || bytes[2 * i + 1] != 0)) continue;
        QString text(qsizetype(i - begin), Qt::Uninitialized);
        if (i > begin) std::memcpy(text.data(), bytes + 2 * begin, (i - begin) * 2);
        texts.push_back(std::move(text));
        begin = i + 1;
    }
    return texts;
}

} // namespace

MatrixView CCtrl::View() const {
    MatrixView m;
    m.cells = m_pCells.empty() ? nullptr : m_pCells.data();
    m.cellBytes = m_pCells.size();
    m.rowLabels = m_pRowLabels.empty() ? nullptr : m_pRowLabels.data();
    m.rowLabelBytes = m_pRowLabels.size();
    m.maxRows = m_nMaxRows;
    m.rows = m_nRows;
    m.cols = m_nCols;
    m.flags = m_dwFlags;
    m.rowLabelFormat = m_strRowLabelFormat;
    m.cellFormat = m_strCellFormat;
    m.rowLabelExponent = m_nRowLabelExponent;
    m.rowLabelDecimals = m_nRowLabelDecimals;
    m.cellExponent = m_nCellExponent;
    m.cellDecimals = m_nCellDecimals;
    return m;
}

bool CCtrl::HasRowLabels() const {
    return RowLabelKindOf(m_dwFlags) != ROW_LABELS_NONE;
}

int CCtrl::RowsInUse() const {
    return ::RowsInUse(m_nRows, m_nMaxRows);
}

int CCtrl::RingIndex(int position) const {
    return ::RingIndex(position, m_nRows, m_nMaxRows);
}

QString CCtrl::RowLabelText(int position) const {
    return ::RowLabelText(View(), position);
}

QString CCtrl::CellText(int position, int column) const {
    return ::CellText(View(), position, column);
}

double CCtrl::RowLabelValue(int position) const {
    return ::RowLabelValue(View(), position);
}

double CCtrl::CellValue(int position, int column) const {
    return ::CellValue(View(), position, column);
}

std::optional<DateTimeRecord> CCtrl::RowLabelDateTime(int position) const {
    return ::RowLabelDateTime(View(), position);
}

QString CCtrl::AxisLabelText(double x) const {
    return ::AxisLabelText(View(), x);
}

QString CCtrl::AxisValueText(double x) const {
    return ::AxisValueText(View(), x);
}

QString CCtrl::DateAxisText(const DateTimeRecord& record) const {
    return ::DateAxisText(View(), record);
}

QString CCtrl::ColumnName(int column) const {
    return ZeroEndedText(reinterpret_cast<const uint8_t*>(m_pColumnNames.data()),
                         m_pColumnNames.size() * sizeof(char16_t), column);
}

QStringList CCtrl::ColumnNames() const {
    const std::vector<QString> names =
        SplitTexts(reinterpret_cast<const uint8_t*>(m_pColumnNames.data()),
                   m_pColumnNames.size() * sizeof(char16_t));
    const int count = std::clamp(m_nCols, 0, kMaxTableColumns);
    QStringList out;
    out.reserve(count);
    for (int c = 0; c < count; ++c)
        out.append(size_t(c) < names.size() ? names[size_t(c)] : QString());
    return out;
}

QStringList CCtrl::RowLabelTexts(int count) const {
    count = std::clamp(count, 0, RowsInUse());
    QStringList out;
    out.reserve(count);
    if (RowLabelKindOf(m_dwFlags) != ROW_LABELS_TEXT) {
        const MatrixView view = View();
        for (int p = 0; p < count; ++p) out.append(::RowLabelText(view, p));
        return out;
    }
    const std::vector<QString> labels =
        SplitTexts(m_pRowLabels.empty() ? nullptr : m_pRowLabels.data(), m_pRowLabels.size());
    for (int p = 0; p < count; ++p) {
        const int row = RingIndex(p);
        out.append(row >= 0 && size_t(row) < labels.size() ? labels[size_t(row)] : QString());
    }
    return out;
}

MatrixTable CCtrl::TableData() const {
    MatrixTable table;
    const MatrixView view = View();
    table.hasRowLabels = HasRowLabels();
    const QStringList names = ColumnNames();
    const int columns = int(names.size());
    const int width = columns + (table.hasRowLabels ? 1 : 0);
    const long long rowLimit = width ? kMaxTableCells / width : kMaxTableCells;
    const int rows = int(std::min<long long>(RowsInUse(), rowLimit));

    if (table.hasRowLabels) table.headings.append(m_strRowLabelHeading);
    table.headings.append(names);
    const QStringList labels = table.hasRowLabels ? RowLabelTexts(rows) : QStringList();

    table.rows.reserve(size_t(rows));
    for (int p = 0; p < rows; ++p) {
        QStringList row;
        row.reserve(width);
        if (table.hasRowLabels) row.append(labels[p]);
        for (int c = 0; c < columns; ++c) row.append(::CellText(view, p, c));
        table.rows.push_back(std::move(row));
    }
    return table;
}

LoggedValue CCtrl::LogRow(int position) const {
    const MatrixView m = View();
    LoggedValue row;
    const QLatin1String between("; ");
    auto add = [&](const QString& shown, const QString& raw) {
        if (!row.shown.isEmpty() || !row.raw.isEmpty()) {
            row.shown += between;
            row.raw += between;
        }
        row.shown += shown;
        row.raw += raw;
    };
    if (HasRowLabels()) {
        const QString label = ::RowLabelText(m, position);
        add(label, RowLabelKindOf(m_dwFlags) == ROW_LABELS_NUMBER
                       ? QString::number(::RowLabelValue(m, position), 'g', 15)
                       : label);
    }
    for (int column = 0; column < std::min(m_nCols, kMaxTableColumns); ++column)
        add(::CellText(m, position, column),
            QString::number(::CellValue(m, position, column), 'g', 15));
    return row;
}
