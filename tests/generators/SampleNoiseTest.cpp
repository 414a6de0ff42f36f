// The noisy Cole-Cole sample survey: its truth is what the meter finds without noise, and
// each disturbance is there at the level asked for.
#include <generators/SampleFiles.h>
#include <generators/SampleTruth.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <tuple>

using namespace ertkit;
using namespace ertkit::generators;

namespace {

SampleNoise quiet()
{
    return parseSampleNoise("level=0,spikes=0,drift=0,mains=0");
}

// What the recording holds at sample k beyond the model's signal and the settled self potential.
double residual(const SampleSurvey& survey, const SampleSurvey::Measure& m, std::uint32_t k)
{
    return survey.voltage(m, k) - survey.cleanSignal(m, k) - m.sp;
}

TEST(SampleNoise, SettingsParse)
{
    const SampleNoise some = parseSampleNoise("level=0.5,spikes=3,drift=30,mains=3,hz=60,cycles=6");
    EXPECT_EQ(std::tuple(some.level_mV, some.spikes_per_start, some.drift_mV, some.mains_mV, some.mains_hz, some.cycles),
              std::tuple(0.5, 3.0, 30.0, 3.0, 60.0, 6));
    EXPECT_EQ(parseSampleNoise("mains=0").level_mV, SampleNoise{}.level_mV) << "unnamed keys keep their defaults";
    for (const char* bad : {"level", "level=", "level=x", "level=-0.1", "loudness=1", "cycles=0", "cycles=1.5", "hz=0", "level=inf", "level=1,,hz=5"})
        EXPECT_THROW(parseSampleNoise(bad), std::invalid_argument) << bad;
}

TEST(SampleNoise, NoiselessSurveyMeterFindsTheTruth)
{
    const SampleSurvey survey(5, 16, 5.0, quiet());
    double tau_min = 10.0, tau_max = 0.0, c_min = 1.0, c_max = 0.0;
    for (std::size_t i = 0; i < survey.measures().size(); ++i) {
        const auto& m = survey.measures()[i];
        const DecayTruth truth = decayTruth(survey, i);
        EXPECT_EQ(m.stacks, 8u);
        EXPECT_FALSE(m.overloaded);
        EXPECT_NEAR(m.vp, truth.vp, 1e-6 * std::abs(truth.vp)) << i;
        EXPECT_NEAR(m.m, truth.m, 1e-4 + 1e-5 * truth.m) << i;
        for (std::size_t w = 0; w < truth.window_m.size(); ++w) EXPECT_NEAR(m.window_m[w], truth.window_m[w], 1e-4 + 1e-5 * truth.window_m[w]) << i;
        ASSERT_EQ(m.stack.size(), m.clean_stack.size());
        for (std::size_t k = 0; k < m.stack.size(); ++k) ASSERT_NEAR(m.stack[k], m.clean_stack[k], 1e-5 * std::abs(m.vp)) << i << " " << k;
        tau_min = std::min(tau_min, m.cole_cole.tau);
        tau_max = std::max(tau_max, m.cole_cole.tau);
        c_min = std::min(c_min, m.cole_cole.c);
        c_max = std::max(c_max, m.cole_cole.c);
        EXPECT_EQ(m.cole_cole.m, m.decay);
    }
    // The line spans most of the model's range of time constants and exponents.
    EXPECT_LT(tau_min, 0.1);
    EXPECT_GT(tau_max, 1.0);
    EXPECT_LT(c_min, 0.35);
    EXPECT_GT(c_max, 0.65);
}

TEST(SampleNoise, EachDisturbanceAtItsLevel)
{
    // Gaussian noise: the spread about the model is the reading's noise, level plus its share
    // of the signal.
    {
        SampleNoise noise = quiet();
        noise.level_mV = 0.5;
        const SampleSurvey survey(2, 16, 5.0, noise);
        for (const std::size_t i : {0u, 40u, 80u}) {
            const auto& m = survey.measures()[i];
            double sum = 0.0, squares = 0.0;
            for (std::uint32_t k = 0; k < survey.sampleCount(); ++k) {
                const double r = residual(survey, m, k);
                sum += r;
                squares += r * r;
            }
            const double n = survey.sampleCount(), spread = std::sqrt(squares / n - (sum / n) * (sum / n));
            EXPECT_GE(m.noise, 0.5);
            EXPECT_NEAR(spread, m.noise, 0.05 * m.noise) << i;
        }
    }
    // Spikes: Poisson in number per injection, on the recording where they were planted, at
    // 20 to 200 times the noise level, within range.
    {
        SampleNoise noise = quiet();
        noise.spikes_per_start = 3.0;
        noise.level_mV = 1.0;
        const SampleSurvey survey(2, 16, 5.0, noise);
        std::size_t spikes = 0;
        for (const auto& injection : survey.injections()) {
            for (const auto& spike : injection.noise_spikes) {
                const auto& m = survey.measures()[injection.measures[spike.channel]];
                EXPECT_GE(std::abs(spike.mV), 20.0);
                EXPECT_LE(std::abs(spike.mV), 200.0);
                EXPECT_NEAR(residual(survey, m, spike.sample), spike.mV, 8.0 * m.noise);
                EXPECT_FALSE(survey.overloaded(injection, spike.sample));
            }
            spikes += injection.noise_spikes.size();
        }
        const double expected = 3.0 * static_cast<double>(survey.injections().size());
        EXPECT_NEAR(static_cast<double>(spikes), expected, 4.0 * std::sqrt(expected));
    }
    // Drift: a relaxation of half to the whole setting at the start, then a quadratic; no
    // straight line, which the meter's linear drift would take out.
    {
        SampleNoise noise = quiet();
        noise.drift_mV = 30.0;
        const SampleSurvey survey(2, 16, 5.0, noise);
        const std::uint32_t last = survey.sampleCount() - 1, middle = last / 2;
        std::size_t signs = 0;
        for (const auto& m : survey.measures()) {
            const double start = residual(survey, m, 0), mid = residual(survey, m, middle), end = residual(survey, m, last);
            EXPECT_GE(std::abs(start), 15.0 - 1e-3);
            EXPECT_LE(std::abs(start), 30.0 + 1e-3);
            EXPECT_GT(std::abs(mid - 0.5 * (start + end)), 1.0) << "not a straight line";
            signs += start > 0.0 ? 1 : 0;
        }
        EXPECT_GT(signs, 10u);
        EXPECT_LT(signs, survey.measures().size() - 10);
    }
    // Mains at 50 Hz sampled every 10 ms: each sample is the last negated (aliased to the
    // Nyquist rate), at a size set by the injection's phase, never above 1.3 times the setting.
    {
        SampleNoise noise = quiet();
        noise.mains_mV = 3.0;
        const SampleSurvey survey(2, 16, 5.0, noise);
        double largest = 0.0;
        for (const auto& m : survey.measures()) {
            const double first = residual(survey, m, 0);
            largest = std::max(largest, std::abs(first));
            for (std::uint32_t k = 1; k < survey.sampleCount(); k += 97) ASSERT_NEAR(residual(survey, m, k), (k % 2 == 0 ? 1 : -1) * first, 1e-3);
        }
        EXPECT_GT(largest, 1.5);
        EXPECT_LE(largest, 3.0 * 1.3 + 1e-3);
    }
}

TEST(SampleNoise, FilesAndTruthFollowTheSeed)
{
    ertkit_test::TempDir dir;
    DummyProgressCallback progress;
    const SampleNoise noise = parseSampleNoise("level=0.4,cycles=3");
    const SampleSurvey survey(4, 16, 5.0, noise);
    const SampleFiles a = writeSampleFiles(survey, dir.path() / "a", progress);
    writeSampleFiles(SampleSurvey(4, 16, 5.0, noise), dir.path() / "b", progress);
    writeSampleFiles(SampleSurvey(5, 16, 5.0, noise), dir.path() / "c", progress);
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "a")) {
        const auto name = entry.path().filename();
        EXPECT_EQ(ertkit_test::readText(entry.path()), ertkit_test::readText(dir.path() / "b" / name)) << name;
        if (name != "line1-reciprocal-truth.csv") {
            EXPECT_NE(ertkit_test::readText(entry.path()), ertkit_test::readText(dir.path() / "c" / name)) << name;
        }
        ++files;
    }
    EXPECT_EQ(files, 11u);
    // One row per BINX record, in its order; numbers written to round trip.
    std::istringstream truth(ertkit_test::readText(dir.path() / "a" / a.decay_truth));
    std::string line;
    std::getline(truth, line);
    EXPECT_EQ(line, "index,m,tau_s,c,vp_mV,m_mVV,window_1,window_2,window_3,window_4,window_5,window_6,window_7,window_8,window_9,window_10");
    for (std::size_t row = 0; std::getline(truth, line); ++row) {
        ASSERT_LT(row, survey.measures().size());
        std::istringstream fields(line);
        std::vector<double> values;
        for (std::string field; std::getline(fields, field, ',');) values.push_back(std::stod(field));
        ASSERT_EQ(values.size(), 16u);
        EXPECT_EQ(values[0], static_cast<double>(row));
        EXPECT_EQ(values[2], survey.measures()[row].cole_cole.tau);
        EXPECT_EQ(values[15], decayTruth(survey, row).window_m.back());
    }
    // The header and a row per record, each of the index and 400 samples.
    const std::string stacks = ertkit_test::readText(dir.path() / "a" / a.clean_stacks);
    EXPECT_TRUE(stacks.starts_with("index,sample_0,"));
    EXPECT_EQ(std::count(stacks.begin(), stacks.end(), '\n'), static_cast<std::ptrdiff_t>(survey.measures().size() + 1));
    EXPECT_EQ(std::count(stacks.begin(), stacks.end(), ','), 400 * static_cast<std::ptrdiff_t>(survey.measures().size() + 1));
    EXPECT_NE(ertkit_test::readText(dir.path() / "a" / a.noise).find("\"cycles\": 3"), std::string::npos);
}

} // namespace
