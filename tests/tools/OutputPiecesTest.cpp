// The pieces every command writes through: SVG text, axis ticks, the colour scale and the
// progress line.
#include "ColourScale.h"
#include "PlotFrame.h"
#include "SvgDocument.h"
#include "TerminalProgress.h"
#include "TimeText.h"
#include "ToolRunner.h"

#include <services/FileOpening.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

using namespace ertkit_cli;

namespace {

TEST(SvgDocument, EscapesTextAndIsWellFormed)
{
    SvgDocument svg(100, 50);
    svg.text(1, 2, "R < 5 & \"x\" > 'y'\x01");
    svg.line(0, 0, 10, 10, "black", 1, "4 2");
    svg.polyline({{0, 0}, {1, 1}}, "red");
    std::ostringstream out;
    svg.write(out);
    EXPECT_NE(out.str().find(">R &lt; 5 &amp; &quot;x&quot; &gt; &apos;y&apos;</text>"), std::string::npos) << out.str();
    EXPECT_EQ(ertkit_tools_test::xmlProblem(out.str()), "");
}

TEST(NiceTicks, RoundStepsInsideTheRange)
{
    EXPECT_EQ(niceTicks({0.0, 10.0}, 5), (std::vector<double>{0, 2, 4, 6, 8, 10}));
    EXPECT_EQ(niceTicks({-0.3, 0.72}, 6), (std::vector<double>{-0.2, 0, 0.2, 0.4, 0.6}));
    EXPECT_EQ(niceTicks({15.0, 1500.0, true}, 5), (std::vector<double>{100, 1000}));
    EXPECT_EQ(niceTicks({15.0, 300.0, true}, 5), (std::vector<double>{20, 50, 100, 200}));
    EXPECT_TRUE(niceTicks({-1.0, 10.0, true}, 5).empty());
    EXPECT_EQ(tickText(1500), "1500");
    EXPECT_EQ(tickText(0.25), "0.25");
}

// Ranges that damaged values make: a bounded count of finite ticks, or none, and positions
// on the range that stay finite for finite values.
TEST(NiceTicks, BoundedAndFiniteOnAnyRange)
{
    constexpr double inf = std::numeric_limits<double>::infinity(), largest = std::numeric_limits<double>::max();
    const double nan = std::nan("");
    const AxisRange ranges[] = {
        {-inf, inf}, {0, inf}, {nan, 1}, {0, nan}, {-largest, largest}, {largest / 2, largest}, {1e300, 1e300 + 1e285},
        {1e-300, 1e300, true}, {5e-324, largest, true}, {1, inf, true}, {nan, 10, true},
        AxisRange::around(-largest, largest), AxisRange::around(largest, largest), AxisRange::around(largest, -largest),
    };
    for (const AxisRange& range : ranges) {
        const auto ticks = niceTicks(range, 8);
        EXPECT_LE(ticks.size(), 200u) << range.low << " " << range.high;
        for (const double t : ticks) EXPECT_TRUE(std::isfinite(t)) << range.low << " " << range.high;
        if (std::isfinite(range.low) && std::isfinite(range.high)) {
            EXPECT_TRUE(std::isfinite(axisFraction(range, range.low / 3 + range.high / 3))) << range.low << " " << range.high;
            EXPECT_LE(colourBarTicks(range, 320).size(), 25u);
        }
    }
}

TEST(SvgDocument, ElementsWithNonFiniteNumbersAreLeftOut)
{
    const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
    SvgDocument svg(100, 50);
    svg.line(0, nan, 1, 1, "black");
    svg.rect(inf, 0, 1, 1, "red");
    svg.circle(1, 1, nan, "red");
    svg.marker(nan, 1, 2, "red", "black", "t");
    svg.polygon({{0, 0}, {1, inf}, {2, 2}}, "red");
    svg.text(-inf, 1, "x");
    svg.polyline({{0, 0}, {1, 1}, {nan, 2}, {3, 3}, {4, 4}}, "blue");
    svg.circle(5, 5, 1, "green");
    std::ostringstream out;
    svg.write(out);
    const std::string text = out.str();
    EXPECT_EQ(ertkit_tools_test::xmlProblem(text), "");
    EXPECT_EQ(text.find("nan"), std::string::npos) << text;
    EXPECT_EQ(text.find("inf"), std::string::npos) << text;
    EXPECT_EQ(ertkit_tools_test::occurrences(text, "<polyline"), 2u) << "a line broken at the point that is not a number";
    EXPECT_EQ(ertkit_tools_test::occurrences(text, "<circle"), 1u);
}

TEST(TerminalProgress, ReadersCountConversionsFillABar)
{
    std::ostringstream sink;
    TerminalProgress progress(sink, "reading");
    progress.setRange(10000, 0, 1);
    progress.setPosition(0);
    progress.step();
    progress.step();
    EXPECT_EQ(progress.line(), "reading 2");
    progress.setRange(0, 4, 1);
    progress.step();
    progress.step();
    progress.setFormattedText(7, "METER", "115200");
    EXPECT_EQ(progress.line(), "reading (METER 115200) [###############...............]  50%");
}

TEST(TerminalProgress, ARecordingsCountIsAShareOfItsBytes)
{
    std::ostringstream sink;
    TerminalProgress progress(sink, "reading");
    // 1000 pages; the reader steps once per 100.
    progress.countShareOf(528000, ertkit::recordingBytesRead);
    progress.setRange(10000, 0, 1);
    progress.setPosition(0);
    EXPECT_EQ(progress.line(), "reading [..............................]   0%");
    for (int i = 0; i < 5; ++i) progress.step();
    EXPECT_EQ(progress.line(), "reading [###############...............]  50%");
    for (int i = 0; i < 7; ++i) progress.step();
    EXPECT_EQ(progress.line(), "reading [##############################] 100%") << "never past the end";
}

TEST(TimeText, IsoWithMilliseconds)
{
    const HighPrecisionTime t = HighPrecisionTime::fromVarnelTimestamp(1700000000, 250000000);
    EXPECT_EQ(isoTime(t, "Z"), "2023-11-14T22:13:20.250Z");
    EXPECT_EQ(isoTime(HighPrecisionTime(), ""), "1899-12-30T00:00:00.000");
}

} // namespace
