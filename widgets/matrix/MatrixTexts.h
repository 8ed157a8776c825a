// A Matrix control as the table shows it: how many rows and columns, the headings, and the text
// of every cell, made when asked for. The dialog's table, the panel's table, the CSV file and the
// clipboard all take their texts from here, so they always agree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <QString>
#include <QStringList>

class CCtrl;

// How much of a matrix is shown. Series are the matrix's columns, at most 65536; rows are the
// rows in use, at most 0x100000 cells in all (no buffer a device can fill holds more).
struct MatrixShape {
    bool rowLabels = false;
    int series = 0;
    int rows = 0;
    int Columns() const { return series + (rowLabels ? 1 : 0); }
};
MatrixShape MatrixShapeOf(const CCtrl& ctrl);

class MatrixTexts {
public:
    // The control must outlive this object; Changed() must follow every change of its matrix.
    explicit MatrixTexts(const CCtrl& ctrl);

    MatrixShape Shape() const { return MatrixShapeOf(m_ctrl); }
    // The row-label column (when there are row labels) comes first.
    bool IsRowLabelColumn(int column) const;
    QString Heading(int column) const;
    QString Text(int row, int column) const;
    // Text() of rows 0..count-1 of every column, column after column, for exports.
    std::vector<std::vector<QString>> AllTexts(int count) const;
    // The matrix's buffers changed: forget what was worked out from them.
    void Changed();

private:
    QString RowLabel(int row) const;

    const CCtrl& m_ctrl;
    mutable std::vector<QString> m_names;
    mutable bool m_namesKnown = false;
    // Where each text row label starts, for the buffer it was worked out from.
    mutable std::vector<uint32_t> m_labelStarts;
    mutable const uint8_t* m_labelBuffer = nullptr;
    mutable size_t m_labelBytes = 0;
    mutable bool m_labelsKnown = false;
};
