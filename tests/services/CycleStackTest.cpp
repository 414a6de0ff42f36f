// The stacking arithmetic on signals small enough to stack by hand.
#include <services/CycleStack.h>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace ertkit;

namespace {

TEST(CycleStack, EstimatorsAgainstHandComputedValues)
{
    struct Case {
        StackEstimator estimator;
        std::vector<double> values;
        double expected;
    };
    const std::vector<Case> cases{
        {StackEstimator::Mean, {1, 2, 3, 10}, 4.0},
        {StackEstimator::Median, {1, 2, 3, 10}, 2.5},
        {StackEstimator::Median, {10, 1, 3}, 3.0},
        {StackEstimator::Trimmed, {10, 1, 3}, 3.0},            // one cut at each end from three values
        {StackEstimator::Trimmed, {1, 2, 3, 4, 5, 6, 7, 100}, 4.5}, // 2 of 8 cut at each end
        {StackEstimator::Trimmed, {4, 8}, 6.0},                 // nothing to cut from two
        {StackEstimator::Mean, {7}, 7.0},
    };
    for (const Case& c : cases) {
        std::vector<double> values = c.values;
        EXPECT_DOUBLE_EQ(estimate(c.estimator, values), c.expected) << stackEstimatorName(c.estimator) << " of " << c.values.size();
    }
    std::vector<double> none;
    EXPECT_TRUE(std::isnan(estimate(StackEstimator::Median, none)));
    EXPECT_EQ(stackEstimatorNamed("trimmed"), StackEstimator::Trimmed);
    EXPECT_FALSE(stackEstimatorNamed("average"));
}

// +1 on, 0 off, -1 on, 0 off, scaled, over cycles of 8 samples, on a drifting baseline.
std::vector<double> squareWave(std::size_t cycles, double vp, double offset, double slope)
{
    const double shape[] = {1, 1, 0, 0, -1, -1, 0, 0};
    std::vector<double> out;
    for (std::size_t k = 0; k < 8 * cycles; ++k) out.push_back(vp * shape[k % 8] + offset + slope * static_cast<double>(k));
    return out;
}

TEST(CycleStack, ALinearDriftIsFoundAndRemoved)
{
    for (const auto estimator : {StackEstimator::Mean, StackEstimator::Median, StackEstimator::Trimmed}) {
        const std::vector<double> samples = squareWave(3, 5.0, 12.0, 0.25);
        const LinearDrift drift = fitDrift(samples, {}, 8, 3, estimator);
        EXPECT_NEAR(drift.offset, 12.0, 1e-12);
        EXPECT_NEAR(drift.slope, 0.25, 1e-12);
        const HalfCycles halves = cutHalfCycles(samples, {}, 8, 3, estimator);
        ASSERT_EQ(halves.used, 6u);
        // Every half cycle, negated ones included, is the pulse alone once the drift is gone.
        for (std::size_t h = 0; h < halves.used; ++h)
            for (std::size_t k = 0; k < 4; ++k) EXPECT_NEAR(halves.at(h, k), k < 2 ? 5.0 : 0.0, 1e-12) << h << " " << k;
    }
    // One cycle gives a level, not a slope.
    const LinearDrift level = fitDrift(squareWave(1, 5.0, 3.0, 0.0), {}, 8, 1, StackEstimator::Mean);
    EXPECT_DOUBLE_EQ(level.offset, 3.0);
    EXPECT_DOUBLE_EQ(level.slope, 0.0);
}

TEST(CycleStack, OverloadedHalfCyclesAreDroppedAndABurstOnlyMovesTheMean)
{
    std::vector<double> samples = squareWave(2, 4.0, 0.0, 0.0);
    samples[1] += 90.0;  // a burst within range, first half cycle
    samples[9] += 500.0; // beyond range, third half cycle
    auto flags = std::make_unique<bool[]>(samples.size());
    flags[9] = true;
    const std::span<const bool> overloads(flags.get(), samples.size());

    const HalfCycles mean = cutHalfCycles(samples, overloads, 8, 2, StackEstimator::Mean);
    EXPECT_EQ(mean.used, 3u);
    EXPECT_EQ(mean.dropped, 1u);
    // By hand: the cycle levels are the pair means; the first cycle's holds the burst at
    // sample 1 ((94 + -4) / 2 = 45 among 0s), 45 / 4 = 11.25; the second's leaves out the
    // overloaded pair, 0; the line through them at the middles 3.5 and 11.5.
    EXPECT_DOUBLE_EQ(mean.drift.slope, -11.25 / 8.0);
    const std::vector<double> mean_stack = stackHalfCycles(mean, StackEstimator::Mean);
    // Sample 1: (94 - d(1)) from the first half, -(-4 - d(5)) and -(-4 - d(13)) from the others.
    const auto d = [&](double k) { return mean.drift.at(static_cast<std::size_t>(k)); };
    EXPECT_NEAR(mean_stack[1], ((94.0 - d(1)) + (4.0 + d(5)) + (4.0 + d(13))) / 3.0, 1e-12);

    const HalfCycles median = cutHalfCycles(samples, overloads, 8, 2, StackEstimator::Median);
    EXPECT_DOUBLE_EQ(median.drift.slope, 0.0);
    EXPECT_DOUBLE_EQ(median.drift.offset, 0.0);
    const std::vector<double> median_stack = stackHalfCycles(median, StackEstimator::Median);
    EXPECT_EQ(median_stack, (std::vector<double>{4, 4, 0, 0}));

    const WindowValue window = windowValue(median, median_stack, 0, 2);
    EXPECT_DOUBLE_EQ(window.value, 4.0);
    EXPECT_EQ(window.per_half, (std::vector<double>{49.0, 4.0, 4.0}));
    EXPECT_NEAR(window.deviation, standardDeviation(window.per_half), 0.0);
    EXPECT_NEAR(window.deviation, std::sqrt((2 * 15.0 * 15.0 + 30.0 * 30.0) / 2.0), 1e-12);
    EXPECT_TRUE(std::isnan(windowValue(median, median_stack, 3, 3).value));
}

} // namespace
