// The options of a reprocessing that the tool and the Python package check alike: windows as
// text, pairs that follow one another, the trim of the trimmed mean, and what a message quotes
// of them.
#include <services/CycleStack.h>
#include <services/MessageText.h>
#include <services/WindowTimes.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace ertkit;

namespace {

TEST(ReprocessOptions, WindowsAreDecimalStartEndPairsWithNothingAround)
{
    struct Case {
        std::string text;
        std::vector<double> bounds; // empty: refused
        const char* message;        // part of the message when refused
    };
    const Case cases[] = {
        {"40:60", {40, 60}, ""},
        {"40:60,60:100,100:180", {40, 60, 100, 180}, ""},
        {"0.5:1e3", {0.5, 1000}, ""},
        {"40:60,", {}, "holds an empty window (a comma too many?)"},
        {",40:60", {}, "holds an empty window"},
        {"40:60,,60:80", {}, "holds an empty window"},
        {"0x10:0x20", {}, "'0x10:0x20' is not a window"},
        {"40:0x3C", {}, "is not a window"},
        {"nan:60", {}, "is not a window"},
        {"40:inf", {}, "is not a window"},
        {"+40:60", {}, "is not a window"},
        {" 40:60", {}, "is not a window"},
        {"40:60 ", {}, "is not a window"},
        {"40", {}, "'40' is not a window"},
        {"40-60", {}, "'40-60' is not a window: give start:end in ms, e.g. 40:60"},
        {"40:60ms", {}, "'40:60ms' is not a window: give start:end in ms, e.g. 40:60"},
        // Pairs must follow one another from the switch-off on.
        {"", {}, "give from 1 to 20 windows"},
        {"40:60,70:100", {}, "window 2 (70:100) does not start where window 1 ends (60 ms)"},
        {"60:40", {}, "window 1 (60:40) does not end after it starts"},
        {"-10:40", {}, "window 1 (-10:40) starts before the switch-off"},
    };
    for (const Case& c : cases) {
        std::vector<double> bounds;
        const std::string message = ertkit_test::failure<std::invalid_argument>([&] { bounds = windowBounds(c.text); });
        if (c.bounds.empty()) EXPECT_NE(message.find(c.message), std::string::npos) << c.text << ": " << message;
        else EXPECT_EQ(bounds, c.bounds) << c.text << ": " << message;
    }
}

TEST(ReprocessOptions, AMessageQuotesALongOptionCutShort)
{
    std::string fields;
    for (int i = 0; i < 1000; ++i) fields += std::to_string(i) + ":";
    const std::string message = ertkit_test::failure<std::invalid_argument>([&] { windowBounds(fields); });
    EXPECT_LT(message.size(), 120u) << message;
    EXPECT_NE(message.find("0:1:2:3:4:5:6:7:8:9:10:11:12:13:14:15:16\u2026' is not a window"), std::string::npos) << message;
    // A character is never cut in two.
    EXPECT_EQ(excerpt("\u00e9\u00e9\u00e9", 3), "\u00e9\u2026");
    EXPECT_EQ(excerpt("short", 40), "short");
}

TEST(ReprocessOptions, TheTrimLeavesSomethingOfEachEnd)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const double refused : {nan, 0.5, 0.6, -0.1, std::numeric_limits<double>::infinity()})
        EXPECT_NE(ertkit_test::failure<std::invalid_argument>([&] { checkTrim(refused); }).find("must be 0 or more and below 0.5"), std::string::npos) << refused;
    for (const double taken : {0.0, 0.25, 0.49}) EXPECT_EQ(ertkit_test::failure<std::invalid_argument>([&] { checkTrim(taken); }), "no exception") << taken;
}

} // namespace
