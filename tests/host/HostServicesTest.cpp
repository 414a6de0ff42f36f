#include <host/GeoSpec.h>
#include <host/TimesSeriesContainer.h>
#include <host/VELTLogger.h>
#include <host/VELT_Utils.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

TEST(GeoSpec, RebuildingFromTheGettersGivesAnEqualSpec)
{
    const GeoSpec spec(true, 70000, GeoSpec::UTM, true, 31);
    const GeoSpec copy(spec.get_unused_node(), spec.get_elec_index(), spec.get_geo_type(), spec.get_north_hemisphere(), spec.get_utm_zone());
    EXPECT_EQ(copy, spec);
    EXPECT_EQ(GeoSpec(false, 0, 4, false, 0).get_geo_type(), GeoSpec::GPS);
    const GeoSpec two(2, true);
    EXPECT_EQ(two.get_geo_type(), GeoSpec::UTM);
    EXPECT_TRUE(two.get_north_hemisphere());
    EXPECT_FALSE(two.get_unused_node());
}

TEST(GeoSpec, SexagesimalDegreesAndMinutes)
{
    EXPECT_DOUBLE_EQ(sexagesimalToDecimalAngle(4530.0), 45.5);
    EXPECT_DOUBLE_EQ(sexagesimalToDecimalAngle(-12345.0), -123.75);
    EXPECT_DOUBLE_EQ(sexagesimalToDecimalAngle(0.0), 0.0);
    EXPECT_NEAR(sexagesimalToDecimalAngle(4807.038), 48.1173, 1e-9);
}

TEST(VELTLogger, OneLinePerMessageWithItsLevel)
{
    ertkit_test::LogCapture log;
    VELTLogger::warning() << "found page before first header" << std::endl;
    VELTLogger::debug() << "page " << 3u << " is not complete" << std::endl;
    VELTLogger::error() << "a" << '\n' << "b" << std::endl;
    ASSERT_EQ(log.lines().size(), 4u);
    EXPECT_EQ(log.lines(VELTLogger::Level::Warning), std::vector<std::string>{"found page before first header"});
    EXPECT_EQ(log.lines(VELTLogger::Level::Debug), std::vector<std::string>{"page 3 is not complete"});
    EXPECT_EQ(log.lines(VELTLogger::Level::Error), (std::vector<std::string>{"a", "b"}));
}

TEST(VELTLogger, TextFromAFileStaysOnItsLine)
{
    ertkit_test::LogCapture log;
    VELTLogger::warning() << "name=" << VELTLogger::oneLine("a\nwarning: b\tc\r") << std::endl;
    EXPECT_EQ(log.lines(VELTLogger::Level::Warning), std::vector<std::string>{"name=a\\x0Awarning: b\\x09c\\x0D"});
    EXPECT_EQ(VELTLogger::oneLine("plain \x1b text"), "plain \x1b text") << "the sink escapes the rest";
}

TEST(VELTLogger, MessagesFromThreadsDoNotInterleave)
{
    ertkit_test::LogCapture log;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) VELTLogger::warning() << "thread " << t << " message " << i << std::endl;
        });
    for (auto& thread : threads) thread.join();
    ASSERT_EQ(log.lines().size(), 800u);
    for (const auto& [level, line] : log.lines()) EXPECT_EQ(line.rfind("thread ", 0), 0u) << line;
}

TEST(VELT_Utils, CommonPathKeepsWholeFolders)
{
    struct Case {
        const char* first;
        const char* second;
        const char* common;
    } cases[] = {
        {"D:\\survey\\line1", "D:\\survey\\line2", "D:\\survey"},
        {"D:\\survey", "D:\\survey", "D:\\survey"},
        {"D:\\survey", "D:\\survey\\sub", "D:\\survey"},
        {"D:\\surv", "D:\\survey", "D:"},
        {"/data/a/b", "/data/a/c", "/data/a"},
        {"C:\\x", "D:\\x", ""},
        {"", "D:\\x", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(VELT_Utils::getCommonPath(c.first, c.second), c.common) << c.first << " | " << c.second;
}

// What a container holds is checked against the samples written in SampleStoreTest.
TEST(TimesSeriesContainer, RefusesASamplePastItsEnd)
{
    TimesSeriesContainer c(3, 2);
    EXPECT_THROW(c.setData(3, 0, 1.0), std::out_of_range);
}

