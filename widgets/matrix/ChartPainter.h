// The chart of one Matrix control, drawn into any painter and rectangle: the full chart of the
// matrix dialog, or the compact one of the panel's chart window (no ticks, no axis end labels,
// smaller margins). Each column of the matrix is one series; the row labels (none, numbers,
// texts or dates) place the rows along the x axis.
#pragma once

#include <optional>

#include <QRect>

class CCtrl;
class QPainter;

// Axis ends stored with the control's layout, replacing the data's own.
struct ChartOverrides {
    std::optional<double> valueMin; // cell exponent
    std::optional<double> valueMax;
    std::optional<double> xMin; // numeric row labels: row-label exponent
    std::optional<double> xMax;
};
// The overrides the layout store holds for the control.
ChartOverrides StoredChartOverrides(const CCtrl& ctrl);

enum class ChartType { Lines, Columns, Points };
// Full chart: styles 1 and 5 columns, 2 and 6 points. Compact chart: 5 columns, 6 points.
ChartType ChartTypeOf(int style, bool full);

struct ChartOptions {
    bool full = true;
    ChartOverrides overrides;
    // Merge what lands on the same pixel column before drawing (the same picture, much faster).
    bool reduce = true;
};

void DrawMatrixChart(QPainter& p, const QRect& rect, const CCtrl& ctrl,
                     const ChartOptions& options);
// With the overrides from the layout store.
void DrawMatrixChart(QPainter& p, const QRect& rect, const CCtrl& ctrl, bool full);
