// The chart of a Matrix control, painted into an image and checked at the pixels its layout
// fixes: the full chart's plot area runs from x = 39 to width - 10 and from y = 10 to height - 35
// (height - 19 without row labels).
#include <random>

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "ChartPainter.h"
#include "ChartScale.h"
#include "LayoutProps.h"
#include "Link.h"
#include "MatrixFixture.h"
#include "support/FakeServices.h"

namespace {

QImage Paint(const CCtrl& ctrl, QSize size, bool full = true, bool reduce = true) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::red); // the chart must cover it all
    QPainter p(&image);
    ChartOptions options;
    options.full = full;
    options.reduce = reduce;
    DrawMatrixChart(p, image.rect(), ctrl, options);
    return image;
}

QRgb Series(int i) {
    const uint32_t c = SeriesColour(i);
    return qRgb(int(c & 0xFF), int(c >> 8 & 0xFF), int(c >> 16 & 0xFF));
}

const QRgb kBlack = qRgb(0, 0, 0), kWhite = qRgb(255, 255, 255);

MatrixSpec OneSeries(std::vector<int32_t> cells, int style) {
    MatrixSpec s;
    s.columns = {std::move(cells)};
    s.style = style;
    return s;
}

DateTimeRecord At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    DateTimeRecord r;
    r.year = uint16_t(year);
    r.month = uint8_t(month);
    r.day = uint8_t(day);
    r.hour = uint8_t(hour);
    r.minute = uint8_t(minute);
    r.second = uint8_t(second);
    return r;
}

} // namespace

TEST(ChartScale, AllCellsEqualGiveOneUnitInTenthsOnTheBottomAxis) {
    const AxisScale s = RoundedScale(5, 6);
    EXPECT_EQ(s.min, 5);
    EXPECT_EQ(s.max, 6);
    EXPECT_DOUBLE_EQ(s.step, 0.1);
    EXPECT_TRUE(s.fine);
    const std::vector<AxisTick> ticks = ScaleTicks(s);
    ASSERT_EQ(ticks.size(), 11u);
    EXPECT_EQ(ticks[0].length, 8);
    EXPECT_EQ(ticks[1].length, 2);
    EXPECT_EQ(ticks[5].length, 4);
    EXPECT_EQ(ticks[10].length, 8);
    EXPECT_FALSE(RoundedScale(0, 40).fine); // log 1.9: step 1, coarse
    EXPECT_EQ(RoundedScale(0.3, 37.2).max, 38);
    EXPECT_EQ(RoundedScale(0.3, 37.2).min, 0);

    // 300 x 200, no row labels: plot (39, 10)-(290, 181).
    const QImage image = Paint(*MakeMatrix(OneSeries({5, 5, 5, 5}, 0)), QSize(300, 200));
    for (int y : {180, 181, 182}) EXPECT_EQ(image.pixel(150, y), Series(0)) << y;
    EXPECT_EQ(image.pixel(150, 178), kWhite);
    EXPECT_EQ(image.pixel(32, 180), kBlack); // the first tick, 8 long
    EXPECT_EQ(image.pixel(37, 163), kBlack); // 5.1: 2 long, drawn on a fine scale
    EXPECT_EQ(image.pixel(36, 163), kWhite);
    EXPECT_EQ(image.pixel(35, 95), kBlack); // 5.5: 4 long
    EXPECT_EQ(image.pixel(34, 95), kWhite);
    EXPECT_EQ(image.pixel(39, 50), kBlack); // the value axis
    EXPECT_EQ(image.pixel(295, 5), kWhite);
}

TEST(ChartXAxis, OneTextRowSitsInTheMiddle) {
    MatrixSpec s = OneSeries({7}, 2);
    s.flags = 2u << 16;
    s.textLabels = {u"Only"};
    const QImage image = Paint(*MakeMatrix(s), QSize(300, 200)); // plot (39, 10)-(290, 165)
    for (int x = 162; x <= 168; ++x) EXPECT_EQ(image.pixel(x, 165), Series(0)) << x;
    EXPECT_NE(image.pixel(161, 164), Series(0));
    EXPECT_NE(image.pixel(169, 164), Series(0));
}

TEST(ChartXAxis, IdenticalTimesSpanTwoSecondsOrOneAtTheMinuteEdge) {
    // The x of two rows with the same label: middle, left end (second 0), right end (59).
    const std::pair<int, int> cases[] = {{30, 165}, {0, 39}, {59, 290}};
    for (const auto& [second, x] : cases) {
        MatrixSpec s = OneSeries({1, 2}, 2);
        s.flags = 3u << 16;
        s.dateLabels = {At(2024, 5, 6, 12, 0, second), At(2024, 5, 6, 12, 0, second)};
        const QImage image = Paint(*MakeMatrix(s), QSize(300, 200));
        EXPECT_EQ(image.pixel(x, 165), Series(0)) << second; // value 1 on the axis
        EXPECT_EQ(image.pixel(x, 10), Series(0)) << second;  // value 2 at the top
        if (second == 30) {
            EXPECT_EQ(image.pixel(290, 171), kBlack); // 12:00:31, the first tick: 8 long
            EXPECT_EQ(image.pixel(165, 168), kBlack); // 12:00:30: a ten, 4 long
            EXPECT_EQ(image.pixel(165, 169), kWhite);
        }
    }
}

TEST(ChartXAxis, OneYearAndThreeMonthsTickDailyWithYearAndQuarterMarks) {
    MatrixSpec s = OneSeries({1, 2}, 0);
    s.flags = 3u << 16;
    s.dateLabels = {At(2019, 10, 1), At(2021, 1, 1)}; // 458 days
    const QImage image = Paint(*MakeMatrix(s), QSize(300, 200));
    auto x = [](int days) { return 39 + int(days * 251.0 / 458 + 0.5); };
    EXPECT_EQ(image.pixel(x(92), 170), kBlack); // 2020-01-01, a decade's year: 6 long
    EXPECT_EQ(image.pixel(x(92), 171), kWhite);
    EXPECT_EQ(image.pixel(x(183), 166), kBlack); // 2020-04-01, a quarter: 2 long
    EXPECT_EQ(image.pixel(x(183), 167), kWhite);
    EXPECT_EQ(image.pixel(x(137), 166), kWhite); // 2020-02-15: no mark
    EXPECT_EQ(image.pixel(39, 171), kBlack);     // both ends: 8 long
    EXPECT_EQ(image.pixel(290, 171), kBlack);
}

TEST(ChartData, ThreeColumnSeriesShareTheGroupTwoThreeThree) {
    MatrixSpec s;
    s.style = 1;
    for (int c = 0; c < 3; ++c) s.columns.push_back({10, 10, 10, 10, 10, 10, 10, 10, 10, 0});
    // 149 wide: a plot 100 wide; row 0 at x = 44, its group from 41, 8 wide.
    const QImage image = Paint(*MakeMatrix(s), QSize(149, 200));
    const QRgb expected[] = {kWhite,    Series(0), Series(0), Series(1), Series(1),
                             Series(1), Series(2), Series(2), Series(2), kWhite};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(image.pixel(40 + i, 100), expected[i]) << i;
}

TEST(ChartData, SeventhSeriesTakesTheFirstColour) {
    MatrixSpec s;
    s.style = 2;
    for (int c = 0; c < 7; ++c) s.columns.push_back({c});
    const QImage image = Paint(*MakeMatrix(s), QSize(300, 200)); // values 0..6 over 171 rows
    for (int c = 0; c < 7; ++c) {
        const int y = 181 - int(c * 171 / 6.0 + 0.5);
        EXPECT_EQ(image.pixel(165, y), Series(c % 6)) << c;
    }
    EXPECT_EQ(Series(6), Series(0));
}

TEST(ChartData, EqualConsecutivePointsLeaveADot) {
    MatrixSpec s = OneSeries({4, 4}, 0);
    s.flags = 1u << 16; // both rows at x label 3: one pixel
    s.numberLabels = {3, 3};
    const QImage image = Paint(*MakeMatrix(s), QSize(300, 200)); // the point: (39, 165)
    EXPECT_EQ(image.pixel(39, 165), Series(0));
    EXPECT_EQ(image.pixel(41, 166), Series(0)); // reached only from one pixel right and below
    EXPECT_EQ(image.pixel(42, 166), kWhite);
}

TEST(ChartFrame, CompactChartIsFramedWhenBordered) {
    auto ctrl = MakeMatrix(OneSeries({1, 2, 3}, 4));
    ctrl->m_bBorder = 1;
    QImage image = Paint(*ctrl, QSize(200, 100), false);
    EXPECT_EQ(image.pixel(0, 0), kBlack);
    EXPECT_EQ(image.pixel(199, 99), kBlack);
    EXPECT_EQ(image.pixel(1, 1), kWhite);
    EXPECT_EQ(image.pixel(24, 50), kBlack); // the value axis at 1 + 23, no ticks beside it
    EXPECT_EQ(image.pixel(22, 80), kWhite);
    ctrl->m_bBorder = 0;
    image = Paint(*ctrl, QSize(200, 100), false);
    EXPECT_EQ(image.pixel(0, 0), kWhite);
    EXPECT_EQ(image.pixel(23, 50), kBlack);
}

// Reduced drawing must give the picture of drawing every row.
TEST(ChartData, ReducedDrawingMatchesEveryRow) {
    std::mt19937 random(2014);
    long long differing = 0, total = 0;
    for (int i = 0; i < 1000; ++i) {
        const int rows = 2 + int(random() % 800);
        MatrixSpec s;
        s.style = int(random() % 6 < 4 ? 0 : 1 + random() % 2); // mostly lines
        std::vector<int32_t> cells(static_cast<size_t>(rows));
        int32_t v = 0;
        for (auto& cell : cells) {
            if (random() % 4) v += int32_t(random() % 41) - 20; // runs of equal values
            cell = v;
        }
        s.columns = {cells};
        if (random() % 3 == 0) { // numeric labels, not in order
            s.flags = 1u << 16;
            for (int r = 0; r < rows; ++r) s.numberLabels.push_back(int32_t(random() % 500));
        }
        auto ctrl = MakeMatrix(s);
        const QSize size(80 + int(random() % 200), 60 + int(random() % 100));
        const QImage reduced = Paint(*ctrl, size, true, true);
        const QImage every = Paint(*ctrl, size, true, false);
        for (int y = 0; y < size.height(); ++y) {
            const auto* a = reinterpret_cast<const QRgb*>(reduced.constScanLine(y));
            const auto* b = reinterpret_cast<const QRgb*>(every.constScanLine(y));
            for (int x = 0; x < size.width(); ++x) differing += a[x] != b[x];
        }
        total += size.width() * size.height();
    }
    EXPECT_LE(differing * 1000, total) << differing << " of " << total;
}

TEST(ChartScale, StoredEndsReplaceTheDataRange) {
    MemoryLayoutStore store;
    LinkServices services;
    services.layoutStore = &store;
    LinkSetServices(services);
    MatrixSpec s = OneSeries({50, 50, 50}, 0);
    s.cellExponent = -1; // 5.0
    auto ctrl = MakeMatrix(s);
    SetLayoutInt(ctrl->m_nId, CTRL_PROP_CHART_MIN, 0);
    SetLayoutInt(ctrl->m_nId, CTRL_PROP_CHART_MAX, 100); // 10.0
    const ChartOverrides stored = StoredChartOverrides(*ctrl);
    EXPECT_EQ(stored.valueMin, 0.0);
    EXPECT_EQ(stored.valueMax, 10.0);
    EXPECT_FALSE(stored.xMin);

    QImage image(300, 200, QImage::Format_RGB32);
    QPainter p(&image);
    DrawMatrixChart(p, image.rect(), *ctrl, true);
    p.end();
    EXPECT_EQ(image.pixel(150, 96), Series(0)); // 5 of 0..10: halfway up 171 rows from 181

    // Ends the wrong way round still make a range.
    SetLayoutInt(ctrl->m_nId, CTRL_PROP_CHART_MIN, 100);
    SetLayoutInt(ctrl->m_nId, CTRL_PROP_CHART_MAX, 0);
    const AxisScale reversed = RoundedScale(10, 0);
    EXPECT_EQ(reversed.min, 10);
    EXPECT_EQ(reversed.max, 11);
    image.fill(Qt::red);
    p.begin(&image);
    DrawMatrixChart(p, image.rect(), *ctrl, true); // 5 lies below the plot: nothing of it shows
    p.end();
    EXPECT_EQ(image.pixel(150, 96), kWhite);
    LinkSetServices({});
}
