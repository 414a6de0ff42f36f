#pragma once

#include <services/ColeCole.h>
#include <services/CycleStack.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace ertkit {

// Cleaning a recorded injection beyond what the meter does, before it is stacked:
// - drift: a polynomial of the chosen order through the pair means (a sample plus the one
//   half a cycle later, the signal cancelling between them), fitted by least squares, then
//   again without the pair means beyond four robust deviations (spikes, bursts). A line
//   through the cycles' levels fails when the self potential relaxes, as it does on
//   electrodes that carried current shortly before; a polynomial follows the relaxation.
// - periodic noise: the power line's fundamental and harmonics, at the frequencies they alias
//   to at the sampling rate, fitted to what remains once drift and signal are taken away,
//   and subtracted. Harmonics that alias to 0 Hz are a constant the drift takes; one that
//   aliases onto an odd harmonic of the injection cannot be told from the signal and is left.
// - spikes: at each sample of the half cycle, the values of every half cycle against their
//   median and median absolute deviation (never below the record's typical deviation):
//   those beyond `spike_threshold` deviations are spikes, left out of the stack.

struct CleaningSteps {
    int drift_order = -1;          // -1: the meter's line through the cycles' levels
    double spike_threshold = 0.0;  // robust deviations; 0: no spike is looked for
    double mains_hz = 0.0;         // 0: no periodic noise is removed
    bool any() const { return drift_order >= 0 || spike_threshold > 0.0 || mains_hz > 0.0; }
};

// The highest drift order offered: beyond it a fit through a few cycles bends with the noise.
inline constexpr int s_max_drift_order = 5;

struct CleanHalves {
    HalfCycles halves;                    // drift and periodic noise removed, sign corrected (the drift
                                          // is `drift` below; halves.drift is left at 0)
    std::vector<std::uint8_t> spike;      // per value of halves.values: left out of the stack
    std::size_t spikes = 0;
    // The drift as a polynomial in x = (k - centre) / scale, k the sample of the injection,
    // and the covariance of its coefficients (row by row).
    std::vector<double> drift, drift_covariance;
    double centre = 0.0, scale = 1.0;
    std::vector<double> sign;             // +1 or -1 for each used half cycle, as it was cut
    std::vector<std::size_t> first;       // first sample of each used half cycle in the injection
    std::size_t mains_removed = 0;        // frequencies of periodic noise fitted and removed
    // Working room kept from one injection to the next: the pair means' powers and their
    // normal matrix, which depend on the injection's length and the drift's order alone.
    struct DriftBasis {
        std::size_t count = 0, half = 0, terms = 0;
        std::vector<double> powers, normal;
    } drift_basis;
};

// Cuts `cycles` whole cycles of `cycle` samples (every `step_ms`), cleaned as `steps` asks,
// into `out` (reusing its storage); `scratch` is working room.
void cleanHalfCycles(std::span<const double> samples, std::span<const bool> overloads, std::size_t cycle, std::size_t cycles, double step_ms,
                     const CleaningSteps& steps, StackEstimator estimator, double trim, CleanHalves& out, std::vector<double>& scratch);

// The stack of the cleaned half cycles, spikes left out.
void stackClean(const CleanHalves& clean, StackEstimator estimator, double trim, std::vector<double>& stack, std::vector<double>& scratch);

// A gate of the stack: its weighted mean, its value in each half cycle (a spike there
// replaced by the stack's value) and their standard deviation, and in `drift_variance` the
// variance the drift fit's uncertainty gives the stacked value (mV^2; 0 for the meter's line).
void cleanGateValue(const CleanHalves& clean, std::span<const double> stack, const DecayGate& gate, WindowValue& out,
                    double& drift_variance);

} // namespace ertkit
