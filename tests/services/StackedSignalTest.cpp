// The stacked signal a front end draws: the library's own for every real cycle, bounded for a
// pulse duration no meter gives.
#include <services/StackedSignal.h>
#include <services/WindowTimes.h>

#include "support/BinxRecordBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace ertkit;

namespace {

BINX_Data recordWithPulse(std::int32_t pulse_ms)
{
    BINX_Data record = ertkit_test::sampleBinxRecord(0);
    record.pulseDurationMs = pulse_ms;
    for (std::size_t i = 0; i < record.stackData.size(); ++i) record.stackData[i] = static_cast<float>((i * 37) % 101) - 50.0f;
    return record;
}

TEST(StackedSignal, ARealCycleIsTheLibrarysOwn)
{
    for (const std::int32_t pulse : {0, 250, 2000, 8000}) {
        const BINX_Data record = recordWithPulse(pulse);
        std::vector<double> library;
        record.fillStackData(true, library);
        const StackedSignal signal = stackedSignal(record);
        EXPECT_EQ(signal.values, library) << pulse;
        EXPECT_EQ(signal.step_ms, samplePeriodMs(record)) << pulse;
    }
}

TEST(StackedSignal, AnAbsurdPulseIsBoundedAndStillSpansItsCycle)
{
    // 2^30 ms: the library would spread the stack over hundreds of millions of values.
    const BINX_Data record = recordWithPulse(0x40000000);
    const double cycle_ms = samplePeriodMs(record) * static_cast<double>(record.getPeriod(true));
    const StackedSignal signal = stackedSignal(record);
    ASSERT_FALSE(signal.values.empty());
    EXPECT_LE(signal.values.size(), s_max_stack_points);
    EXPECT_NEAR(signal.step_ms * static_cast<double>(signal.values.size()), cycle_ms, cycle_ms * 1e-6);
    // The same stored samples, only spread over fewer values.
    const BINX_Data real = recordWithPulse(8000);
    std::vector<double> library;
    real.fillStackData(true, library);
    EXPECT_EQ(*std::max_element(signal.values.begin(), signal.values.end()), *std::max_element(library.begin(), library.end()));
    EXPECT_EQ(*std::min_element(signal.values.begin(), signal.values.end()), *std::min_element(library.begin(), library.end()));
    EXPECT_TRUE(stackedSignal(recordWithPulse(-0x40000000)).values.size() <= s_max_stack_points);
}

} // namespace
