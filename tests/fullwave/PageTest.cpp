#include <fullwave/IAB_VMN_FilePage.h>

#include <writers/FullWavePages.h>
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

using namespace ertkit_test;
using namespace ertkit_writers;

namespace {

std::int64_t nowSeconds()
{
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

IAB_VMN_RawPage pageWithHeader(char ctrl, const char* name11, std::int32_t date)
{
    IAB_VMN_RawPage raw = otherPage(ctrl, "");
    std::memcpy(raw.bytes + 1, name11, std::strlen(name11) < 11 ? std::strlen(name11) : 11);
    for (int i = 0; i < 4; ++i) raw.bytes[12 + i] = static_cast<unsigned char>(static_cast<std::uint32_t>(date) >> (8 * i));
    return raw;
}

std::unique_ptr<IAB_VMN_FileData> decodeData(const IAB_VMN_RawPage& raw)
{
    return std::make_unique<IAB_VMN_FileData>(std::make_unique<IAB_VMN_PageHeader>(raw, false), true, raw);
}

} // namespace

TEST(PageHeader, GpsDateCorrection)
{
    const std::int32_t old_date = 765590399; // moved forward lands in 2019, in the past
    struct Case {
        char ctrl;
        const char* name;
        std::int32_t date;
        bool fix;
        std::uint64_t expected;
    } cases[] = {
        {'R', "RAW", old_date, true, static_cast<std::uint64_t>(old_date) + 619315200},
        {'R', "RAW", old_date, false, static_cast<std::uint64_t>(old_date)},
        {'R', "RAW", 765590400, true, 765590400},
        {'R', "RAW", -5, true, static_cast<std::uint64_t>(std::int64_t{-5})},
        {'C', "RAW_CONFIG", 1000, true, 1000},
        {'R', "RAWX", 1000, true, 1000},
        {'X', "RAW", 1000, true, 1000},
    };
    for (const Case& c : cases) {
        const IAB_VMN_PageHeader header(pageWithHeader(c.ctrl, c.name, c.date), c.fix);
        EXPECT_EQ(header.get_date(), c.expected) << c.ctrl << " " << c.name << " " << c.date;
    }
    // A date whose corrected value would lie in the future stays as written.
    const auto future = static_cast<std::int32_t>(nowSeconds() - 619315200 + 100000);
    if (future >= 0 && future < 765590400) {
        EXPECT_EQ(IAB_VMN_PageHeader(pageWithHeader('R', "RAW", future), true).get_date(), static_cast<std::uint64_t>(future));
    }
}

TEST(PageHeader, NameAndKind)
{
    const IAB_VMN_PageHeader full(pageWithHeader('C', "ABCDEFGHIJK", -1), false);
    EXPECT_EQ(full.get_name(), "ABCDEFGHIJK");
    EXPECT_TRUE(full.isRawCfg());
    EXPECT_FALSE(full.hasRawCfgName());
    const IAB_VMN_PageHeader raw(pageWithHeader('R', "RAW", 0), false);
    EXPECT_TRUE(raw.isRaw());
    EXPECT_TRUE(raw.hasRawName());
    EXPECT_FALSE(IAB_VMN_PageHeader(pageWithHeader('R', "RAWX", 0), false).hasRawName());
}

TEST(DataPage, BlocksRunWhileChannelsAndNumbersFollow)
{
    auto value = [](std::uint32_t s, unsigned int c) { return static_cast<float>(s * 10 + c); };
    EXPECT_EQ(decodeData(dataPage(0, 32, 3, value))->dataSize(), 32u);
    EXPECT_EQ(decodeData(dataPage(7, 25, 4, value))->dataSize(), 25u);
    EXPECT_EQ(decodeData(dataPage(0, 10, 3, value))->dataSize(), 10u); // zero fill ends the run
    // Runs broken by a number or a channel count, blocks of no channel and the overload rule:
    // SampleStoreTest, whose stores equal a decode of every page written.

    const auto page = decodeData(dataPage(100, 3, 2, value));
    const IAB_VMN_PageData& second = page->getData(1);
    EXPECT_EQ(second.get_n_10_ms(), 101u);
    EXPECT_EQ(second.get_n_channel(), 2);
    EXPECT_EQ(second.get_value(1), 1011.0f);
    EXPECT_TRUE(page->getData(0).get_has_PPS());
    EXPECT_FALSE(second.get_has_PPS());
}

TEST(ConfigPage, FieldsAndChecks)
{
    ConfigFields f;
    f.electrodes[7] = {7.5f, -1.0f};
    f.input_voltage = -1;
    auto raw = configPage(f);
    const IAB_VMN_FileHeader header(std::make_unique<IAB_VMN_PageHeader>(raw, false), true, raw);
    EXPECT_EQ(header.get_n_channel(), 3u);
    EXPECT_EQ(header.get_max_rx(), 14980.0);
    EXPECT_EQ(header.get_electrodes_offsets(7), std::make_pair(7.5f, -1.0f));
    EXPECT_THROW(header.get_electrodes_offsets(13), std::out_of_range);
    EXPECT_EQ(header.get_rs(1), 2.5f);
    EXPECT_EQ(header.get_bat(), 125);
    EXPECT_EQ(header.get_temp(), 23);
    EXPECT_EQ(header.get_move(), std::make_pair(2.0f, -3.0f));

    f.bat = 0;
    f.input_voltage = 0;
    raw = configPage(f);
    const IAB_VMN_FileHeader no_battery(std::make_unique<IAB_VMN_PageHeader>(raw, false), true, raw);
    EXPECT_EQ(no_battery.get_rs(0), 0.0f);
    EXPECT_EQ(no_battery.get_rs(5), 0.0f);
    EXPECT_EQ(no_battery.get_max_rx(), 4980.0);
}

TEST(BuildPage, KindComesFromTheCtrlByteAlone)
{
    LogCapture log;
    const std::unique_ptr<IAB_VMN_FilePage> dummy(IAB_VMN_FilePage::buildPage(otherPage('X', "RAW"), true, false));
    EXPECT_NE(dynamic_cast<IAB_VMN_FileDummy*>(dummy.get()), nullptr);
    EXPECT_EQ(log.lines(VELTLogger::Level::Warning), std::vector<std::string>{"found unknown page type, ctrl=X, name=RAW"});

    ConfigFields f;
    f.name = "HDR7";
    const std::unique_ptr<IAB_VMN_FilePage> header(IAB_VMN_FilePage::buildPage(configPage(f), true, true));
    EXPECT_NE(dynamic_cast<IAB_VMN_FileHeader*>(header.get()), nullptr);

    const auto raw = otherPage('C', "RAW_CONFIG");
    EXPECT_EQ(failure<std::invalid_argument>([&] { IAB_VMN_FileData(std::make_unique<IAB_VMN_PageHeader>(raw, false), true, raw); }),
              "the given page does not correspond to an IAB or VMN data page");
    const auto data_raw = otherPage('R', "RAW");
    EXPECT_EQ(failure<std::invalid_argument>(
                  [&] { IAB_VMN_FileHeader(std::make_unique<IAB_VMN_PageHeader>(data_raw, false), true, data_raw); }),
              "the given page does not correspond to an IAB or VMN file header");
}
