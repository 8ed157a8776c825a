#include "ChartPainter.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <QPainter>

#include "ChartScale.h"
#include "ChartSeries.h"
#include "ChartText.h"
#include "Ctrl.h"
#include "LayoutProps.h"
#include "MatrixTexts.h"

namespace {

QColor SeriesQColor(int i) {
    const uint32_t c = SeriesColour(i); // 0x00BBGGRR
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// The plot area as window coordinates: right and bottom are the axis ends.
struct Plot {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    int X(double fraction) const { return ChartPixel(left + fraction * Width()); }
    int Y(double fraction) const { return ChartPixel(bottom - fraction * Height()); }
};

// Rows of values of a scale, as pixel rows of the plot.
class ValueRows {
public:
    ValueRows(const Plot& plot, const AxisScale& scale)
        : m_bottom(plot.bottom), m_min(scale.min),
          m_perValue(plot.Height() / (scale.max - scale.min)) {}
    int operator()(double value) const {
        return ChartPixel(m_bottom - (value - m_min) * m_perValue);
    }
    // The rows of `count` values.
    void Rows(const double* values, int count, const int* columns, QPoint* out) const {
        const double bottom = m_bottom, min = m_min, perValue = m_perValue;
        for (int i = 0; i < count; ++i)
            out[i] = QPoint(columns[i], ChartPixel(bottom - (values[i] - min) * perValue));
    }

private:
    double m_bottom, m_min, m_perValue;
};

// A 1-pixel-high or -wide filled bar from (x0, y0) up to, not including, (x1, y1).
void FillSpan(QPainter& p, int x0, int y0, int x1, int y1) {
    if (x1 > x0 && y1 > y0) p.fillRect(QRect(x0, y0, x1 - x0, y1 - y0), Qt::black);
}

// A tick below the x axis at x.
void XTick(QPainter& p, const Plot& plot, int x, int length) {
    FillSpan(p, x, plot.bottom - 1, x + 1, plot.bottom + length);
}

// The two end labels of an x axis, the first at the left end, the second right-aligned.
void XEndLabels(QPainter& p, const QFont& font, const Plot& plot, const QString& first,
                const QString& last) {
    const int limit = plot.Width() / 2 - 4;
    const int y = plot.bottom + 7;
    DrawHorizontalText(p, font, plot.left, y, first,
                       std::min(MeasureChartText(font, first).width(), limit), 16);
    const int width = std::min(MeasureChartText(font, last).width(), limit);
    DrawHorizontalText(p, font, plot.right - width + 5, y, last, width, 16);
}

std::optional<double> StoredEnd(const CCtrl& ctrl, uint32_t property, int exponent) {
    if (!HasLayoutInt(ctrl.m_nId, property)) return std::nullopt;
    const double raw = static_cast<uint32_t>(GetLayoutInt(ctrl.m_nId, property, 0));
    return exponent < 0 ? raw / std::pow(10.0, -exponent) : raw * std::pow(10.0, exponent);
}

// Values are read a chunk at a time, so they stay in the cache between reading and placing.
constexpr int kChunk = 4096;

struct ChartBuffers {
    std::vector<double> chunk;
    std::vector<double> across; // where each row lies along the x axis, 0 to 1
    std::vector<int> columns;   // the pixel column of each row
    std::vector<QPoint> points;
};

// A time axis: its ends and tick unit.
struct TimeAxis {
    CalendarTime earliest, latest;
    int unit = TICK_SECOND;
    double Fraction(const CalendarTime& t) const { return TimeFraction(t, earliest, latest); }
};

CalendarTime RowTime(const MatrixView& view, int row) {
    return ToCalendarTime(RowLabelDateTime(view, row).value_or(DateTimeRecord{}));
}

TimeAxis MakeTimeAxis(const std::vector<CalendarTime>& times) {
    TimeAxis axis;
    if (!times.empty()) axis.earliest = axis.latest = times.front();
    for (const CalendarTime& t : times) {
        if (CompareTimes(t, axis.earliest) > 0) axis.earliest = t;
        if (CompareTimes(t, axis.latest) < 0) axis.latest = t;
    }
    if (CompareTimes(axis.earliest, axis.latest) == 0) {
        if (axis.latest.second < 59) ++axis.latest.second;
        if (axis.earliest.second > 0) --axis.earliest.second;
    }
    axis.unit = TickLevel(axis.earliest, axis.latest);
    return axis;
}

// Ticks from the latest time back by the unit until before the earliest; a device's dates
// cannot make the walk endless.
constexpr int kMaxTimeTicks = 100000;

void DrawTimeTicks(QPainter& p, const Plot& plot, const TimeAxis& axis) {
    CalendarTime t = axis.latest;
    for (int i = 0; i < kMaxTimeTicks && CompareTimes(t, axis.earliest) <= 0; ++i) {
        const CalendarTime next = StepBack(t, axis.unit);
        const bool last = CompareTimes(next, axis.earliest) > 0;
        const int length = (i == 0 || last) ? 8 : TickWeight(t, axis.unit);
        if (length > 0) XTick(p, plot, plot.X(axis.Fraction(t)), length);
        if (CompareTimes(next, t) <= 0) break; // a unit that does not step back
        t = next;
    }
}

} // namespace

ChartOverrides StoredChartOverrides(const CCtrl& ctrl) {
    ChartOverrides o;
    o.valueMin = StoredEnd(ctrl, CTRL_PROP_CHART_MIN, ctrl.m_nCellExponent);
    o.valueMax = StoredEnd(ctrl, CTRL_PROP_CHART_MAX, ctrl.m_nCellExponent);
    o.xMin = StoredEnd(ctrl, CTRL_PROP_CHART_X_MIN, ctrl.m_nRowLabelExponent);
    o.xMax = StoredEnd(ctrl, CTRL_PROP_CHART_X_MAX, ctrl.m_nRowLabelExponent);
    return o;
}

ChartType ChartTypeOf(int style, bool full) {
    if (style == 5 || (full && style == 1)) return ChartType::Columns;
    if (style == 6 || (full && style == 2)) return ChartType::Points;
    return ChartType::Lines;
}

void DrawMatrixChart(QPainter& p, const QRect& rect, const CCtrl& ctrl, bool full) {
    ChartOptions options;
    options.full = full;
    options.overrides = StoredChartOverrides(ctrl);
    DrawMatrixChart(p, rect, ctrl, options);
}

void DrawMatrixChart(QPainter& p, const QRect& rect, const CCtrl& ctrl,
                     const ChartOptions& options) {
    const bool full = options.full;
    const MatrixView view = ctrl.View();
    const int kind = RowLabelKindOf(view.flags);
    const MatrixShape shape = MatrixShapeOf(ctrl);
    const int series = shape.series;
    const int rows = shape.rows;
    const QFont normal = ChartFont(false), bold = ChartFont(true);

    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBackgroundMode(Qt::TransparentMode);

    // Frame. The window's rectangle R runs to one past its last pixel, like the plot's edges.
    int rLeft = rect.left(), rTop = rect.top();
    int rRight = rect.left() + rect.width(), rBottom = rect.top() + rect.height();
    p.fillRect(rect, Qt::white);
    if (!full) {
        ++rRight;
        ++rBottom;
        if (ctrl.m_bBorder) {
            p.setPen(Qt::black);
            p.setBrush(Qt::NoBrush);
            p.drawRect(rect.adjusted(0, 0, -1, -1));
            ++rLeft;
            ++rTop;
        }
    }

    // Plot area; the compact chart's names share the window's whole height.
    Plot plot;
    plot.left = rLeft + (full ? 39 : 23);
    plot.right = rRight - 10;
    plot.top = full ? rTop + 10 : rTop;
    plot.bottom = full ? rBottom - (kind == ROW_LABELS_NONE ? 19 : 35) : rBottom;

    // Series names, each in its band, reading upwards.
    if (series > 0) {
        const QStringList names = ctrl.ColumnNames();
        const int band = plot.Height() / series;
        for (int i = 0; i < series; ++i) {
            const int y1 = plot.bottom - band * i - 1;
            const int y2 = plot.bottom - band * (i + 1) + 1;
            if (y1 - y2 - 4 <= 0) continue;
            const QString name = i < names.size() ? names[i] : QString();
            const int length = std::min(MeasureChartText(bold, name).width(), y1 - y2 - 4);
            DrawVerticalText(p, bold, plot.left - (full ? 40 : 23),
                             y2 + std::max(2, (y1 - y2) / 2 - length / 2), name, length, 16,
                             SeriesQColor(i));
        }
    }
    if (!full) {
        plot.top = rTop + 10;
        plot.bottom = rBottom - 19;
    }

    // Row-label heading, centred under the plot.
    if (!ctrl.m_strRowLabelHeading.isEmpty()) {
        const int width = MeasureChartText(bold, ctrl.m_strRowLabelHeading).width();
        DrawHorizontalText(p, bold, plot.left + std::max(2, plot.Width() / 2 - width / 2),
                           plot.bottom + (full ? 19 : 1), ctrl.m_strRowLabelHeading,
                           std::min(width, plot.Width() - 4), 16);
    }

    // Value range over every cell, then the stored ends, rounded out to the step. The buffers
    // live on between paints: a chart repaints often and its rows rarely change in number.
    thread_local ChartBuffers buffers;
    std::vector<double>& chunk = buffers.chunk;
    chunk.resize(kChunk);
    double low = 0, high = 0;
    for (int c = 0; c < series; ++c) {
        for (int first = 0; first < rows; first += kChunk) {
            const int count = std::min(kChunk, rows - first);
            CellValues(view, c, first, count, chunk.data());
            double lo = c == 0 && first == 0 ? chunk[0] : low,
                   hi = c == 0 && first == 0 ? chunk[0] : high;
            for (int i = 0; i < count; ++i) {
                const double v = chunk[size_t(i)];
                lo = v < lo ? v : lo;
                hi = v > hi ? v : hi;
            }
            low = lo;
            high = hi;
        }
    }
    if (high == low) high = low + 1;
    const AxisScale valueScale = RoundedScale(options.overrides.valueMin.value_or(low),
                                              options.overrides.valueMax.value_or(high));

    const ValueRows valueRow(plot, valueScale);
    if (full) {
        const int limit = plot.Height() / 2 - 4;
        const QString minText = ctrl.AxisValueText(valueScale.min);
        const QString maxText = ctrl.AxisValueText(valueScale.max);
        const int minLength = std::min(MeasureChartText(normal, minText).width(), limit);
        const int maxLength = std::min(MeasureChartText(normal, maxText).width(), limit);
        DrawVerticalText(p, normal, plot.left - 23, plot.bottom - minLength, minText, minLength, 16,
                         Qt::black);
        DrawVerticalText(p, normal, plot.left - 23, plot.top, maxText, maxLength, 16, Qt::black);
        for (const AxisTick& tick : ScaleTicks(valueScale)) {
            if (tick.length == 0) continue;
            const int y = valueRow(tick.value);
            FillSpan(p, plot.left - tick.length, y - 1, plot.left + 1, y);
        }
    }

    // X axis: where each row lies, with its labels and ticks.
    std::vector<double>& across = buffers.across;
    across.resize(size_t(rows));
    switch (kind) {
    case ROW_LABELS_NUMBER: {
        std::vector<double> labels(static_cast<size_t>(rows));
        RowLabelValues(view, 0, rows, labels.data());
        double xLow = 0, xHigh = 0;
        if (rows > 0) {
            const auto [lo, hi] = std::minmax_element(labels.begin(), labels.end());
            xLow = *lo;
            xHigh = *hi;
        }
        if (xHigh == xLow) xHigh = xLow + 1;
        const AxisScale xScale = RoundedScale(options.overrides.xMin.value_or(xLow),
                                              options.overrides.xMax.value_or(xHigh));
        for (int i = 0; i < rows; ++i) across[size_t(i)] = xScale.Fraction(labels[size_t(i)]);
        if (full) {
            XEndLabels(p, normal, plot, ctrl.AxisLabelText(xScale.min),
                       ctrl.AxisLabelText(xScale.max));
            for (const AxisTick& tick : ScaleTicks(xScale))
                if (tick.length > 0)
                    XTick(p, plot, plot.X(xScale.Fraction(tick.value)), tick.length);
        }
        break;
    }
    case ROW_LABELS_DATETIME: {
        std::vector<CalendarTime> times(static_cast<size_t>(rows));
        for (int i = 0; i < rows; ++i) times[size_t(i)] = RowTime(view, i);
        const TimeAxis axis = MakeTimeAxis(times);
        for (int i = 0; i < rows; ++i) across[size_t(i)] = axis.Fraction(times[size_t(i)]);
        if (full) {
            XEndLabels(p, normal, plot, ctrl.DateAxisText(ToDateTimeRecord(axis.earliest)),
                       ctrl.DateAxisText(ToDateTimeRecord(axis.latest)));
            DrawTimeTicks(p, plot, axis);
        }
        break;
    }
    default: // categories: none or text
        for (int i = 0; i < rows; ++i) across[size_t(i)] = (i + 0.5) / rows;
        if (full && kind == ROW_LABELS_TEXT && rows > 0) {
            const int every = (rows - 1) / 6 + 1;
            const int width = plot.Width() / (rows / every) - 2;
            const QStringList texts = ctrl.RowLabelTexts(rows);
            for (int i = 0; i < rows; i += every) {
                const int x = plot.X(across[size_t(i)]);
                FillSpan(p, x, plot.bottom + 1, x + 1, plot.bottom + 5);
                const int shown = std::min(MeasureChartText(normal, texts[i]).width(), width);
                DrawHorizontalText(p, normal, x - shown / 2, plot.bottom + 3, texts[i], shown, 16);
            }
        }
        break;
    }

    // Axes.
    FillSpan(p, plot.left, plot.top, plot.left + 1, plot.bottom);
    FillSpan(p, plot.left, plot.bottom, plot.right, plot.bottom + 1);

    // Data, clipped to the plot area and 2 pixels around it.
    const QRect clip(plot.left - 2, plot.top - 2, plot.Width() + 4, plot.Height() + 4);
    p.setClipRect(clip, Qt::IntersectClip);
    std::vector<QPoint>& points = buffers.points;
    points.resize(size_t(rows));
    const ChartType type = ChartTypeOf(ctrl.m_nStyle, full);
    const int groupWidth = rows > 0 ? std::max(1, plot.Width() / rows - 2) : 1;
    std::vector<int>& columnOf = buffers.columns;
    columnOf.resize(size_t(rows));
    for (int i = 0; i < rows; ++i) columnOf[size_t(i)] = plot.X(across[size_t(i)]);
    for (int c = 0; c < series; ++c) {
        for (int first = 0; first < rows; first += kChunk) {
            const int count = std::min(kChunk, rows - first);
            CellValues(view, c, first, count, chunk.data());
            valueRow.Rows(chunk.data(), count, columnOf.data() + first, points.data() + first);
        }
        const SeriesStyle style{SeriesQColor(c), clip, options.reduce};
        switch (type) {
        case ChartType::Columns:
            DrawColumnSeries(p, points, plot.bottom, {groupWidth, c, series}, style);
            break;
        case ChartType::Points:
            DrawPointSeries(p, points, style);
            break;
        case ChartType::Lines:
            DrawLineSeries(p, points, style);
            break;
        }
    }
    p.restore();
}
