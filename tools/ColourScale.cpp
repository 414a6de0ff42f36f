#include "ColourScale.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace ertkit_cli {

std::string scaleColour(double fraction)
{
    // Stops sampled from a viridis-like ramp.
    static constexpr std::array<std::array<double, 3>, 6> stops{{{68, 1, 84},
                                                                 {65, 68, 135},
                                                                 {42, 120, 142},
                                                                 {34, 168, 132},
                                                                 {122, 209, 81},
                                                                 {253, 231, 37}}};
    const double f = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
    const double position = f * (stops.size() - 1);
    const auto i = std::min<std::size_t>(static_cast<std::size_t>(position), stops.size() - 2);
    const double t = position - static_cast<double>(i);
    std::array<int, 3> rgb{};
    for (std::size_t c = 0; c < 3; ++c) rgb[c] = static_cast<int>(std::lround(stops[i][c] + (stops[i + 1][c] - stops[i][c]) * t));
    return fmt::format("#{:02x}{:02x}{:02x}", rgb[0], rgb[1], rgb[2]);
}

} // namespace ertkit_cli
