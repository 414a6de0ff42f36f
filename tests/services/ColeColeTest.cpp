#include <services/ColeCole.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace ertkit {
namespace {

TEST(ColeColeRelaxation, MatchesTheClosedFormsOfItsTwoSpecialExponents)
{
    // c = 1 is the Debye decay exp(-s); c = 1/2 has E(-x) = exp(x^2) erfc(x), x = sqrt(s).
    for (const double s : {1e-9, 1e-6, 1e-3, 0.05, 0.3, 1.0, 3.0, 10.0, 40.0, 300.0, 1e5}) {
        EXPECT_NEAR(coleColeRelaxation(1.0, s), std::exp(-s), 1e-7) << s;
        const double x = std::sqrt(s);
        const double half = s < 500.0 ? std::exp(x * x) * std::erfc(x) : (1.0 - 0.5 / s) / (x * std::sqrt(M_PI));
        EXPECT_NEAR(coleColeRelaxation(0.5, s), half, 1e-7) << s;
    }
    EXPECT_EQ(coleColeRelaxation(0.3, 0.0), 1.0);
}

TEST(ColeColeRelaxation, FallsSmoothlyForEveryExponent)
{
    for (double c = 0.05; c <= 1.0; c += 0.0125) {
        double before = 1.0;
        for (double v = -18.0; v < 16.0; v += 0.0173) {
            const double r = coleColeRelaxation(c, std::exp(v));
            ASSERT_LE(r, before + 1e-7) << "c " << c << " ln s " << v;
            ASSERT_GE(r, -1e-7) << "c " << c << " ln s " << v;
            before = r;
        }
    }
}

// A stacked half cycle of 2 s pulses sampled every 10 ms, Vp read over the pulse's second
// second, gates log-spaced from 10 ms to 1.9 s.
DecaySampling sampling(bool tapered)
{
    DecaySampling s;
    s.step_ms = 10.0;
    s.pulse = 200;
    s.on_first = 100;
    s.on_last = 200;
    const std::size_t bounds[] = {1, 2, 3, 5, 7, 10, 15, 22, 32, 46, 68, 100, 147, 190};
    for (std::size_t g = 0; g + 1 < std::size(bounds); ++g) s.gates.push_back({200 + bounds[g], 200 + bounds[g + 1], tapered});
    return s;
}

struct Planted {
    ColeColeParameters truth;
    bool tapered;
};

class ColeColeFitTest : public ::testing::TestWithParam<Planted> {};

TEST_P(ColeColeFitTest, RecoversWhatWasPlanted)
{
    const Planted planted = GetParam();
    const DecaySampling s = sampling(planted.tapered);
    std::vector<double> clean;
    coleColeGateValues(planted.truth, s, clean);
    // Noiseless: the model is found again, whatever the grid it started from.
    const ColeColeFit exact = fitColeCole(s, clean, {});
    ASSERT_TRUE(exact.ok) << exact.failure;
    EXPECT_NEAR(exact.parameters.m, planted.truth.m, 1e-4 * planted.truth.m);
    EXPECT_NEAR(exact.parameters.tau, planted.truth.tau, 1e-3 * planted.truth.tau);
    EXPECT_NEAR(exact.parameters.c, planted.truth.c, 1e-3);

    // With 1 % noise on every gate the truth lies within four of the fit's deviations, and the
    // deviations are those of a fit that is informative (m within 10 %).
    std::mt19937 random(7);
    std::normal_distribution<double> gauss;
    std::vector<double> noisy = clean, deviations(clean.size());
    for (std::size_t g = 0; g < clean.size(); ++g) {
        deviations[g] = 0.01 * std::abs(clean[g]) + 0.01;
        noisy[g] += deviations[g] * gauss(random);
    }
    const ColeColeFit fit = fitColeCole(s, noisy, deviations);
    ASSERT_TRUE(fit.ok) << fit.failure;
    EXPECT_LT(std::abs(fit.parameters.m - planted.truth.m), 4.0 * fit.m_deviation + 1e-9);
    EXPECT_LT(std::abs(fit.parameters.tau - planted.truth.tau), 4.0 * fit.tau_deviation + 1e-9);
    EXPECT_LT(std::abs(fit.parameters.c - planted.truth.c), 4.0 * fit.c_deviation + 1e-9);
    EXPECT_LT(fit.m_deviation, 0.1 * planted.truth.m);
    // The fit is the best: the truth, one point the search could have ended on, fits no
    // better, even where the best lies on a bound of the exponent (c = 1).
    double truth_misfit = 0.0;
    for (std::size_t g = 0; g < clean.size(); ++g) truth_misfit += std::pow((noisy[g] - clean[g]) / deviations[g], 2.0);
    EXPECT_LE(fit.misfit, std::sqrt(truth_misfit / static_cast<double>(clean.size())) + 1e-9);
    EXPECT_GT(fit.misfit, 0.3);
    EXPECT_LT(fit.misfit, 2.0);
}

INSTANTIATE_TEST_SUITE_P(Earths, ColeColeFitTest,
                         ::testing::Values(Planted{{0.1, 0.3, 0.5}, false}, Planted{{0.05, 0.05, 0.8}, true},
                                           Planted{{0.2, 1.5, 0.3}, false}, Planted{{0.3, 0.01, 1.0}, true},
                                           Planted{{0.08, 4.0, 0.6}, true}));

// Decays steeper than any Cole-Cole earth's (Debye decays after a charge-up that follows no
// model, with noise) are fitted best at the bound c = 1: the search must still find the best
// time constant along it, which a scan of time constants at c = 1 bounds.
TEST(ColeColeFit, ABestFitOnTheExponentsBoundIsFoundAlongIt)
{
    const DecaySampling s = sampling(false);
    std::mt19937 random(11);
    std::normal_distribution<double> gauss;
    std::size_t on_bound = 0;
    for (int reading = 0; reading < 12; ++reading) {
        std::vector<double> values, deviations;
        for (const DecayGate& g : s.gates) {
            double sum = 0.0;
            for (std::size_t k = g.first; k < g.last; ++k) sum += std::exp(-static_cast<double>(k - s.pulse) * s.step_ms / 450.0);
            const double value = 15.0 * sum / static_cast<double>(g.last - g.first);
            deviations.push_back(0.02 * value + 0.02);
            values.push_back(value + deviations.back() * gauss(random));
        }
        const ColeColeFit fit = fitColeCole(s, values, deviations);
        ASSERT_TRUE(fit.ok) << fit.failure;
        if (fit.parameters.c != 1.0) continue;
        ++on_bound;
        double best = std::numeric_limits<double>::infinity();
        std::vector<double> shape;
        for (double tau = 0.2; tau < 1.0; tau *= 1.0005) {
            coleColeGateValues({0.01, tau, 1.0}, s, shape);
            double sxy = 0.0, sxx = 0.0, cost = 0.0;
            for (std::size_t g = 0; g < shape.size(); ++g) {
                const double w = 1.0 / (deviations[g] * deviations[g]);
                sxy += w * shape[g] * values[g];
                sxx += w * shape[g] * shape[g];
            }
            for (std::size_t g = 0; g < shape.size(); ++g) cost += std::pow((values[g] - sxy / sxx * shape[g]) / deviations[g], 2.0);
            best = std::min(best, cost);
        }
        EXPECT_LE(fit.misfit * fit.misfit * static_cast<double>(values.size()), best * (1.0 + 1e-4)) << "reading " << reading;
    }
    EXPECT_GT(on_bound, 3u);
}

TEST(ColeColeFit, SaysWhyItFindsNoModel)
{
    const DecaySampling s = sampling(false);
    const std::vector<double> rising{-5, -4, -3, -2, -1, -0.5, -0.3, -0.2, -0.1, -0.05, -0.02, -0.01, -0.005};
    EXPECT_EQ(fitColeCole(s, rising, {}).failure, "the decay does not fall as a polarised earth's does");
    DecaySampling three = s;
    three.gates.resize(3);
    EXPECT_EQ(fitColeCole(three, std::vector<double>{3, 2, 1}, {}).failure, "a decay model needs four gates or more");
    std::vector<double> hole(s.gates.size(), 1.0);
    hole[4] = std::nan("");
    EXPECT_EQ(fitColeCole(s, hole, {}).failure, "a gate holds no value");
}

} // namespace
} // namespace ertkit
