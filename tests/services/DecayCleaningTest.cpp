#include <services/ColeCole.h>
#include <services/DecayCleaning.h>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace ertkit {
namespace {

// Four cycles of 2 s pulses sampled every 10 ms over a Cole-Cole earth, with what a field
// recording adds to it planted at will.
constexpr double s_step_ms = 10.0, s_pulse_ms = 2000.0;
constexpr std::size_t s_cycle = 800, s_cycles = 4, s_half = s_cycle / 2;
constexpr double s_amplitude = 100.0; // mV settled

struct Planted {
    double noise_mV = 0.0;
    double drift_mV = 0.0;      // a self potential relaxing after the current, plus a bend
    std::size_t spikes = 0;     // 40 to 80 noise deviations each (or 20 mV without noise)
    double mains_mV = 0.0;
    double mains_hz = 50.0;
};

struct Injection {
    std::vector<double> samples, clean;
    std::vector<std::pair<std::size_t, std::size_t>> spikes; // (half cycle, sample)
};

Injection injection(const Planted& planted, std::uint32_t seed = 3)
{
    const ColeColeWaveform wave({0.1, 0.4, 0.5}, s_pulse_ms);
    std::mt19937 random(seed);
    std::normal_distribution<double> gauss;
    Injection out;
    const std::size_t n = s_cycle * s_cycles;
    for (std::size_t k = 0; k < n; ++k) {
        const double t_ms = static_cast<double>(k) * s_step_ms, t_s = t_ms / 1000.0;
        const double signal = s_amplitude * wave.voltage(t_ms);
        const double drift = 12.0 + planted.drift_mV * (std::exp(-t_s / 6.0) + 0.002 * t_s * t_s);
        const double mains = planted.mains_mV * (std::sin(2.0 * std::numbers::pi * planted.mains_hz * t_s + 0.7) +
                                                 0.3 * std::sin(2.0 * std::numbers::pi * 3.0 * planted.mains_hz * t_s + 0.2));
        out.clean.push_back(signal);
        out.samples.push_back(signal + drift + mains + planted.noise_mV * gauss(random));
    }
    std::uniform_int_distribution<std::size_t> half(0, 2 * s_cycles - 1), sample(0, s_half - 1);
    std::uniform_real_distribution<double> size(40.0, 80.0);
    for (std::size_t s = 0; s < planted.spikes; ++s) {
        const std::size_t h = half(random), k = sample(random);
        out.samples[h * s_half + k] += (s % 2 ? -1.0 : 1.0) * size(random) * std::max(planted.noise_mV, 0.5);
        out.spikes.emplace_back(h, k);
    }
    return out;
}

// The stack the cleaning gives, and its largest distance from the clean stack over the
// decay's first second (where the gates that matter are).
struct Cleaned {
    CleanHalves halves;
    std::vector<double> stack;
    double worst = 0.0;
};

Cleaned clean(const Injection& in, const CleaningSteps& steps, StackEstimator estimator = StackEstimator::Mean)
{
    Cleaned out;
    std::vector<double> scratch;
    cleanHalfCycles(in.samples, {}, s_cycle, s_cycles, s_step_ms, steps, estimator, 0.25, out.halves, scratch);
    stackClean(out.halves, estimator, 0.25, out.stack, scratch);
    for (std::size_t k = s_half / 2 + 1; k < s_half / 2 + 100; ++k) out.worst = std::max(out.worst, std::abs(out.stack[k] - in.clean[k]));
    return out;
}

TEST(DecayCleaning, APolynomialFollowsARelaxingSelfPotentialWhereTheMetersLineCannot)
{
    const Injection in = injection({.drift_mV = 40.0});
    // The decay is ~1 mV a second after the switch-off: the line's bend error swamps it.
    EXPECT_GT(clean(in, {.drift_order = -1}).worst, 0.3);
    EXPECT_GT(clean(in, {.drift_order = 1}).worst, 0.3);
    // Over 32 s a relaxation of 6 s is no polynomial, but each order follows it closer.
    double before = 1.0;
    for (const int order : {3, 4, 5}) {
        const double worst = clean(in, {.drift_order = order}).worst;
        EXPECT_LT(worst, before) << "order " << order;
        before = worst;
    }
    EXPECT_LT(before, 0.025);
}

TEST(DecayCleaning, WithoutDriftOrNoiseEveryOrderGivesTheCleanStack)
{
    const Injection in = injection({});
    for (const int order : {-1, 0, 1, 2, 5}) EXPECT_LT(clean(in, {.drift_order = order}).worst, 1e-6) << "order " << order;
}

TEST(DecayCleaning, SpikesAreFoundAndLeftOutOfTheStack)
{
    const Planted planted{.noise_mV = 0.2, .spikes = 12};
    const Injection in = injection(planted);
    const Cleaned kept = clean(in, {.drift_order = 1});
    const Cleaned found = clean(in, {.drift_order = 1, .spike_threshold = 5.0});
    EXPECT_EQ(kept.halves.spikes, 0u);
    // Every planted spike is flagged; a 5-deviation limit flags few clean samples besides.
    for (const auto& [h, k] : in.spikes) EXPECT_TRUE(found.halves.spike[h * s_half + k]) << "half " << h << " sample " << k;
    EXPECT_GE(found.halves.spikes, in.spikes.size());
    EXPECT_LE(found.halves.spikes, in.spikes.size() + 8);
    // Left in, a spike moves the stack by an eighth of itself; left out, the stack is as good
    // as the noise allows (0.2 mV over 8 half cycles).
    EXPECT_GT(kept.worst, 1.0);
    EXPECT_LT(found.worst, 0.3);
}

struct MainsCase {
    double hz;
    std::size_t removed; // frequencies fitted at 10 ms sampling
};

class DecayCleaningMains : public ::testing::TestWithParam<MainsCase> {};

// At 100 samples a second 50 Hz and its odd harmonics all fall on 50 Hz (one sign flip a
// sample) and the even ones on 0 Hz, which the drift takes; 60 Hz and its harmonics fall on
// 40 and 20 Hz. None lies on an odd harmonic of the 1/8 Hz injection, so each is removed.
TEST_P(DecayCleaningMains, ThePowerLinesAliasesAreRemoved)
{
    const MainsCase c = GetParam();
    const Injection in = injection({.noise_mV = 0.05, .mains_mV = 4.0, .mains_hz = c.hz});
    const Cleaned left = clean(in, {.drift_order = 1});
    const Cleaned removed = clean(in, {.drift_order = 1, .mains_hz = c.hz});
    EXPECT_EQ(removed.halves.mains_removed, c.removed);
    // Whole half cycles of an aliased sine cancel in the stack; what the removal buys is each
    // half cycle's own value, whose spread the gates' deviations read.
    WindowValue before, after;
    double drift = 0.0;
    const DecayGate gate{s_half / 2 + 1, s_half / 2 + 2, false}; // one sample: no alias averages out
    cleanGateValue(left.halves, left.stack, gate, before, drift);
    cleanGateValue(removed.halves, removed.stack, gate, after, drift);
    EXPECT_GT(before.deviation, 1.0);
    EXPECT_LT(after.deviation, 0.1);
}

INSTANTIATE_TEST_SUITE_P(Frequencies, DecayCleaningMains, ::testing::Values(MainsCase{50.0, 1}, MainsCase{60.0, 2}));

TEST(DecayCleaning, TheDriftFitsUncertaintyReachesTheGates)
{
    const Injection in = injection({.noise_mV = 0.5, .drift_mV = 40.0});
    const Cleaned fitted = clean(in, {.drift_order = 3});
    WindowValue value;
    double early = 0.0, late = 0.0;
    cleanGateValue(fitted.halves, fitted.stack, {s_half / 2 + 1, s_half / 2 + 3, false}, value, early);
    cleanGateValue(fitted.halves, fitted.stack, {s_half / 2 + 100, s_half / 2 + 190, true}, value, late);
    // A positive variance, small beside the noise of one sample over 8 half cycles.
    EXPECT_GT(early, 0.0);
    EXPECT_GT(late, 0.0);
    EXPECT_LT(std::sqrt(early), 0.5 / std::sqrt(8.0));
    // The meter's line carries no covariance: no share is claimed for it.
    const Cleaned line = clean(in, {});
    cleanGateValue(line.halves, line.stack, {s_half / 2 + 1, s_half / 2 + 3, false}, value, early);
    EXPECT_EQ(early, 0.0);
}

} // namespace
} // namespace ertkit
