// What a record shows: its values, window bounds written and read back, and the table columns.
#include <services/ResultColumns.h>
#include <services/WindowTimes.h>

#include <binx/BINX_Data.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <stdexcept>

using namespace ertkit;

namespace {

// A Wenner record (a = 5 m) with three windows, read at 10 ms samples.
BINX_Data wennerRecord()
{
    BINX_Data r;
    const double x[4] = {0.0, 15.0, 5.0, 10.0};
    for (int e = 0; e < 4; ++e) r.quadrupole.setXYZ(static_cast<ElectrodeName>(e), x[e], 0.0, 0.0);
    r.polarizationVoltage = -40.0;
    r.injectedCurrent = 100.0;
    r.ip = 8.0;
    r.setMppx({12.0, 9.0, 6.5});
    r.samplingRateCode = BINX_Data::SR_10MS;
    writeWindowTimes(r, {20.0, 40.0, 80.0, 160.0});
    r.nStack = 6;
    r.serialNumberV = 4000;
    return r;
}

TEST(WindowTimes, WrittenInSamplesOfTheRecordsPeriodAndReadBackInMs)
{
    struct Case {
        BINX_Data::SamplingRate rate;
        std::vector<double> written, read;
    };
    const Case cases[] = {
        {BINX_Data::SR_10MS, {40, 60, 80, 120}, {40, 60, 80, 120}},
        {BINX_Data::SR_20MS, {40, 100, 181}, {40, 100, 180}}, // to whole samples
        {BINX_Data::SR_1MS, {0.4, 2.6}, {0, 3}},
        {BINX_Data::SR_1S, {2000}, {2000}}, // a delay and no window
    };
    for (const Case& c : cases) {
        BINX_Data r;
        r.samplingRateCode = c.rate;
        writeWindowTimes(r, c.written);
        std::vector<double> read;
        readWindowTimes(r, read);
        EXPECT_EQ(read, c.read) << c.written.front();
        EXPECT_EQ(r.nTM, c.written.size() - 1);
    }
    // The record stores tenths of a sample: 40 ms at 10 ms is 40.
    const BINX_Data r = wennerRecord();
    EXPECT_EQ(r.tmDelay, 20);
    EXPECT_EQ(r.tm[2], 80);
}

TEST(WindowTimes, RefusedBoundsLeaveTheRecordAsItWas)
{
    struct Case {
        std::vector<double> times;
        std::uint32_t rate;
        const char* message;
    };
    const Case cases[] = {
        {{}, BINX_Data::SR_10MS, "window_times: t0 and the end of each window, at most 20 windows"},
        {std::vector<double>(22, 10.0), BINX_Data::SR_10MS, "window_times: t0 and the end of each window, at most 20 windows"},
        {{10, -5}, BINX_Data::SR_10MS, "window_times out of range"},
        {{10, NAN}, BINX_Data::SR_10MS, "window_times out of range"},
        {{40, 30}, BINX_Data::SR_10MS, "window_times must not decrease"},
        {{0, 3e9}, BINX_Data::SR_10MS, "window time too large for a BINX record"},
        {{0, 10}, 14, "invalid sampling rate"},
    };
    for (const Case& c : cases) {
        BINX_Data r = wennerRecord();
        r.samplingRateCode = c.rate;
        EXPECT_EQ(ertkit_test::failure<std::invalid_argument>([&] { writeWindowTimes(r, c.times); }), c.message);
        EXPECT_EQ(r.tmDelay, 20) << c.message;
        EXPECT_EQ(r.tm[2], 80) << c.message;
        EXPECT_EQ(r.nTM, 3u) << c.message;
    }
}

TEST(ResultValues, ResistanceFactorAndApparentResistivity)
{
    BINX_Data r = wennerRecord();
    ResultValues v = resultValues(r);
    EXPECT_DOUBLE_EQ(*v.resistance, -0.4);
    EXPECT_NEAR(*v.k, 2 * std::numbers::pi * 5, 1e-12);
    EXPECT_NEAR(*v.rhoa, -0.4 * 2 * std::numbers::pi * 5, 1e-12);
    EXPECT_EQ(v.window_m, (std::vector<double>{12.0, 9.0, 6.5}));
    EXPECT_EQ(v.window_times, (std::vector<double>{20.0, 40.0, 80.0, 160.0}));
    EXPECT_EQ(windowCount(v), 3u);
    EXPECT_EQ(v.stacks, 6u);
    const auto decay = decayCurve(v);
    ASSERT_EQ(decay.size(), 3u);
    EXPECT_DOUBLE_EQ(decay[1].time_ms, 60.0);
    EXPECT_DOUBLE_EQ(decay[1].m, 9.0);

    // Without current there is no R, and so no rho_a; with A on M no K either.
    r.injectedCurrent = 0.0;
    r.quadrupole.setXYZ(ElectrodeName::M, 0.0, 0.0, 0.0);
    v = resultValues(r);
    EXPECT_FALSE(v.resistance);
    EXPECT_FALSE(v.k);
    EXPECT_FALSE(v.rhoa);
}

TEST(ResultColumns, OrderUnitsAndValues)
{
    const auto columns = resultColumns(2);
    std::string names, units;
    for (const ResultColumn& c : columns) names += c.name + " ", units += c.unit + "|";
    EXPECT_EQ(names, "index ax ay az bx by bz mx my mz nx ny nz vp_mV i_mA r_ohm k_m rhoa_ohm_m m_mV_V sp_mV vp_error_mV m_error stacks "
                     "start_time ignore valid serial_v user_serial_v serial_i user_serial_i t0_ms m1_mV_V m2_mV_V t1_ms t2_ms ");
    EXPECT_EQ(units, "|m|m|m|m|m|m|m|m|m|m|m|m|mV|mA|ohm|m|ohm.m|mV/V|mV|mV|mV/V|||||||||ms|mV/V|mV/V|ms|ms|");

    BINX_Data r = wennerRecord();
    r.injectedCurrent = 0.0;
    const ResultRow row{7, resultValues(r)};
    const auto cell = [&](const std::string& name) {
        for (const ResultColumn& c : columns)
            if (c.name == name) return c;
        throw std::out_of_range(name);
    };
    EXPECT_EQ(cell("index").whole(row), 7);
    EXPECT_EQ(cell("bx").real(row), 15.0);
    EXPECT_NEAR(*cell("k_m").real(row), 2 * std::numbers::pi * 5, 1e-12);
    EXPECT_FALSE(cell("r_ohm").real(row)) << "undefined without current";
    EXPECT_FALSE(cell("rhoa_ohm_m").real(row));
    EXPECT_EQ(cell("m2_mV_V").real(row), 9.0);
    EXPECT_EQ(cell("t2_ms").real(row), 80.0);
    EXPECT_EQ(cell("serial_v").whole(row), 4000);
    EXPECT_EQ(cell("ignore").type, ColumnType::Flag);
    EXPECT_EQ(cell("start_time").type, ColumnType::Time);
    EXPECT_EQ(cell("valid").whole(row), 0) << "no rho_a without current";
    BINX_Data timed = wennerRecord();
    timed.startTimeV = 45091.5;
    const ResultRow measured{8, resultValues(timed)};
    EXPECT_EQ(cell("valid").whole(measured), 1);
    EXPECT_TRUE(cell("start_time").time(measured));
    EXPECT_FALSE(cell("start_time").time(row)) << "a date-time number of 0 is no time";
    // Likewise a Vp deviation of 0: none recorded (a download's, when the meter sent that of M).
    BINX_Data downloaded = wennerRecord();
    downloaded.polarizationVoltageDeviation = 0.0;
    downloaded.ipDeviation = 0.25;
    EXPECT_FALSE(cell("vp_error_mV").real({9, resultValues(downloaded)}));
    downloaded.polarizationVoltageDeviation = 0.5;
    EXPECT_GT(cell("vp_error_mV").real({9, resultValues(downloaded)}).value_or(0.0), 0.0);
    // A table wider than the record's windows leaves the extra cells undefined.
    const auto wide = resultColumns(5);
    EXPECT_FALSE(wide[wide.size() - 1].real(row));
    EXPECT_EQ(wide.size(), columns.size() + 6);
}

} // namespace
