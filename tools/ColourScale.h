#pragma once

#include "PlotFrame.h"

#include <string>
#include <vector>

namespace ertkit_cli {

// A perceptually even blue-green-yellow scale: 0 gives dark blue, 1 yellow. Values outside
// [0, 1] are clamped. Returns an SVG colour "#rrggbb".
std::string scaleColour(double fraction);

// Where a value falls on a colour scale over `range`, from 0 to 1 (log or linear).
double colourFraction(const AxisRange& range, double value);

// The labelled ticks of a colour bar `height` px tall over `range` (log or linear): values 1, 2
// or 5 times a power of ten apart, and always a label at each end of the bar (the end's value
// to three significant digits, unless a round tick already sits there). Ticks closer than a
// label's height to another label are left out.
struct ColourTick {
    double value = 0.0;
    double fraction = 0.0; // 0 at the bottom of the bar, 1 at the top
    std::string text;
};
std::vector<ColourTick> colourBarTicks(const AxisRange& range, double height);

} // namespace ertkit_cli
