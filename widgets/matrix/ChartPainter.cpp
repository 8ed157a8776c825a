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
};

// Rows of values of a scale, as pixel rows of the plot.
class ValueRows {
public:
    ValueRows() = default;
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
    double m_bottom = 0, m_min = 0, m_perValue = 0;
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

// One drawing of a chart, step by step in the order the steps overlap.
class ChartDrawing {
public:
    ChartDrawing(QPainter& p, const CCtrl& ctrl, const ChartOptions& options)
        : m_p(p), m_ctrl(ctrl), m_options(options), m_full(options.full), m_view(ctrl.View()),
          m_kind(RowLabelKindOf(m_view.flags)), m_shape(MatrixShapeOf(ctrl)),
          m_normal(ChartFont(false)), m_bold(ChartFont(true)) {}

    void Draw(const QRect& rect) {
        Frame(rect);
        SeriesNames();
        if (!m_full) {
            m_plot.top = m_top + 10;
            m_plot.bottom = m_bottom - 19;
        }
        Heading();
        ValueAxis();
        XAxis();
        // Axes.
        FillSpan(m_p, m_plot.left, m_plot.top, m_plot.left + 1, m_plot.bottom);
        FillSpan(m_p, m_plot.left, m_plot.bottom, m_plot.right, m_plot.bottom + 1);
        Data();
    }

private:
    // The background or frame, and the plot area within the window's rectangle R (which runs
    // to one past its last pixel, like the plot's edges). The compact chart's series names share
    // the window's whole height, so its plot's top and bottom are set after them.
    void Frame(const QRect& rect) {
        int left = rect.left(), right = rect.left() + rect.width();
        m_top = rect.top();
        m_bottom = rect.top() + rect.height();
        m_p.fillRect(rect, Qt::white);
        if (!m_full) {
            ++right;
            ++m_bottom;
            if (m_ctrl.m_bBorder) {
                m_p.setPen(Qt::black);
                m_p.setBrush(Qt::NoBrush);
                m_p.drawRect(rect.adjusted(0, 0, -1, -1));
                ++left;
                ++m_top;
            }
        }
        m_plot.left = left + (m_full ? 39 : 23);
        m_plot.right = right - 10;
        m_plot.top = m_full ? m_top + 10 : m_top;
        m_plot.bottom = m_full ? m_bottom - (m_kind == ROW_LABELS_NONE ? 19 : 35) : m_bottom;
    }

    // Each series' name in its band, reading upwards, in the series' colour.
    void SeriesNames() {
        const int series = m_shape.series;
        if (series == 0) return;
        const QStringList names = m_ctrl.ColumnNames();
        const int band = m_plot.Height() / series;
        for (int i = 0; i < series; ++i) {
            const int y1 = m_plot.bottom - band * i - 1;
            const int y2 = m_plot.bottom - band * (i + 1) + 1;
            if (y1 - y2 - 4 <= 0) continue;
            const QString name = i < names.size() ? names[i] : QString();
            const int length = std::min(MeasureChartText(m_bold, name).width(), y1 - y2 - 4);
            DrawVerticalText(m_p, m_bold, m_plot.left - (m_full ? 40 : 23),
                             y2 + std::max(2, (y1 - y2) / 2 - length / 2), name, length, 16,
                             SeriesQColor(i));
        }
    }

    // The row-label heading, centred under the plot.
    void Heading() {
        const QString& heading = m_ctrl.m_strRowLabelHeading;
        if (heading.isEmpty()) return;
        const int width = MeasureChartText(m_bold, heading).width();
        DrawHorizontalText(m_p, m_bold, m_plot.left + std::max(2, m_plot.Width() / 2 - width / 2),
                           m_plot.bottom + (m_full ? 19 : 1), heading,
                           std::min(width, m_plot.Width() - 4), 16);
    }

    // The range over every cell, then the stored ends, rounded out to the step; in the full
    // chart its end labels and ticks.
    void ValueAxis() {
        std::vector<double>& chunk = Buffers().chunk;
        chunk.resize(kChunk);
        double low = 0, high = 0;
        for (int c = 0; c < m_shape.series; ++c) {
            for (int first = 0; first < m_shape.rows; first += kChunk) {
                const int count = std::min(kChunk, m_shape.rows - first);
                CellValues(m_view, c, first, count, chunk.data());
                const bool start = c == 0 && first == 0;
                double lo = start ? chunk[0] : low, hi = start ? chunk[0] : high;
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
        m_scale = RoundedScale(m_options.overrides.valueMin.value_or(low),
                               m_options.overrides.valueMax.value_or(high));
        m_rows = ValueRows(m_plot, m_scale);
        if (!m_full) return;
        const int limit = m_plot.Height() / 2 - 4;
        const QString minText = m_ctrl.AxisValueText(m_scale.min);
        const QString maxText = m_ctrl.AxisValueText(m_scale.max);
        const int minLength = std::min(MeasureChartText(m_normal, minText).width(), limit);
        const int maxLength = std::min(MeasureChartText(m_normal, maxText).width(), limit);
        DrawVerticalText(m_p, m_normal, m_plot.left - 23, m_plot.bottom - minLength, minText,
                         minLength, 16, Qt::black);
        DrawVerticalText(m_p, m_normal, m_plot.left - 23, m_plot.top, maxText, maxLength, 16,
                         Qt::black);
        for (const AxisTick& tick : ScaleTicks(m_scale)) {
            if (tick.length == 0) continue;
            const int y = m_rows(tick.value);
            FillSpan(m_p, m_plot.left - tick.length, y - 1, m_plot.left + 1, y);
        }
    }

    // Where each row lies along the x axis, with the axis' labels and ticks in the full chart.
    void XAxis() {
        const int rows = m_shape.rows;
        std::vector<double>& across = Buffers().across;
        across.resize(size_t(rows));
        switch (m_kind) {
        case ROW_LABELS_NUMBER: {
            std::vector<double> labels(static_cast<size_t>(rows));
            RowLabelValues(m_view, 0, rows, labels.data());
            double low = 0, high = 0;
            if (rows > 0) {
                const auto [lo, hi] = std::minmax_element(labels.begin(), labels.end());
                low = *lo;
                high = *hi;
            }
            if (high == low) high = low + 1;
            const AxisScale scale = RoundedScale(m_options.overrides.xMin.value_or(low),
                                                 m_options.overrides.xMax.value_or(high));
            for (int i = 0; i < rows; ++i) across[size_t(i)] = scale.Fraction(labels[size_t(i)]);
            if (!m_full) break;
            XEndLabels(m_p, m_normal, m_plot, m_ctrl.AxisLabelText(scale.min),
                       m_ctrl.AxisLabelText(scale.max));
            for (const AxisTick& tick : ScaleTicks(scale))
                if (tick.length > 0)
                    XTick(m_p, m_plot, m_plot.X(scale.Fraction(tick.value)), tick.length);
            break;
        }
        case ROW_LABELS_DATETIME: {
            std::vector<CalendarTime> times(static_cast<size_t>(rows));
            for (int i = 0; i < rows; ++i) times[size_t(i)] = RowTime(m_view, i);
            const TimeAxis axis = MakeTimeAxis(times);
            for (int i = 0; i < rows; ++i) across[size_t(i)] = axis.Fraction(times[size_t(i)]);
            if (!m_full) break;
            XEndLabels(m_p, m_normal, m_plot, m_ctrl.DateAxisText(ToDateTimeRecord(axis.earliest)),
                       m_ctrl.DateAxisText(ToDateTimeRecord(axis.latest)));
            DrawTimeTicks(m_p, m_plot, axis);
            break;
        }
        default: // categories: none or text, every k-th one labelled
            for (int i = 0; i < rows; ++i) across[size_t(i)] = (i + 0.5) / rows;
            if (!m_full || m_kind != ROW_LABELS_TEXT || rows == 0) break;
            const int every = (rows - 1) / 6 + 1;
            const int width = m_plot.Width() / (rows / every) - 2;
            const QStringList texts = m_ctrl.RowLabelTexts(rows);
            for (int i = 0; i < rows; i += every) {
                const int x = m_plot.X(across[size_t(i)]);
                FillSpan(m_p, x, m_plot.bottom + 1, x + 1, m_plot.bottom + 5);
                const int shown = std::min(MeasureChartText(m_normal, texts[i]).width(), width);
                DrawHorizontalText(m_p, m_normal, x - shown / 2, m_plot.bottom + 3, texts[i], shown,
                                   16);
            }
            break;
        }
    }

    // Every series, clipped to the plot area and 2 pixels around it.
    void Data() {
        const int rows = m_shape.rows, series = m_shape.series;
        const QRect clip(m_plot.left - 2, m_plot.top - 2, m_plot.Width() + 4, m_plot.Height() + 4);
        m_p.setClipRect(clip, Qt::IntersectClip);
        ChartBuffers& buffers = Buffers();
        std::vector<QPoint>& points = buffers.points;
        points.resize(size_t(rows));
        std::vector<int>& columns = buffers.columns;
        columns.resize(size_t(rows));
        for (int i = 0; i < rows; ++i) columns[size_t(i)] = m_plot.X(buffers.across[size_t(i)]);
        const ChartType type = ChartTypeOf(m_ctrl.m_nStyle, m_full);
        const int groupWidth = rows > 0 ? std::max(1, m_plot.Width() / rows - 2) : 1;
        for (int c = 0; c < series; ++c) {
            for (int first = 0; first < rows; first += kChunk) {
                const int count = std::min(kChunk, rows - first);
                CellValues(m_view, c, first, count, buffers.chunk.data());
                m_rows.Rows(buffers.chunk.data(), count, columns.data() + first,
                            points.data() + first);
            }
            const SeriesStyle style{SeriesQColor(c), clip, m_options.reduce};
            switch (type) {
            case ChartType::Columns:
                DrawColumnSeries(m_p, points, m_plot.bottom, {groupWidth, c, series}, style);
                break;
            case ChartType::Points:
                DrawPointSeries(m_p, points, style);
                break;
            case ChartType::Lines:
                DrawLineSeries(m_p, points, style);
                break;
            }
        }
    }

    // Kept between paints: a chart repaints often, and its rows rarely change in number.
    static ChartBuffers& Buffers() {
        thread_local ChartBuffers buffers;
        return buffers;
    }

    QPainter& m_p;
    const CCtrl& m_ctrl;
    const ChartOptions& m_options;
    const bool m_full;
    const MatrixView m_view;
    const int m_kind;
    const MatrixShape m_shape;
    const QFont m_normal, m_bold;
    int m_top = 0, m_bottom = 0; // the window's
    Plot m_plot;
    AxisScale m_scale;
    ValueRows m_rows;
};

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
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBackgroundMode(Qt::TransparentMode);
    ChartDrawing(p, ctrl, options).Draw(rect);
    p.restore();
}
