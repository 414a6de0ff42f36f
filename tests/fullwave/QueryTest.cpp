#include <fullwave/IAB_VMN_File.h>

#include <writers/FullWavePages.h>
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

using namespace ertkit_writers;

namespace {

IAB_VMN_File read(const RecordingBuilder& builder, bool is_vmn = true)
{
    std::istringstream stream(builder.str());
    return IAB_VMN_File(stream, 4567, 123, is_vmn);
}

ConfigFields setUp()
{
    ConfigFields f;
    for (unsigned int row = 0; row < 13; ++row) f.electrodes[row] = {static_cast<float>(row), 100.0f + static_cast<float>(row)};
    f.input_voltage = 0;
    return f;
}

} // namespace

// What the per-channel queries give is checked against the samples written in SampleStoreTest;
// here, the time of a start whose first sample is numbered 1: one period after the page date.
TEST(Queries, StartTimeIsThatOfTheFirstSample)
{
    const IAB_VMN_File file = read(RecordingBuilder().start(setUp(), 1, 100, [](std::uint32_t, unsigned int) { return 1.0f; }));
    const HighPrecisionTime t0 = HighPrecisionTime::fromVarnelTimestamp(1700000000 - 1, 0);
    EXPECT_EQ(file.getStartTime(0), t0 + HighPrecisionTime::s_hundredth);
    EXPECT_EQ(file.getSampleTime(0), HighPrecisionTime(0, 10000000));
}

TEST(Queries, BadChannelAndStart)
{
    const IAB_VMN_File file = read(RecordingBuilder().start(setUp(), 0, 5, [](std::uint32_t, unsigned int) { return 1.0f; }));
    std::vector<double> data{7.0};
    EXPECT_EQ(ertkit_test::failure<std::domain_error>([&] { file.fillData(0, 3, data); }), "channel does not exists");
    EXPECT_EQ(data, std::vector<double>{7.0});
    std::vector<bool> flags;
    EXPECT_THROW(file.fillOverload(0, 3, flags), std::domain_error);
    EXPECT_THROW(file.fillData(1, 0, data), std::out_of_range);
    EXPECT_THROW(file.fillOverload(1, 9, flags), std::out_of_range);
    EXPECT_THROW(file.fillPPS(1, flags), std::out_of_range);
    EXPECT_THROW(file.getDataContainer(1), std::out_of_range);
}

// Its empty samples: SampleStoreTest, whose recordings hold such a start.
TEST(Queries, StartWithoutDataPages)
{
    ConfigFields f = setUp();
    f.gmt_offset = -3.5f;
    const IAB_VMN_File file = read(RecordingBuilder().page(configPage(f)));
    EXPECT_EQ(file.getNsample(0), 0u);
    EXPECT_EQ(file.getStartTime(0), HighPrecisionTime::fromVarnelTimestamp(1700000000 + 12600 - 1, 0));
}

TEST(Queries, ReceiverStateAndLayout)
{
    ConfigFields f = setUp();
    f.bat = 125;
    f.temp = -7;
    const IAB_VMN_File file = read(RecordingBuilder().page(configPage(f)));
    EXPECT_EQ(file.getRxBat(0), 12.5);
    EXPECT_EQ(file.getRxTemp(0), -7.0);
    EXPECT_EQ(file.getTxTemp(0), -300.0);
    EXPECT_EQ(file.getTxCurrent(0), 1.25);
    EXPECT_EQ(file.getMaxRxV(0, 2), 4980.0);
    EXPECT_EQ(file.getRsCheck(0, 1), 2.5);
    EXPECT_THROW(file.getRsCheck(0, 2), std::out_of_range);
    EXPECT_EQ(file.getGpsX(0), 4530.25);
    EXPECT_EQ(file.getGpsZ(0), 120.5);
    EXPECT_EQ(file.getGpsSpec(0), GeoSpec(false, 0, 4, false, 0));
    EXPECT_EQ(file.getOffsetX(0), 2.0);
    EXPECT_EQ(file.getOffsetY(0), -3.0);
    EXPECT_EQ(file.getElectrodeX(0, 4, ElectrodeName::N), 7.0);
    EXPECT_EQ(file.getElectrodeY(0, 4, ElectrodeName::M), 106.0);
    EXPECT_EQ(file.getElectrodeX(0, 9, ElectrodeName::A), 0.0);
    EXPECT_EQ(file.getElectrodeX(0, 9, ElectrodeName::B), 1.0);
    EXPECT_THROW(file.getElectrodeX(0, 10, ElectrodeName::N), std::out_of_range);
    EXPECT_EQ(file.getElectrodeSpec(0, 4, ElectrodeName::N), GeoSpec(false, 7, 1, false, 0));
    EXPECT_EQ(file.getElectrodeZ(0, 4, ElectrodeName::N), 0.0);
    EXPECT_TRUE(file.isMNused(0, 0));
    EXPECT_TRUE(file.isV(0, 0));
    EXPECT_TRUE(file.hasSexagesimalGpsLatLong());
    EXPECT_EQ(file.getNStart(), std::vector<std::uint64_t>{0});
    EXPECT_EQ(file.getNChannel(0), (std::vector<std::uint64_t>{0, 1, 2}));
}

TEST(Queries, DeviceTypeFromTheConfigurationWord)
{
    const struct {
        std::int32_t config;
        bool is_vmn;
        int type;
    } cases[] = {{0x00010000, true, 4}, {0x00000020, true, 3}, {0x00100000, true, 3}, {0, true, 2}, {0x00010000, false, 1}};
    for (const auto& c : cases) {
        ConfigFields f = setUp();
        f.config = c.config;
        EXPECT_EQ(static_cast<int>(read(RecordingBuilder().page(configPage(f)), c.is_vmn).getType()), c.type) << c.config;
    }
}

TEST(Queries, DamagedTimeFieldsStayDefined)
{
    const struct {
        float gmt_offset;
        int expected;
    } cases[] = {{5.5f, 19800}, {-3.5f, -12600}, {std::nanf(""), 0}, {1e30f, 2147483647}, {-1e30f, -2147483647 - 1}};
    for (const auto& c : cases) {
        ConfigFields f = setUp();
        f.gmt_offset = c.gmt_offset;
        f.date = -2147483647 - 1;
        const IAB_VMN_File file = read(RecordingBuilder().page(configPage(f)));
        EXPECT_EQ(file.getGmtOffset(0), c.expected) << c.gmt_offset;
        (void)file.getStartTime(0); // wraps in 32 bits rather than overflowing
    }
}
