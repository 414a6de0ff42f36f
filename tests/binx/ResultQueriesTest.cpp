#include "BinxTestHelpers.h"

#include <binx/BINX_Data.h>

#include <host/MessageException.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using binx_test::failure;

namespace {

const HighPrecisionTime ms = HighPrecisionTime::s_millisecond;

BINX_Data stackRecord(std::int32_t pulse_ms, std::uint32_t rate, double vp, std::uint8_t computation = 0)
{
    BINX_Data d;
    d.injectionCode = 1; // full duty cycle: factor 2
    d.pulseDurationMs = pulse_ms;
    d.samplingRateCode = rate;
    d.polarizationVoltage = vp;
    d.computationType = computation;
    for (std::size_t i = 0; i < d.stackData.size(); ++i) d.stackData[i] = static_cast<float>(i + 1);
    return d;
}

} // namespace

TEST(BinxQueries, SamplePeriodTable)
{
    const std::pair<std::uint32_t, HighPrecisionTime> table[] = {
        {0, ms * 10},   {1, ms * 10000}, {2, ms * 5000}, {3, ms * 2000}, {4, ms * 1000}, {5, ms * 500}, {6, ms * 200},
        {7, ms * 100}, {8, ms * 50},     {9, ms * 20},   {10, ms * 10},  {11, ms * 5},   {12, ms * 2},  {13, ms * 1}};
    BINX_Data d;
    for (const auto& [code, period] : table) {
        d.samplingRateCode = code;
        EXPECT_EQ(d.getSampleTime(true), period) << code;
        if (code != 0) {
            EXPECT_EQ(BINX_Data::getSamplingRate(period), static_cast<BINX_Data::SamplingRate>(code));
        }
    }
    d.samplingRateCode = 14;
    EXPECT_EQ(failure<MessageException>([&] { d.getSampleTime(false); }), "invalid sampling rate");
    EXPECT_EQ(failure([] { BINX_Data::getSamplingRate(ms * 3); }), "invalid sampling rate");
    EXPECT_EQ(failure([&] { d.getVEnd(); }), "invalid sampling rate");
    std::vector<double> out;
    EXPECT_EQ(failure([&] { d.fillStackData(false, out); }), "invalid sampling rate");
}

TEST(BinxQueries, StackSizeUsesTheDutyCycleFactor)
{
    BINX_Data d = stackRecord(2000, 10, 1.0);
    EXPECT_EQ(d.getPeriod(true), 400u);
    d.injectionCode = 0; // half duty cycle: factor 4
    EXPECT_EQ(d.getPeriod(false), 800u);
    d.samplingRateCode = 13;
    EXPECT_EQ(d.getPeriod(true), 8000u);
    EXPECT_EQ(d.getVEnd(), 2000u); // 2 s of the 8-second cycle at 1 ms
}

TEST(BinxQueries, StackDataSignFollowsVpUnlessComputed)
{
    // Vp, computation type, sign of the first half
    for (const auto& [vp, computation, first] : {std::tuple{1.0, 0, 1.0}, {0.0, 0, -1.0}, {-2.0, 0, -1.0}, {-2.0, 3, 1.0}}) {
        std::vector<double> out;
        stackRecord(2000, 10, vp, static_cast<std::uint8_t>(computation)).fillStackData(true, out);
        EXPECT_DOUBLE_EQ(out[0], first / 1000) << vp << " " << computation;
        EXPECT_DOUBLE_EQ(out[200], -first / 1000);
    }
    // The stack is the voltage side's, without errors: the other side and the errors are zeros.
    const BINX_Data d = stackRecord(2000, 10, 1.0);
    std::vector<double> none;
    d.fillStackData(false, none);
    EXPECT_EQ(none, std::vector<double>(400, 0.0));
    d.fillStackError(true, none);
    EXPECT_EQ(none, std::vector<double>(400, 0.0));
}

TEST(BinxQueries, StackDataDecimation)
{
    // n = F * pulse / period with F = 2; d from n; stackData[k] = k + 1.
    struct Case {
        std::int32_t pulse;
        std::uint32_t rate;
        std::size_t n;
        unsigned d;
    };
    const Case cases[] = {
        {800, 13, 1600, 1},
        {1600, 13, 3200, 2},
        {2500, 13, 5000, 4},
        {801, 13, 1602, 2},
        // Walks whose last steps would land one past the 800 stored samples
        // (n in [1600 d + 2, 1601 d - 1]); 6400 is the last n of d = 4 that stays inside.
        {3200, 13, 6400, 4},
        {3201, 13, 6402, 4},
        {6403, 12, 6403, 4}, // 2 ms: odd n
        {6403, 13, 12806, 8},
    };
    for (const Case& c : cases) {
        BINX_Data record = stackRecord(c.pulse, c.rate, 1.0);
        record.stackMin = 0x3F800000; // 1.0f right after the samples: a read past them would give 0.001
        std::vector<double> out;
        record.fillStackData(true, out);
        ASSERT_EQ(out.size(), c.n);
        const std::size_t h = c.n / 2;
        for (std::size_t i = 0; i < h; ++i) {
            const std::size_t k = std::min<std::size_t>(i / c.d, 799);
            const std::size_t j = i % c.d;
            // Interpolation between neighbours, except at the last stored sample, which is held.
            const double expected = k + 1 < 800 ? ((k + 1.0) * (c.d - j) + (k + 2.0) * j) / c.d : k + 1.0;
            ASSERT_DOUBLE_EQ(out[i], expected / 1000) << c.n << " at " << i;
            ASSERT_DOUBLE_EQ(out[i + h], -expected / 1000) << c.n << " at " << i + h;
        }
        if (c.n % 2 != 0) {
            EXPECT_EQ(out[c.n - 1], 0.0) << c.n;
        }
    }
    std::vector<double> odd;
    stackRecord(1, 5, 1.0).fillStackData(true, odd); // 2 ms at 500 ms: no sample
    EXPECT_TRUE(odd.empty());
}

TEST(BinxQueries, StackSampleIndexes)
{
    BINX_Data d = stackRecord(2000, 10, 1.0);
    d.nStack = 4;
    std::vector<std::pair<std::uint64_t, StackPhase>> out;
    d.fillStackSampleIndexes(true, out);
    ASSERT_EQ(out.size(), 6u);
    for (std::size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(out[i].first, i * 200);
        EXPECT_EQ(out[i].second, i % 2 == 0 ? StackPhase::Positive : StackPhase::Negative);
    }
    d.polarizationVoltage = -1;
    d.fillStackSampleIndexes(false, out);
    ASSERT_EQ(out.size(), 6u);
    EXPECT_EQ(out[0], (std::pair<std::uint64_t, StackPhase>{0, StackPhase::Negative}));
    EXPECT_EQ(out[5], (std::pair<std::uint64_t, StackPhase>{0, StackPhase::Positive}));

    d.samplingRateCode = 99; // unknown period: the half cycle comes from the pulse alone
    EXPECT_NO_THROW(d.fillStackSampleIndexes(false, out));
    d.fillStackSampleIndexes(true, out);
    EXPECT_EQ(out[1].first, 400u); // 2000 * 4 / 10 / 2
    EXPECT_EQ(out[5].first, 2000u);
}

TEST(BinxQueries, WindowsAndChargeability)
{
    BINX_Data d;
    d.tmDelay = 205;
    d.tm = {100, 209, 31};
    d.mppx = {10, 20, 30, 40};
    d.ip = 12.5;
    d.ipDeviation = 2;
    std::vector<std::uint64_t> tm;
    std::vector<double> m;
    d.fillTM(tm);
    EXPECT_EQ(tm, std::vector<std::uint64_t>{20});
    d.fillMIp(false, false, m);
    EXPECT_TRUE(m.empty());
    d.fillMIpError(true, true, m);
    EXPECT_TRUE(m.empty());

    d.nTM = 3;
    d.fillTM(tm);
    EXPECT_EQ(tm, (std::vector<std::uint64_t>{20, 30, 50, 53}));
    struct Case {
        std::uint8_t injection;
        bool second;
        bool answers;
    };
    for (const Case& c : {Case{1, true, true}, Case{1, false, false}, Case{2, false, true}, Case{2, true, false}, Case{9, false, true}}) {
        d.injectionCode = c.injection;
        EXPECT_EQ(d.getIp(true, c.second), c.answers ? 0.0125 : 0.0);
        EXPECT_DOUBLE_EQ(d.getIpError(false, c.second), c.answers ? 2 * std::sqrt(2.0) : 0.0);
        d.fillMIp(false, c.second, m);
        EXPECT_EQ(m, (c.answers ? std::vector<double>{0.01, 0.02, 0.03} : std::vector<double>(3, 0.0)));
        d.fillMIpError(false, c.second, m);
        EXPECT_EQ(m, std::vector<double>(3, 0.0));
    }
    d.ip = 9999;
    EXPECT_TRUE(d.getIgnoreM());
}

TEST(BinxQueries, DeviceType)
{
    const std::pair<std::int16_t, int> table[] = {{-9, 9},  {-5, 13}, {-1, 17}, {0, 0},  {1, 18}, {2, 18}, {3, 18}, {4, 6},
                                                  {5, 0},   {6, 5},   {8, 20},  {9, 21}, {10, 22}, {11, 0}, {-10, 0}};
    BINX_Data d;
    for (const auto& [code, type] : table) {
        d.deviceCode = code;
        EXPECT_EQ(d.getType(true), static_cast<DeviceType_t>(type)) << code;
        EXPECT_EQ(d.getType(false), static_cast<DeviceType_t>(type)) << code;
    }
    d.deviceCode = 7;
    EXPECT_EQ(d.getType(true), static_cast<DeviceType_t>(2));
    EXPECT_EQ(d.getType(false), static_cast<DeviceType_t>(1));
    d.deviceCode = 4;
    d.vmnPathIndex = 0;
    EXPECT_EQ(d.getType(true), static_cast<DeviceType_t>(2));
    EXPECT_EQ(d.getType(false), static_cast<DeviceType_t>(6));
    d.iabPathIndex = 3;
    EXPECT_EQ(d.getType(false), static_cast<DeviceType_t>(1));
}

TEST(BinxQueries, ElectrodeDispositionBothWays)
{
    const int returned[] = {10, 11, 12, 17, 4, 5, 7, 8, 20, 1, 0, 9, 18, 13, 19, 14, 6, 3, 15, 16, 22, 23, 24, 21};
    BINX_Data d;
    for (std::uint16_t code = 0; code < 24; ++code) {
        d.electrodeDispositionCode = code;
        EXPECT_EQ(d.getElectrodeDisposition(), static_cast<ElectrodeDisposition>(returned[code])) << code;
        d.setElectrodeDisposition(static_cast<ElectrodeDisposition>(returned[code]));
        EXPECT_EQ(d.electrodeDispositionCode, code);
    }
    for (const std::uint16_t code : {24, 100, 65535}) {
        d.electrodeDispositionCode = code;
        EXPECT_EQ(d.getElectrodeDisposition(), static_cast<ElectrodeDisposition>(0));
    }
    d.setElectrodeDisposition(static_cast<ElectrodeDisposition>(2));
    EXPECT_EQ(d.electrodeDispositionCode, 9);
    EXPECT_EQ(d.getElectrodeDisposition(), static_cast<ElectrodeDisposition>(1));
    for (const int unknown : {25, -1, 1000}) {
        d.setElectrodeDisposition(static_cast<ElectrodeDisposition>(unknown));
        EXPECT_EQ(d.electrodeDispositionCode, 10);
    }
}

TEST(BinxQueries, ElectrodesAndGrid)
{
    BINX_Data d;
    d.chanV = 4;
    d.quadrupole.setXYZ(ElectrodeName::M, 1, 2, 3);
    d.quadrupole.setGeoSpec(ElectrodeName::A, BINX_GeoSpec(1, 2, 'Z', 33, 17, false));
    for (const auto& [e, number] : {std::pair{ElectrodeName::A, 17u}, {ElectrodeName::B, 1u}, {ElectrodeName::M, 6u}, {ElectrodeName::N, 7u}})
        EXPECT_EQ(d.getElectrodeNum(e), number) << static_cast<int>(e);
    EXPECT_EQ(d.getElectrodeSpec(ElectrodeName::A), GeoSpec(true, 17, 2, true, 33));
    EXPECT_EQ(d.getElectrodeY(ElectrodeName::M), 2.0);
    EXPECT_TRUE(d.getElectrodeOfV(ElectrodeName::A));
    d.startTimeI = 45000.0;
    EXPECT_FALSE(d.getElectrodeOfV(ElectrodeName::B));
    EXPECT_TRUE(d.getElectrodeOfV(ElectrodeName::N));

    EXPECT_EQ(d.getGridGeo(), GeographicPoint());
    d.grid = BINX_GridGeo(500, 600, 7, 135, BINX_GeoSpec(0, 2, 0, 31, 0, false), 1.5, -2.5);
    EXPECT_EQ(d.getGridGeo(), GeographicPoint(true, 31, 500, 600, 7, 0));
    EXPECT_EQ(d.getGridOrientation(true), 45.0);
    EXPECT_EQ(d.getOffsetY(false), -2.5);
    d.grid.setGeoType(GeoSpec::GPS);
    EXPECT_EQ(d.getGridGeo(), GeographicPoint(500, 600, 7, 0));
}

TEST(BinxQueries, SidesLowBytesAndFlags)
{
    BINX_Data d;
    d.serialNumberV = 0x12345;
    d.serialNumberI = 7;
    d.nStack = 7;
    d.chanI = -1;
    d.vDelay = -25;
    d.typeOfSequence = 0x105;
    d.overload = 2;
    d.ppsFlag1 = 1;
    d.polarizationVoltage = -3;
    d.polarizationVoltageDeviation = 2;
    EXPECT_EQ(d.getSerialNumber(true), 0x2345);
    EXPECT_EQ(d.getSerialNumber(false), 7);
    EXPECT_EQ(d.getNStack(true), 4u);
    EXPECT_EQ(d.getNStack(false), 3u);
    EXPECT_EQ(d.getChan(false), 0xFFFFFFFFFFFFFFFFull);
    EXPECT_EQ(d.getVDelay(), static_cast<std::uint64_t>(-2));
    EXPECT_EQ(d.getTypeOfSequence(), 5);
    EXPECT_EQ(d.getOverloadedSamples(true), 1u);
    EXPECT_EQ(d.getOverloadedSamples(false), 0u);
    EXPECT_TRUE(d.getLostPPS()); // ppsFlag2 is 0
    EXPECT_TRUE(d.isNoisy());
    EXPECT_EQ(d.getMaxRxV(true), 15000.0);
    EXPECT_EQ(d.getPolarizationVoltage(false), 3.0);
    EXPECT_DOUBLE_EQ(d.getPolarizationVoltageError(true), 3 * 2 * std::sqrt(2.0) / 100);
    const int types[] = {1, 0, 1, 0, 1, 0, 2, 2};
    for (std::uint8_t code = 0; code < 8; ++code) {
        d.injectionCode = code;
        EXPECT_EQ(d.getInjectionType(), static_cast<InjectionType>(types[code])) << int{code};
        EXPECT_EQ(d.isRXOnly(), code > 1) << int{code};
    }
}
