#include <services/CycleStack.h>

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>

namespace ertkit {

std::optional<StackEstimator> stackEstimatorNamed(std::string_view name)
{
    if (name == "mean") return StackEstimator::Mean;
    if (name == "median") return StackEstimator::Median;
    if (name == "trimmed") return StackEstimator::Trimmed;
    return std::nullopt;
}

const char* stackEstimatorName(StackEstimator estimator)
{
    switch (estimator) {
    case StackEstimator::Median: return "median";
    case StackEstimator::Trimmed: return "trimmed";
    case StackEstimator::Mean: break;
    }
    return "mean";
}

namespace {

double mean(std::span<const double> values)
{
    return std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

} // namespace

void checkTrim(double trim)
{
    if (!(trim >= 0.0 && trim < 0.5))
        throw std::invalid_argument(fmt::format("the fraction cut at each end must be 0 or more and below 0.5 (half from each end "
                                                "would leave nothing), not {}",
                                                trim));
}

double estimate(StackEstimator estimator, std::span<double> values, double trim)
{
    const std::size_t n = values.size();
    if (n == 0) return std::numeric_limits<double>::quiet_NaN();
    if (estimator == StackEstimator::Mean) return mean(values);
    std::sort(values.begin(), values.end());
    if (estimator == StackEstimator::Median) return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
    std::size_t cut = static_cast<std::size_t>(std::floor(static_cast<double>(n) * std::clamp(trim, 0.0, 0.5)));
    if (n >= 3) cut = std::max<std::size_t>(cut, 1);
    cut = std::min(cut, (n - 1) / 2);
    return mean(values.subspan(cut, n - 2 * cut));
}

namespace {

// `scratch` holds a cycle's pair means, then the cycles' middles and levels behind them.
LinearDrift fitDrift(std::span<const double> samples, std::span<const bool> overloads, std::size_t cycle, std::size_t cycles,
                     StackEstimator estimator, double trim, std::vector<double>& scratch)
{
    const std::size_t half = cycle / 2;
    if (half == 0) return {};
    scratch.resize(half + 2 * cycles);
    const std::span<double> pairs(scratch.data(), half), x(scratch.data() + half, cycles), y(scratch.data() + half + cycles, cycles);
    // Cycle estimates against the middles of the cycles, centred for a stable fit.
    std::size_t fitted = 0;
    for (std::size_t c = 0; c < cycles; ++c) {
        std::size_t n = 0;
        for (std::size_t j = c * cycle; j < c * cycle + half; ++j)
            if (overloads.empty() || (!overloads[j] && !overloads[j + half])) pairs[n++] = (samples[j] + samples[j + half]) / 2.0;
        if (n == 0) continue;
        x[fitted] = static_cast<double>(c * cycle) + static_cast<double>(cycle - 1) / 2.0;
        y[fitted++] = estimate(estimator, pairs.first(n), trim);
    }
    if (fitted == 0) return {};
    const double mean_x = mean(x.first(fitted)), mean_y = mean(y.first(fitted));
    double sxx = 0.0, sxy = 0.0;
    for (std::size_t c = 0; c < fitted; ++c) {
        sxx += (x[c] - mean_x) * (x[c] - mean_x);
        sxy += (x[c] - mean_x) * (y[c] - mean_y);
    }
    const double slope = sxx > 0.0 ? sxy / sxx : 0.0;
    return {mean_y - slope * mean_x, slope};
}

} // namespace

LinearDrift fitDrift(std::span<const double> samples, std::span<const bool> overloads, std::size_t cycle, std::size_t cycles,
                     StackEstimator estimator, double trim)
{
    std::vector<double> scratch;
    return fitDrift(samples, overloads, cycle, cycles, estimator, trim, scratch);
}

void cutHalfCycles(std::span<const double> samples, std::span<const bool> overloads, std::size_t cycle, std::size_t cycles,
                   StackEstimator estimator, double trim, HalfCycles& halves, std::vector<double>& scratch)
{
    halves.length = cycle / 2;
    halves.values.clear();
    halves.used = halves.dropped = 0;
    halves.drift = {};
    if (halves.length == 0 || samples.size() < cycle * cycles) return;
    halves.drift = fitDrift(samples, overloads, cycle, cycles, estimator, trim, scratch);
    halves.values.resize(2 * cycles * halves.length);
    for (std::size_t h = 0; h < 2 * cycles; ++h) {
        const std::size_t first = h * halves.length;
        if (!overloads.empty()) {
            const auto flags = overloads.subspan(first, halves.length);
            if (std::find(flags.begin(), flags.end(), true) != flags.end()) {
                ++halves.dropped;
                continue;
            }
        }
        const double sign = h % 2 == 0 ? 1.0 : -1.0;
        double* const to = halves.values.data() + halves.used * halves.length;
        for (std::size_t k = 0; k < halves.length; ++k) to[k] = sign * (samples[first + k] - halves.drift.at(first + k));
        ++halves.used;
    }
    halves.values.resize(halves.used * halves.length);
}

HalfCycles cutHalfCycles(std::span<const double> samples, std::span<const bool> overloads, std::size_t cycle, std::size_t cycles,
                         StackEstimator estimator, double trim)
{
    HalfCycles halves;
    std::vector<double> scratch;
    cutHalfCycles(samples, overloads, cycle, cycles, estimator, trim, halves, scratch);
    return halves;
}

void stackHalfCycles(const HalfCycles& halves, StackEstimator estimator, double trim, std::vector<double>& stack, std::vector<double>& column)
{
    stack.resize(halves.used == 0 ? 0 : halves.length);
    column.resize(halves.used);
    for (std::size_t k = 0; k < stack.size(); ++k) {
        for (std::size_t h = 0; h < halves.used; ++h) column[h] = halves.at(h, k);
        stack[k] = estimate(estimator, column, trim);
    }
}

std::vector<double> stackHalfCycles(const HalfCycles& halves, StackEstimator estimator, double trim)
{
    std::vector<double> stack, column;
    stackHalfCycles(halves, estimator, trim, stack, column);
    return stack;
}

double standardDeviation(std::span<const double> values)
{
    if (values.size() < 2) return 0.0;
    const double m = mean(values);
    double sum = 0.0;
    for (const double v : values) sum += (v - m) * (v - m);
    return std::sqrt(sum / static_cast<double>(values.size() - 1));
}

void windowValue(const HalfCycles& halves, std::span<const double> stack, std::size_t first, std::size_t last, WindowValue& window)
{
    window.per_half.clear();
    window.deviation = 0.0;
    last = std::min(last, stack.size());
    if (first >= last) {
        window.value = std::numeric_limits<double>::quiet_NaN();
        return;
    }
    window.value = mean(stack.subspan(first, last - first));
    for (std::size_t h = 0; h < halves.used; ++h)
        window.per_half.push_back(mean(std::span<const double>(halves.values).subspan(h * halves.length + first, last - first)));
    window.deviation = standardDeviation(window.per_half);
}

WindowValue windowValue(const HalfCycles& halves, std::span<const double> stack, std::size_t first, std::size_t last)
{
    WindowValue window;
    windowValue(halves, stack, first, last, window);
    return window;
}

} // namespace ertkit
