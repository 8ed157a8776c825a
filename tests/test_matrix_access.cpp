// Matrix rows: ring mapping, bounds-checked reads and their texts.
#include <climits>
#include <vector>

#include <gtest/gtest.h>

#include "MatrixAccess.h"

namespace {

const QLocale kUs(QLocale::English, QLocale::UnitedStates);

void Put(std::vector<uint8_t>& out, int64_t value, int width) {
    for (int i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// 10 rows, 2 columns of 32-bit cells; cell (r, c) holds 100 x c + r.
struct Matrix {
    std::vector<uint8_t> cells, labels;
    MatrixView m;
    Matrix() {
        for (int i = 0; i < 20; ++i) Put(cells, 100 * (i / 10) + i % 10, 4);
        m.cells = cells.data();
        m.cellBytes = cells.size();
        m.maxRows = m.rows = 10;
        m.cols = 2;
        m.cellFormat = "%%";
    }
    void SetLabels(uint32_t kindAndWidth) {
        m.flags = kindAndWidth;
        m.rowLabels = labels.data();
        m.rowLabelBytes = labels.size();
    }
};

} // namespace

TEST(MatrixRing, MapsPositionsToBufferRows) {
    EXPECT_EQ(RowsInUse(-3, 10), 10);
    EXPECT_EQ(RingIndex(0, -3, 10), 3);
    EXPECT_EQ(RingIndex(9, -3, 10), 2);
    EXPECT_EQ(RingIndex(4, 4, 10), -1);
    EXPECT_EQ(RingIndex(-1, 4, 10), -1);
    EXPECT_EQ(RowsInUse(50, 10), 10);
    EXPECT_EQ(RowsInUse(-3, 0), 0);
    EXPECT_EQ(RingIndex(0, 5, -7), -1);
    // The oldest row may be placed beyond the capacity, even at the lowest int.
    EXPECT_EQ(RingIndex(0, -25, 10), 5);
    for (int p = 0; p < 10; ++p) EXPECT_LT(static_cast<unsigned>(RingIndex(p, INT_MIN, 10)), 10u);

    Matrix x;
    x.m.rows = -3;
    EXPECT_EQ(CellText(x.m, 0, 0), "3");
    EXPECT_EQ(CellText(x.m, 9, 1), "102");
}

TEST(MatrixRing, CountsTheRowsThatArrivedBetweenTwoStates) {
    EXPECT_EQ(ArrivedRows(0, 2, 10), 2);
    EXPECT_EQ(ArrivedRows(7, -2, 10), 5);  // filled up, then two more over the oldest
    EXPECT_EQ(ArrivedRows(-3, -5, 10), 2); // round the ring
    EXPECT_EQ(ArrivedRows(-8, -1, 10), 3); // past its end
    EXPECT_EQ(ArrivedRows(-5, 10, 10), 5); // full with the oldest at row 0
    EXPECT_EQ(ArrivedRows(6, 2, 10), 2);   // started again
    EXPECT_EQ(ArrivedRows(-3, -3, 10), 0);
    EXPECT_EQ(ArrivedRows(0, INT_MIN, 10), 10);
    EXPECT_EQ(ArrivedRows(0, 5, 0), 0);
}

TEST(MatrixCells, SignedWidthsAndReadsOutsideTheBuffer) {
    Matrix x;
    x.cells = {0xFE, 0xFF, 0x2C, 0x01};
    x.m.cells = x.cells.data();
    x.m.cellBytes = 4;
    x.m.maxRows = x.m.rows = 2;
    x.m.cols = 1;
    x.m.cellFormat = "%% V";
    x.m.cellExponent = -1;
    x.m.cellDecimals = 2;
    x.m.flags = (1u << 20) | (1u << 24); // 16-bit cells, fixed style
    EXPECT_EQ(CellText(x.m, 0, 0), "-0.20 V");
    EXPECT_DOUBLE_EQ(CellValue(x.m, 1, 0), 30.0);
    x.m.flags = 2u << 20; // 8-bit
    EXPECT_DOUBLE_EQ(CellValue(x.m, 1, 0), -0.1);
    x.m.flags = 3u << 20; // no cell data
    EXPECT_EQ(CellText(x.m, 1, 0), "0 V");

    Matrix y;
    EXPECT_EQ(CellText(y.m, 0, 2), "");
    EXPECT_EQ(CellText(y.m, 0, -1), "");
    y.m.cellBytes = 4 * 15 + 3; // column 1 ends after buffer row 4
    EXPECT_EQ(CellText(y.m, 4, 1), "104");
    EXPECT_EQ(CellText(y.m, 5, 1), "");
    // Dimensions far beyond the buffer, as a device may announce them.
    y.m.cols = 1000;
    y.m.maxRows = 1000000;
    y.m.rows = -999999;
    for (int c = 0; c < 1000; c += 97) EXPECT_DOUBLE_EQ(CellValue(y.m, 123456, c), 0.0);
}

TEST(MatrixRowLabels, NumbersTextsAndDateTimes) {
    Matrix n;
    for (int r = 0; r < 8; ++r) Put(n.labels, 5 * r, 2); // buffer rows 8 and 9 missing
    n.SetLabels((1u << 16) | (1u << 18) | (1u << 22));   // 16-bit numbers, fixed style
    n.m.rowLabelFormat = "t=%%s";
    n.m.rowLabelDecimals = 1;
    n.m.rowLabelExponent = -1;
    n.m.rows = -8;
    EXPECT_EQ(RowLabelText(n.m, 0), "");
    EXPECT_EQ(RowLabelText(n.m, 3), "t=0.5s");
    EXPECT_DOUBLE_EQ(RowLabelValue(n.m, 3), 0.5);
    EXPECT_EQ(AxisLabelText(n.m, 2.24), "t=2.2s");

    Matrix t;
    for (char16_t ch : u"alpha\0\0gamma") Put(t.labels, ch, 2);
    t.labels.resize(t.labels.size() - 3); // "gamma" loses its zero and half an 'a'
    t.SetLabels(2u << 16);
    t.m.rows = 4;
    EXPECT_EQ(RowLabelText(t.m, 0), "alpha");
    EXPECT_EQ(RowLabelText(t.m, 1), "");
    EXPECT_EQ(RowLabelText(t.m, 2), "gamm");
    EXPECT_EQ(RowLabelText(t.m, 3), "");
    EXPECT_EQ(AxisLabelText(t.m, 1.0), "");

    Matrix d;
    for (int r = 0; r < 10; ++r)
        d.labels.insert(d.labels.end(), {0, 30, 12, static_cast<uint8_t>(r + 1), 0, 6, 0xE8, 7});
    d.labels.pop_back(); // the last record is cut short
    d.SetLabels(3u << 16);
    d.m.rowLabelFormat = "%dd%.%MM%. %HH%:%mm%";
    d.m.rows = -9;
    EXPECT_FALSE(RowLabelDateTime(d.m, 0));
    EXPECT_EQ(RowLabelText(d.m, 0, kUs), "");
    EXPECT_EQ(RowLabelText(d.m, 1, kUs), "01.06. 12:30");
    ASSERT_TRUE(RowLabelDateTime(d.m, 2));
    EXPECT_EQ(DateAxisText(d.m, *RowLabelDateTime(d.m, 2), kUs), "02.06. 12:30");
}

TEST(MatrixAxis, SeriesColoursRepeatEverySix) {
    EXPECT_EQ(SeriesColour(0), 0x000080u);
    EXPECT_EQ(SeriesColour(6), SeriesColour(0));
    EXPECT_EQ(SeriesColour(-1), 0x808000u);
    EXPECT_EQ(SeriesColour(INT_MIN), SeriesColour(4));
}

TEST(MatrixCells, BulkReadsGiveTheSingleReads) {
    Matrix x;
    x.m.rows = -7; // full ring, oldest row at 7
    x.m.cellExponent = -2;
    x.labels.clear();
    for (int i = 0; i < 9; ++i) Put(x.labels, -3 * i, 2); // one label short of the rows
    x.SetLabels(1u << 16 | 1u << 18);
    x.m.rowLabelExponent = 1;
    for (uint32_t width : {0u, 1u, 2u, 3u}) { // 32, 16, 8 bits, none
        x.m.flags = (x.m.flags & ~0x300000u) | width << 20;
        for (int column : {0, 1, 2}) {
            for (int first : {-2, 0, 2, 5}) { // the ring wraps after position 2
                for (int count : {3, 12}) {
                    std::vector<double> bulk(size_t(count), -1);
                    CellValues(x.m, column, first, count, bulk.data());
                    for (int i = 0; i < count; ++i)
                        EXPECT_EQ(bulk[size_t(i)], CellValue(x.m, first + i, column)) << first + i;
                }
            }
        }
    }
    std::vector<double> labels(12, -1);
    RowLabelValues(x.m, -1, 12, labels.data());
    for (int i = 0; i < 12; ++i) EXPECT_EQ(labels[i], RowLabelValue(x.m, i - 1)) << i;
}
