#pragma once

#include "PlotFrame.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ertkit_cli {

// A perceptually even blue-green-yellow scale: 0 gives dark blue, 1 yellow. Values outside
// [0, 1] are clamped. Returns an SVG colour "#rrggbb".
std::string scaleColour(double fraction);

// Where a value falls on a colour scale over `range`, from 0 to 1 (log or linear).
double colourFraction(const AxisRange& range, double value);

// The colour limits a user gives as "MIN:MAX": two finite decimal numbers, MIN below MAX.
// Throws std::invalid_argument otherwise.
std::pair<double, double> colourLimits(std::string_view text);
// The `percent`-th and (100 - `percent`)-th percentiles of `values` (0 <= percent < 50,
// std::invalid_argument otherwise), interpolated between ranks; (0, 0) for no value.
std::pair<double, double> clippedLimits(std::vector<double> values, double percent);

// The labelled ticks of a colour bar `height` px tall over `range`: on a log bar every decade,
// with its 2 and 5 multiples under two decades (and steps of 1, 2 or 5 times a power of ten in
// value when that still gives fewer than three); on a linear bar values 1, 2 or 5 times a
// power of ten apart. Always a label at each end of the bar (the end's value to three
// significant digits, unless a round tick already sits there). Ticks closer than a label's
// height to another label are left out, evenly.
struct ColourTick {
    double value = 0.0;
    double fraction = 0.0; // 0 at the bottom of the bar, 1 at the top
    std::string text;
};
std::vector<ColourTick> colourBarTicks(const AxisRange& range, double height);

} // namespace ertkit_cli
