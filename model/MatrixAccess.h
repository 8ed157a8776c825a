// Reading a matrix control's rows: the ring mapping from row positions (0 = oldest row in use) to
// buffer rows, and cell and row-label values and texts. Every read is checked against the
// buffers' sizes, so any row count, capacity, width code or buffer size the device sends is safe;
// what cannot be read gives 0, an empty text or no record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include <QLocale>
#include <QString>

#include "Calendar.h"

// A non-owning view of one matrix: its buffers and the definition fields that shape them.
struct MatrixView {
    const uint8_t* cells = nullptr; // column-major: row r of column c is element r + c x maxRows
    size_t cellBytes = 0;
    // Numbers, 8-byte date/time records, or 16-bit texts each ended by a zero character.
    const uint8_t* rowLabels = nullptr;
    size_t rowLabelBytes = 0;
    int maxRows = 0;
    int rows = 0; // rows filled; -k: the ring is full and its oldest row is buffer row k
    int cols = 0;
    uint32_t flags = 0;
    QString rowLabelFormat; // number template, or date/time pattern for date/time labels
    QString cellFormat;
    int8_t rowLabelExponent = 0;
    uint8_t rowLabelDecimals = 0;
    int8_t cellExponent = 0;
    uint8_t cellDecimals = 0;
};

enum RowLabelKind : int {
    ROW_LABELS_NONE = 0,
    ROW_LABELS_NUMBER = 1,
    ROW_LABELS_TEXT = 2,
    ROW_LABELS_DATETIME = 3,
};
int RowLabelKindOf(uint32_t flags);
int RowLabelStyleOf(uint32_t flags); // number style 1..4
int CellStyleOf(uint32_t flags);     // number style 1..4

// Rows shown: the capacity once the ring is full, else the rows filled, never above the capacity.
int RowsInUse(int rows, int maxRows);
int RowsInUse(const MatrixView& m);
// How many rows arrived between two states of the row count (the newest positions), as far as
// the states tell: a ring that went round exactly once in between counts none.
int ArrivedRows(int rowsBefore, int rowsAfter, int maxRows);
// Buffer row of position p, or -1 when p is not a row in use.
int RingIndex(int position, int rows, int maxRows);

double CellValue(const MatrixView& m, int position, int column);
// CellValue of positions first..first+count-1 of one column (or RowLabelValue of them) in one
// pass, for charts that read every row.
void CellValues(const MatrixView& m, int column, int first, int count, double* out);
void RowLabelValues(const MatrixView& m, int first, int count, double* out);
QString CellText(const MatrixView& m, int position, int column);
// CellText for exports that read every cell: each distinct cell is formatted once. 8- and
// 16-bit cells have at most 65536 values; the texts of 32-bit cells, which may never repeat,
// are kept up to a bound.
class CellTextCache {
public:
    explicit CellTextCache(const MatrixView& m);
    // CellText of positions 0..count-1 of one column.
    void Column(int column, int count, QString* out);

private:
    QString Text(int32_t raw);

    MatrixView m_view;
    bool m_narrow;
    std::vector<QString> m_table; // narrow cells, by value + 32768
    std::vector<bool> m_known;
    std::unordered_map<int32_t, QString> m_cache;
};
// The label as a number for numeric labels, else 0.
double RowLabelValue(const MatrixView& m, int position);
QString RowLabelText(const MatrixView& m, int position, const QLocale& locale = QLocale());
std::optional<DateTimeRecord> RowLabelDateTime(const MatrixView& m, int position);

// Axis texts of charts: a value in the row-label (numeric labels only) or cell number format,
// and a date/time in the row-label pattern (date/time labels only).
QString AxisLabelText(const MatrixView& m, double x);
QString AxisValueText(const MatrixView& m, double x);
QString DateAxisText(const MatrixView& m, const DateTimeRecord& record,
                     const QLocale& locale = QLocale());

// The n-th of the 16-bit texts, each ended by a zero character, stored one after another in
// `bytes`; empty when there are fewer. A last text without its zero ends at the buffer's end.
QString ZeroEndedText(const uint8_t* bytes, size_t size, int n);

// Colour of chart series i as 0x00BBGGRR, repeating every six series.
uint32_t SeriesColour(int i);
