#pragma once

#include <string>

namespace ertkit_cli {

// A perceptually even blue-green-yellow scale: 0 gives dark blue, 1 yellow. Values outside
// [0, 1] are clamped. Returns an SVG colour "#rrggbb".
std::string scaleColour(double fraction);

} // namespace ertkit_cli
