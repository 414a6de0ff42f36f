#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <optional>
#include <vector>

namespace ertkit {

// Stacking an injection cut into half cycles. A half cycle is one pulse of one polarity with
// the off time after it (or the pulse alone for a full duty cycle); the second half of every
// cycle is negated, so that all of them show the same signal. The half cycle is the unit of
// stacking, as the meters count their stacks.

enum class StackEstimator { Mean, Median, Trimmed };

// "mean", "median", "trimmed"; none for any other name.
std::optional<StackEstimator> stackEstimatorNamed(std::string_view name);
const char* stackEstimatorName(StackEstimator estimator);

// Throws std::invalid_argument unless `trim` is a fraction that trimming may cut at each end:
// 0 or more and below 0.5 (half from each end would leave nothing). NaN is refused.
void checkTrim(double trim);

// The estimate of a set of values; `values` is reordered. Trimmed drops the smallest and the
// largest `trim` fraction of the values (at least one at each end from three values on, and
// always leaving one), then averages the rest. NaN for no values.
double estimate(StackEstimator estimator, std::span<double> values, double trim = 0.25);

// A self potential that drifts linearly: value at sample 0 and change per sample.
struct LinearDrift {
    double offset = 0.0;
    double slope = 0.0;
    double at(std::size_t k) const { return offset + slope * static_cast<double>(k); }
};

// The drift under `cycles` whole cycles of `cycle` samples. The injected signal changes sign
// from one half cycle to the next, so a sample plus the one half a cycle later is twice the
// self potential between them: the estimate of those pair means over a cycle (pairs holding an
// overloaded sample left out) is the self potential at the middle of the cycle, and the line
// is fitted through those of every cycle by least squares (a constant for one cycle). With the
// median, a burst within the receiver's range moves neither the line nor the stack.
LinearDrift fitDrift(std::span<const double> samples, std::span<const bool> overloads, std::size_t cycle, std::size_t cycles,
                     StackEstimator estimator, double trim = 0.25);

// Half cycles of an injection, drift removed and sign corrected, the ones holding an
// overloaded sample left out.
struct HalfCycles {
    std::size_t length = 0;        // samples per half cycle
    std::vector<double> values;    // used half cycles one after the other
    std::size_t used = 0;
    std::size_t dropped = 0;       // left out for an overloaded sample
    LinearDrift drift;
    double at(std::size_t half, std::size_t k) const { return values[half * length + k]; }
};
// `samples` holds `cycles` whole cycles of `cycle` samples (an even number) from the start of
// the injection; `overloads` is empty or flags each sample.
HalfCycles cutHalfCycles(std::span<const double> samples, std::span<const bool> overloads, std::size_t cycle, std::size_t cycles,
                         StackEstimator estimator, double trim = 0.25);
// The same into `out`, reusing its storage (and `scratch`), for a caller that cuts many.
void cutHalfCycles(std::span<const double> samples, std::span<const bool> overloads, std::size_t cycle, std::size_t cycles,
                   StackEstimator estimator, double trim, HalfCycles& out, std::vector<double>& scratch);

// The stacked half cycle: at each sample, the estimate over the used half cycles.
std::vector<double> stackHalfCycles(const HalfCycles& halves, StackEstimator estimator, double trim = 0.25);
void stackHalfCycles(const HalfCycles& halves, StackEstimator estimator, double trim, std::vector<double>& out, std::vector<double>& scratch);

// Samples first..last - 1 of a half cycle (clamped to it): their mean in the stack, and the
// standard deviation of that mean taken in each half cycle on its own (0 for fewer than two).
struct WindowValue {
    double value = 0.0;
    double deviation = 0.0;
    std::vector<double> per_half;  // the window's mean in each used half cycle
};
WindowValue windowValue(const HalfCycles& halves, std::span<const double> stack, std::size_t first, std::size_t last);
void windowValue(const HalfCycles& halves, std::span<const double> stack, std::size_t first, std::size_t last, WindowValue& out);

double standardDeviation(std::span<const double> values);

} // namespace ertkit
