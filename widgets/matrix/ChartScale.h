// The numbers behind a chart's axes: a value range rounded out to a step of a power of ten, the
// ticks along it, and the geometry of the plot area.
#pragma once

#include <vector>

// A range rounded out to whole steps. Ends are kept as step counts, so 6 is exactly 60 x 0.1.
struct AxisScale {
    double min = 0;
    double max = 1;
    double step = 1;
    bool fine = false;    // ticks of a single step are drawn
    double firstStep = 0; // min / step
    double lastStep = 0;  // max / step

    // 0 at min, 1 at max.
    double Fraction(double value) const { return (value - min) / (max - min); }
};

// Step 10^(n-1), n = log10(max - min) + 0.3 truncated; fine when the remainder is below 0.5.
// An empty or reversed range is widened to min + 1 first.
AxisScale RoundedScale(double min, double max);

struct AxisTick {
    double value = 0;
    int length = 0; // 0: not drawn
};

// One tick per step from min to max: 8 at both ends, 6 at multiples of ten steps, 4 at multiples
// of five, else 2, drawn only on a fine scale. At most kMaxTicks.
std::vector<AxisTick> ScaleTicks(const AxisScale& scale);
inline constexpr int kMaxTicks = 1000;
