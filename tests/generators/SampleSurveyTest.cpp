#include <generators/SampleSurvey.h>

#include <gtest/gtest.h>

#include <cmath>

using namespace ertkit;
using namespace ertkit::generators;

namespace {

TEST(SampleSurvey, ReadingsFollowTheLayeredEarth)
{
    const SampleSurvey survey(1);
    // Tiny spacings see the cover (147 ohm.m at 60 m), huge ones the 400 ohm.m basement.
    const Quadrupole tiny{ElectrodePoint{59.9, 0, 0}, ElectrodePoint{60.2, 0, 0}, ElectrodePoint{60.0, 0, 0}, ElectrodePoint{60.1, 0, 0}};
    EXPECT_NEAR(survey.modelRhoa(tiny, false), 60.0 + 90.0 / (1.0 + std::exp(-20.0 / 6.0)), 0.5);
    const Quadrupole huge{ElectrodePoint{-3000, 0, 0}, ElectrodePoint{3000, 0, 0}, ElectrodePoint{-1000, 0, 0}, ElectrodePoint{1000, 0, 0}};
    EXPECT_NEAR(survey.modelRhoa(huge, false), 400.0, 2.0);
    int ignored = 0;
    for (const auto& m : survey.measures()) {
        const auto& injection = survey.injections()[m.injection];
        ignored += m.ignore ? 1 : 0;
        // The spike burst is what the robust stacks are for; the meter took it in.
        if (injection.spikes) {
            EXPECT_GT(std::abs(m.vp - m.clean_vp), 5.0 * m.noise);
            continue;
        }
        EXPECT_EQ(m.vp, m.clean_vp);
        // Vp carries 0.4 % noise on the model: K * Vp / I gives rho_a back within 2 %.
        EXPECT_NEAR(*geometricFactor(m.positions) * m.vp / injection.current, m.rhoa, 0.02 * m.rhoa);
        EXPECT_GT(m.vp, 0.0);
        EXPECT_GT(m.m, 1.0);
        EXPECT_LT(m.m, 80.0);
        EXPECT_GT(m.window_m.front(), m.window_m.back()) << "chargeability decays";
    }
    EXPECT_EQ(ignored, 2);
}

TEST(SampleSurvey, SignalsAndStackAgree)
{
    const SampleSurvey survey(3);
    const auto& m = survey.measures()[10];
    ASSERT_EQ(m.stack.size(), 400u);
    EXPECT_EQ(m.stacks, 4u);
    // Late in the pulse the stack is Vp; the recorded full wave is Vp plus SP, and the
    // negative pulse half a cycle later is -Vp plus SP.
    EXPECT_NEAR(m.stack[199], m.vp, 5 * m.noise + 0.01 * m.vp);
    EXPECT_NEAR(survey.voltage(m, 199), m.vp + m.sp, 5 * m.noise + 0.01 * m.vp);
    EXPECT_NEAR(survey.voltage(m, 599), -m.vp + m.sp, 5 * m.noise + 0.01 * m.vp);
    // The decay after the switch-off is what the windows' chargeabilities say: its mean over
    // all windows (40 to 1280 ms, samples 204 to 327 of the stack) is M times Vp.
    double off = 0.0;
    for (std::size_t i = 204; i < 328; ++i) off += m.stack[i];
    EXPECT_NEAR(1000.0 * off / 124 / m.vp, m.m, 1e-6 * m.m); // the stack is kept in single precision
    // And the model's: the decay's mean over those windows.
    const double tau = SampleSurvey::s_decay_ms;
    EXPECT_NEAR(m.m, 1000.0 * m.decay * tau * (std::exp(-40.0 / tau) - std::exp(-1280.0 / tau)) / 1240.0, 0.05 * m.m);
    const auto& injection = survey.injections()[m.injection];
    EXPECT_NEAR(injection.current, injection.level, 0.001 * injection.level);
    EXPECT_NEAR(survey.current(injection, 100), injection.level, 0.01 * injection.level);
    EXPECT_NEAR(survey.current(injection, 300), 0.0, 0.2);
    EXPECT_NEAR(survey.current(injection, 500), -injection.level, 0.01 * injection.level);
    // The spiked injection drives its receiver beyond its range once, in its third half
    // cycle, which the meter leaves out; its burst within range it cannot tell from signal.
    const auto& spiked = survey.measures()[survey.injections()[2].measures.front()];
    EXPECT_TRUE(spiked.overloaded);
    EXPECT_EQ(spiked.stacks, 3u);
    EXPECT_GT(survey.voltage(spiked, 1111), 15000.0f);
    EXPECT_TRUE(survey.overloaded(survey.injections()[2], 1111));
    EXPECT_LT(std::abs(survey.voltage(spiked, 152)), 15000.0f);
    EXPECT_GT(survey.voltage(spiked, 152) - survey.voltage(spiked, 152, false), 300.0f);
}

} // namespace
