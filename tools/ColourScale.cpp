#include "ColourScale.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <stdexcept>

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
    return axisFraction(range, value);
}

namespace {

// A colour bar's end: the value to three significant digits, in full below 100000 (3000
// rather than 3e+03).
std::string endText(double value)
{
    const std::string text = fmt::format("{:.3g}", value);
    if (text.find('e') == std::string::npos || !(std::abs(value) < 1e5)) return text;
    return tickText(std::stod(text));
}

std::string limitText(std::string_view text)
{
    return std::string(text.substr(0, 40)) + (text.size() > 40 ? "…" : "");
}

// A decimal number and nothing else, finite (no hexadecimal, no "nan" or "inf").
std::optional<double> finiteNumber(std::string_view text)
{
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

} // namespace

std::pair<double, double> colourLimits(std::string_view text)
{
    const auto colon = text.find(':');
    const auto low = finiteNumber(text.substr(0, colon));
    const auto high = colon == std::string_view::npos ? std::nullopt : finiteNumber(text.substr(colon + 1));
    if (!low || !high || !(*low < *high))
        throw std::invalid_argument(fmt::format("--range {}: expected MIN:MAX, two decimal numbers, MIN below MAX", limitText(text)));
    return {*low, *high};
}

std::pair<double, double> clippedLimits(std::vector<double> values, double percent)
{
    if (!(percent >= 0.0 && percent < 50.0))
        throw std::invalid_argument(fmt::format("--clip {}: expected a percentage from 0 up to, not including, 50", percent));
    std::sort(values.begin(), values.end());
    if (values.empty()) return {0.0, 0.0};
    // Between the two nearest ranks, as a percentile is usually read.
    const auto at = [&](double p) {
        const double rank = p / 100.0 * static_cast<double>(values.size() - 1);
        const auto below = static_cast<std::size_t>(std::floor(rank));
        const std::size_t above = std::min(below + 1, values.size() - 1);
        return values[below] + (values[above] - values[below]) * (rank - static_cast<double>(below));
    };
    return {at(percent), at(100.0 - percent)};
}

std::vector<ColourTick> colourBarTicks(const AxisRange& range, double height)
{
    constexpr double label_px = 14.0, end_px = 2.0;
    std::vector<double> round = niceTicks(range, 5);
    // Within a decade or so, log ticks are too few: steps of 1, 2 or 5 times a power of ten
    // in value read as well there, the scale being nearly linear over so short a span.
    if (range.log && round.size() < 3 && std::log10(range.high) - std::log10(range.low) < 2.0)
        round = niceTicks(AxisRange{range.low, range.high, false}, 4);
    std::vector<ColourTick> ticks;
    const auto add = [&](double value, std::string text) {
        ticks.push_back({value, std::clamp(colourFraction(range, value), 0.0, 1.0), std::move(text)});
    };
    for (const double end : {range.low, range.high}) {
        const auto at_end = std::find_if(round.begin(), round.end(), [&](double v) { return std::abs(colourFraction(range, v) - colourFraction(range, end)) * height <= end_px; });
        add(at_end != round.end() ? *at_end : end, at_end != round.end() ? tickText(*at_end) : endText(end));
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
