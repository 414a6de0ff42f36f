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

double colourFraction(const AxisRange& range, double value)
{
    if (range.log) return (std::log10(value) - std::log10(range.low)) / (std::log10(range.high) - std::log10(range.low));
    return (value - range.low) / (range.high - range.low);
}

std::vector<ColourTick> colourBarTicks(const AxisRange& range, double height)
{
    constexpr double label_px = 14.0, end_px = 2.0;
    std::vector<double> round = niceTicks(range, 5);
    // Within a decade or two, log ticks are too few: steps of 1, 2 or 5 times a power of ten
    // in value read as well there, the scale being nearly linear over so short a span.
    if (range.log && round.size() < 3) round = niceTicks(AxisRange{range.low, range.high, false}, 4);
    std::vector<ColourTick> ticks;
    const auto add = [&](double value, std::string text) {
        ticks.push_back({value, std::clamp(colourFraction(range, value), 0.0, 1.0), std::move(text)});
    };
    for (const double end : {range.low, range.high}) {
        const auto at_end = std::find_if(round.begin(), round.end(), [&](double v) { return std::abs(colourFraction(range, v) - colourFraction(range, end)) * height <= end_px; });
        add(at_end != round.end() ? *at_end : end, at_end != round.end() ? tickText(*at_end) : fmt::format("{:.3g}", end));
    }
    std::vector<double> inner;
    for (const double v : round)
        if (std::all_of(ticks.begin(), ticks.end(), [&](const ColourTick& t) { return std::abs(colourFraction(range, v) - t.fraction) * height > label_px; }))
            inner.push_back(v);
    // Too many for the bar: keep every k-th, so that neighbours are a label apart.
    std::size_t keep = 1;
    while (inner.size() / keep > 1 && height / static_cast<double>(inner.size() / keep + 1) < label_px) ++keep;
    for (std::size_t i = 0; i < inner.size(); i += keep) add(inner[i], tickText(inner[i]));
    std::sort(ticks.begin(), ticks.end(), [](const ColourTick& a, const ColourTick& b) { return a.fraction < b.fraction; });
    return ticks;
}

} // namespace ertkit_cli
