// Quality control: each rule just inside and just outside its limit, the pairing of
// reciprocals, the error model against a known truth, and the settings' refusals.
#include <services/ErrorModel.h>
#include <services/QualityControl.h>
#include <services/ReciprocalPairs.h>
#include <services/WindowTimes.h>

#include <binx/BINX_Data.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <stdexcept>

using namespace ertkit;

namespace {

// A dipole-dipole reading (a = 5 m, n = 1) at x0 with three clean windows: K = -94.2 m,
// R = -0.4 ohm, rho_a = 37.7 ohm.m.
BINX_Data reading(double x0 = 0.0)
{
    BINX_Data r;
    const double x[4] = {x0, x0 + 5.0, x0 + 10.0, x0 + 15.0};
    for (int e = 0; e < 4; ++e) r.quadrupole.setXYZ(static_cast<ElectrodeName>(e), x[e], 0.0, 0.0);
    r.polarizationVoltage = -40.0;
    r.injectedCurrent = 100.0;
    r.polarizationVoltageDeviation = 0.5; // %
    r.ip = 10.0;
    r.setMppx({14.0, 10.0, 7.0});
    r.samplingRateCode = BINX_Data::SR_10MS;
    writeWindowTimes(r, {40.0, 80.0, 160.0, 320.0});
    r.ppsFlag1 = r.ppsFlag2 = 1;
    r.m_trigSyncChannel = 1;
    r.rsCheck = 2.0;
    return r;
}

QcReasons reasonsOf(const BINX_Data& r, const QcSettings& settings = {})
{
    std::vector<Result_Reader*> results{const_cast<BINX_Data*>(&r)};
    return runQualityControl(results, settings).readings.front().reasons;
}

TEST(QcRules, EachRuleJustInsideAndJustOutsideItsLimit)
{
    struct Case {
        const char* name;
        QcReason reason;
        std::function<void(BINX_Data&)> inside, outside;
    };
    const std::vector<Case> cases{
        {"current below the minimum", QcReason::Current, [](BINX_Data& r) { r.injectedCurrent = 1.01; }, [](BINX_Data& r) { r.injectedCurrent = 0.99; }},
        {"no current", QcReason::Current, [](BINX_Data& r) { r.injectedCurrent = 50.0; }, [](BINX_Data& r) { r.injectedCurrent = -5.0; }},
        {"Vp below the floor", QcReason::Voltage, [](BINX_Data& r) { r.polarizationVoltage = -0.101; r.polarizationVoltageDeviation = 1.0; },
         [](BINX_Data& r) { r.polarizationVoltage = -0.099; r.polarizationVoltageDeviation = 1.0; }},
        {"Vp within ten of its deviations", QcReason::Voltage, [](BINX_Data& r) { r.polarizationVoltage = -1.0; r.polarizationVoltageDeviation = 9.9; },
         [](BINX_Data& r) { r.polarizationVoltage = -1.0; r.polarizationVoltageDeviation = 10.1; }},
        {"stacking deviation", QcReason::Stack, [](BINX_Data& r) { r.polarizationVoltageDeviation = 1.99; }, [](BINX_Data& r) { r.polarizationVoltageDeviation = 2.01; }},
        {"|K| limit", QcReason::Geometry,
         // Dipole-dipole of a = n spacing s: |K| = 6 pi s, 18,850 m at 1,000 m and 20,735 m at 1,100 m.
         [](BINX_Data& r) { for (int e = 0; e < 4; ++e) r.quadrupole.setXYZ(static_cast<ElectrodeName>(e), e * 1000.0, 0, 0); },
         [](BINX_Data& r) { for (int e = 0; e < 4; ++e) r.quadrupole.setXYZ(static_cast<ElectrodeName>(e), e * 1100.0, 0, 0); }},
        {"K undefined", QcReason::Geometry, [](BINX_Data&) {}, [](BINX_Data& r) { r.quadrupole.setXYZ(ElectrodeName::M, 0.0, 0.0, 0.0); }},
        {"negative rho_a", QcReason::Negative, [](BINX_Data& r) { r.polarizationVoltage = -1e-3; }, [](BINX_Data& r) { r.polarizationVoltage = 40.0; }},
        {"M above the range", QcReason::Chargeability, [](BINX_Data& r) { r.ip = 499.0; r.setMppx({}); },
         [](BINX_Data& r) { r.ip = 501.0; r.setMppx({}); }},
        {"M below the range", QcReason::Chargeability, [](BINX_Data& r) { r.ip = 0.01; }, [](BINX_Data& r) { r.ip = -0.01; }},
        {"decay rising", QcReason::Decay, [](BINX_Data& r) { r.setMppx({14.0, 14.6, 7.0}); }, [](BINX_Data& r) { r.setMppx({14.0, 15.0, 7.0}); }},
        {"decay negative", QcReason::Decay, [](BINX_Data& r) { r.setMppx({14.0, 10.0, -0.6}); }, [](BINX_Data& r) { r.setMppx({14.0, 10.0, -0.8}); }},
        {"open line", QcReason::OpenLine, [](BINX_Data&) {}, [](BINX_Data& r) { r.setOpenLine(true); }},
        {"over-current", QcReason::OverCurrent, [](BINX_Data&) {}, [](BINX_Data& r) { r.setOverCurrent(true); }},
        {"overload", QcReason::Overload, [](BINX_Data&) {}, [](BINX_Data& r) { r.overload = 1; }},
        {"contact", QcReason::Contact, [](BINX_Data& r) { r.rsCheck = 10.0; }, [](BINX_Data& r) { r.rsCheck = 10.01; }},
        {"ignored", QcReason::Ignored, [](BINX_Data&) {}, [](BINX_Data& r) { r.ignore = 1; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BINX_Data in = reading(), out = reading();
        c.inside(in);
        c.outside(out);
        EXPECT_EQ(reasonsOf(in) & qcBit(c.reason), 0u) << qcReasonList(reasonsOf(in));
        EXPECT_NE(reasonsOf(out) & qcBit(c.reason), 0u) << qcReasonList(reasonsOf(out));
        QcSettings off;
        off.disable(qcReasonName(c.reason));
        EXPECT_EQ(reasonsOf(out, off) & qcBit(c.reason), 0u) << "switched off";
    }
    EXPECT_EQ(reasonsOf(reading()), 0u) << qcReasonList(reasonsOf(reading()));
}

TEST(QcRules, FlagsEveryReadingRaisesAreTakenAsNotRecorded)
{
    // A zeroed PPS or noise field reads as lost or noisy: when all readings say so, the file
    // does not record it; when only some do, they are rejected.
    std::vector<BINX_Data> records(3, reading());
    for (auto& r : records) r.ppsFlag1 = 0;
    records[1].m_trigSyncChannel = 0;
    std::vector<Result_Reader*> results;
    for (auto& r : records) results.push_back(&r);
    const QcResult result = runQualityControl(results, {});
    EXPECT_EQ(result.counts[static_cast<std::size_t>(QcReason::Pps)], 0u);
    EXPECT_EQ(result.readings[1].reasons, qcBit(QcReason::Noisy));
}

TEST(QcSettings, RefusesUnknownNamesBadNumbersAndLimitsOutOfRange)
{
    const std::vector<std::pair<std::string, std::string>> bad{
        {"stack", "abc"}, {"stack", "-1"}, {"stack", "0"}, {"stack", "nan"}, {"stack", "inf"}, {"stack", "0x10"}, {"stack", "5 "},
        {"stack", ""},    {"frobnicate", "1"}, {"negative", "1"}, {"tolerance", "-0.1"}, {"min_pairs", "1.5"}, {"chargeability_min", "600"},
    };
    for (const auto& [name, value] : bad) {
        QcSettings settings;
        EXPECT_THROW(settings.set(name, std::string_view(value)), std::invalid_argument) << name << "=" << value;
    }
    QcSettings settings;
    EXPECT_THROW(settings.disable("tolerance"), std::invalid_argument);
    settings.set("stack", std::string_view("5"));
    settings.set("chargeability", std::string_view("800"));
    EXPECT_EQ(settings.stack_percent, 5.0);
    EXPECT_EQ(settings.chargeability_max, 800.0);
}

// Readings of a quadrupole given as electrode positions along x.
Quadrupole quad(double a, double b, double m, double n)
{
    return {ElectrodePoint{a, 0, 0}, ElectrodePoint{b, 0, 0}, ElectrodePoint{m, 0, 0}, ElectrodePoint{n, 0, 0}};
}

TEST(ReciprocalPairs, MatchesInAnyOrderWithSwapsWithinToleranceAndRepeatsOnce)
{
    const std::vector<Quadrupole> readings{
        quad(0, 5, 10, 15),        // 0
        quad(20, 25, 30, 35),      // 1: its reciprocal comes first in the file
        quad(30, 35, 20, 25),      // 2: reciprocal of 1
        quad(15, 10.02, 0, 5),     // 3: reciprocal of 0, within tolerance, M/N swapped
        quad(40, 45, 50, 55),      // 4: no reciprocal (4's would be 50 55 40 45)
        quad(40, 45, 50, 55),      // 5: a repeat of 4
        quad(0, 5, 10, 15),        // 6: a repeat of 0, left over
        quad(60, 65, 70, 75),      // 7
        quad(70, 75, 60.2, 65),    // 8: beyond the tolerance of 7's reciprocal
    };
    const ReciprocalPairs pairs = pairReciprocals(readings, 0.05);
    const std::vector<std::optional<std::size_t>> expected{3, 2, 1, 0, std::nullopt, std::nullopt, 3, std::nullopt, std::nullopt};
    EXPECT_EQ(pairs.partner, expected);
    const std::vector<std::pair<std::size_t, std::size_t>> matched{{0, 3}, {1, 2}};
    EXPECT_EQ(pairs.pairs, matched);
}

TEST(ReciprocalRule, BothReadingsOfADisagreeingPairGetTheReason)
{
    for (const double ratio : {1.09, 1.11}) {
        BINX_Data normal = reading(), back = reading();
        // The reciprocal: M N A B with A and B swapped; R keeps its size, changes sign.
        const double x[4] = {15.0, 10.0, 0.0, 5.0};
        for (int e = 0; e < 4; ++e) back.quadrupole.setXYZ(static_cast<ElectrodeName>(e), x[e], 0.0, 0.0);
        back.polarizationVoltage = 40.0 * ratio;
        std::vector<Result_Reader*> results{&normal, &back};
        const QcResult result = runQualityControl(results, {});
        ASSERT_EQ(result.readings[0].reciprocal, std::optional<std::size_t>(1));
        const bool disagree = ratio > 1.1;
        for (const QcReading& r : result.readings) EXPECT_EQ((r.reasons & qcBit(QcReason::Reciprocal)) != 0, disagree) << ratio;
        EXPECT_NEAR(*result.readings[0].reciprocal_error, std::abs(ratio - 1.0) / (0.5 * (1.0 + ratio)), 1e-12);
    }
}

TEST(ErrorModel, RecoversAKnownModelAndIgnoresWildPairs)
{
    struct Case {
        double a, b;
        std::size_t pairs;
        double wild_share;
    };
    for (const Case& c : {Case{0.001, 0.02, 400, 0.0}, Case{0.0, 0.05, 400, 0.05}, Case{0.01, 0.01, 2000, 0.02}}) {
        std::mt19937 random(7);
        std::normal_distribution<double> normal(0.0, 1.0);
        std::uniform_real_distribution<double> level(-3.0, 1.0);
        std::vector<double> levels, differences;
        for (std::size_t i = 0; i < c.pairs; ++i) {
            const double r = std::pow(10.0, level(random));
            const double sigma = c.a + c.b * r;
            double r1 = r + sigma * normal(random), r2 = r + sigma * normal(random);
            if (i < c.wild_share * static_cast<double>(c.pairs)) r2 *= 3.0;
            levels.push_back(0.5 * (std::abs(r1) + std::abs(r2)));
            differences.push_back(std::abs(r1) - std::abs(r2));
        }
        const LinearErrorModel model = fitErrorModel(levels, differences, 10);
        ASSERT_TRUE(model.fitted);
        EXPECT_NEAR(model.b, c.b, 0.15 * c.b) << c.a << " " << c.b;
        EXPECT_NEAR(model.a, c.a, 0.3 * c.a + 2e-4) << c.a << " " << c.b;
        EXPECT_EQ(model.pairs, c.pairs);
    }
    EXPECT_FALSE(fitErrorModel({1.0, 2.0}, {0.1, 0.2}, 10).fitted);
}

TEST(ErrorModel, GivesEveryReadingAnErrorNeverBelowTheFloor)
{
    QcModel model;
    model.source = ErrorSource::Reciprocals;
    model.resistance.fitted = true;
    model.resistance.a = 0.001;
    model.resistance.b = 0.03;
    ResultValues v;
    v.resistance = 0.01; // a / R dominates: 13 %
    QcReading reading;
    applyErrorModel(model, v, reading);
    EXPECT_NEAR(*reading.err, 0.13, 1e-12);
    v.resistance = -100.0;
    model.resistance.b = 0.005; // below the floor
    applyErrorModel(model, v, reading);
    EXPECT_DOUBLE_EQ(*reading.err, 0.02);
    model.source = ErrorSource::Stack; // the stacking deviation, floored
    v.vp = -10.0;
    v.vp_error = 0.5;
    applyErrorModel(model, v, reading);
    EXPECT_DOUBLE_EQ(*reading.err, 0.05);
    v.vp_error = 0.01;
    applyErrorModel(model, v, reading);
    EXPECT_DOUBLE_EQ(*reading.err, 0.02);
}

} // namespace
