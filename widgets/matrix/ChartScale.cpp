#include "ChartScale.h"

#include <cmath>

namespace {

// count x 10^power, dividing by an exact power of ten for negative powers.
double Steps(double count, int power) {
    return power < 0 ? count / std::pow(10.0, -power) : count * std::pow(10.0, power);
}

// Step counts a hair off a whole number are taken as that number.
constexpr double kSlack = 1e-9;

} // namespace

AxisScale RoundedScale(double min, double max) {
    if (!(max > min)) max = min + 1;
    const double level = std::log10(max - min) + 0.3;
    const int n = static_cast<int>(std::trunc(level));
    AxisScale s;
    s.step = Steps(1, n - 1);
    s.fine = level - n < 0.5;
    s.lastStep = std::ceil(max / s.step - kSlack);
    s.firstStep = std::floor(min / s.step + kSlack);
    s.max = Steps(s.lastStep, n - 1);
    s.min = Steps(s.firstStep, n - 1);
    if (!(s.max > s.min)) s.max = s.min + s.step; // steps beyond a double's precision
    return s;
}

std::vector<AxisTick> ScaleTicks(const AxisScale& scale) {
    std::vector<AxisTick> ticks;
    const double span = scale.lastStep - scale.firstStep;
    if (!(span >= 0) || span > kMaxTicks) return ticks;
    const int count = static_cast<int>(span) + 1;
    const int power = static_cast<int>(std::lround(std::log10(scale.step)));
    for (int i = 0; i < count; ++i) {
        const double c = scale.firstStep + i;
        int length = 2;
        if (std::fmod(c, 5) == 0) length = 4;
        if (std::fmod(c, 10) == 0) length = 6;
        if (i == 0 || i == count - 1) length = 8;
        if (length == 2 && !scale.fine) length = 0;
        ticks.push_back({Steps(c, power), length});
    }
    return ticks;
}
