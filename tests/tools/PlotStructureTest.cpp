// The structure of the pseudo-section SVG: the colour bar's labels and limits, repeated
// readings drawn once, hollow or left-out ignored readings. The sample's sections, panels and
// markers are golden outputs.
#include "ColourScale.h"
#include "PseudoSection.h"
#include "SampleFolder.h"
#include "ToolRunner.h"

#include <binx/BINX_File.h>

#include <gtest/gtest.h>

#include <cmath>
#include <fmt/format.h>
#include <map>
#include <regex>
#include <sstream>

using namespace ertkit_cli;
using namespace ertkit_tools_test;

namespace {

// Wenner readings a = 5 m along a line of 16 electrodes whose apparent resistivities are
// `rhoa` (K = 2 pi a, so Vp = rhoa / K for I = 1 mA).
BINX_File wennerFile(const std::vector<double>& rhoa, bool ignore_first = false)
{
    BINX_File file;
    for (std::size_t i = 0; i < rhoa.size(); ++i) {
        auto* r = new BINX_Data();
        const double a = 5.0, x0 = 5.0 * static_cast<double>(i % 12);
        const double x[4] = {x0, x0 + 3 * a, x0 + a, x0 + 2 * a};
        for (int e = 0; e < 4; ++e) r->quadrupole.setXYZ(static_cast<ElectrodeName>(e), x[e], 0.0, 0.0);
        r->injectedCurrent = 1.0;
        r->polarizationVoltage = rhoa[i] / (2 * std::numbers::pi * a);
        r->ignore = ignore_first && i == 0 ? 1 : 0;
        file.addData(r);
    }
    return file;
}

std::string section(const Result_File& file, const SectionOptions& options = {})
{
    std::ostringstream out;
    plotPseudoSection(file, "test", options, out);
    return out.str();
}

// The content of the first group of a class.
std::string group(const std::string& svg, const std::string& css_class)
{
    const auto from = svg.find("<g class=\"" + css_class + "\"");
    if (from == std::string::npos) return {};
    return svg.substr(from, svg.find("</g>", from) - from);
}

// The labels of the colour bar, by their pixel row (the bar spans rows 110 to 430).
std::map<double, std::string> barLabels(const std::string& svg)
{
    std::map<double, std::string> labels;
    const std::string bar = group(svg, "colour-bar");
    const std::regex text(R"re(<text x="916\.00" y="([0-9.]+)"[^>]*>([^<]*)</text>)re");
    for (std::sregex_iterator it(bar.begin(), bar.end(), text), end; it != end; ++it)
        labels[std::stod((*it)[1]) - 4.0] = (*it)[2];
    return labels;
}

TEST(ColourBar, BothEndsLabelledAtAnyRange)
{
    struct Case {
        const char* name;
        std::vector<double> rhoa;
        std::string low, high;
        std::size_t at_least;
    };
    const Case cases[] = {
        {"narrow", {110, 118, 126, 140}, "110", "140", 3},
        {"wide", {0.5, 30, 2000, 200000}, "0.5", "2e+05", 5},
        {"single value", {120, 120, 120}, "80", "180", 2},
    };
    for (const Case& c : cases) {
        const BINX_File file = wennerFile(c.rhoa);
        const std::string svg = section(file);
        EXPECT_EQ(xmlProblem(svg), "") << c.name;
        const auto labels = barLabels(svg);
        ASSERT_GE(labels.size(), c.at_least) << c.name << "\n" << group(svg, "colour-bar");
        EXPECT_NEAR(labels.begin()->first, 110.0, 0.5) << c.name;
        EXPECT_EQ(labels.begin()->second, c.high) << c.name;
        EXPECT_NEAR(labels.rbegin()->first, 430.0, 0.5) << c.name;
        EXPECT_EQ(labels.rbegin()->second, c.low) << c.name;
    }
}

TEST(ColourBar, InnerTicksStepByOneTwoFiveAndKeepApart)
{
    // 1e-100 to 1e100: so many decades that every one cannot be labelled, evenly thinned.
    for (const AxisRange range : {AxisRange{110, 140, true}, AxisRange{1, 1e6, true}, AxisRange{-3.2, 17.5, false}, AxisRange{60.7, 263, true},
                                  AxisRange{1e-100, 1e100, true}}) {
        const auto ticks = colourBarTicks(range, 320);
        ASSERT_GE(ticks.size(), 2u);
        EXPECT_EQ(ticks.front().fraction, 0.0);
        EXPECT_EQ(ticks.back().fraction, 1.0);
        for (std::size_t i = 1; i < ticks.size(); ++i) {
            EXPECT_GT((ticks[i].fraction - ticks[i - 1].fraction) * 320, 13.9) << range.low << " " << ticks[i].text;
            if (i + 1 == ticks.size()) continue;
            // Inner ticks are round: two significant digits at most (120, 0.5, 2e+05).
            std::string digits;
            for (const char ch : ticks[i].text.substr(0, ticks[i].text.find('e')))
                if (std::isdigit(static_cast<unsigned char>(ch)) && !(digits.empty() && ch == '0')) digits += ch;
            while (!digits.empty() && digits.back() == '0') digits.pop_back();
            EXPECT_LE(digits.size(), 2u) << ticks[i].text;
        }
    }
}

struct Marker {
    double x, y;
    std::string fill;
};

std::map<std::string, std::vector<Marker>> panels(const std::string& svg)
{
    std::map<std::string, std::vector<Marker>> found;
    const std::regex panel(R"re(<g class="panel" data-array="([^"]+)">)re");
    const std::regex marker(R"re(<circle cx="([0-9.]+)" cy="([0-9.]+)" r="[0-9.]+" fill="([^"]+)" stroke="[^"]+"><title>)re");
    for (std::sregex_iterator it(svg.begin(), svg.end(), panel), end; it != end; ++it) {
        const auto from = static_cast<std::size_t>(it->position() + it->length());
        const std::string body = svg.substr(from, svg.find("</g>\n</g>", from) - from);
        auto& markers = found[(*it)[1]];
        for (std::sregex_iterator m(body.begin(), body.end(), marker); m != end; ++m)
            markers.push_back({std::stod((*m)[1]), std::stod((*m)[2]), (*m)[3]});
    }
    return found;
}

TEST(PseudoSection, IgnoredReadingsHollowOrLeftOut)
{
    const BINX_File file = wennerFile({100, 120, 140}, true);
    const auto hollow = panels(section(file)).at("Wenner");
    ASSERT_EQ(hollow.size(), 3u);
    EXPECT_EQ(std::count_if(hollow.begin(), hollow.end(), [](const Marker& m) { return m.fill == "white"; }), 1);
    EXPECT_EQ(panels(section(file, {"rhoa", true, false, {}, 0.0})).at("Wenner").size(), 2u);
}

TEST(PseudoSection, StaysLightForManyRecords)
{
    std::vector<double> rhoa(50000);
    for (std::size_t i = 0; i < rhoa.size(); ++i) rhoa[i] = 50.0 + static_cast<double>(i % 97);
    const std::string svg = section(wennerFile(rhoa));
    EXPECT_LT(svg.size() / rhoa.size(), 160u);
}

TEST(ColourBar, LogBarsLabelEachDecadeAndTwoAndFiveOnlyWhenShort)
{
    struct Case {
        AxisRange range;
        std::vector<std::string> inner; // between the end labels
    };
    const Case cases[] = {
        // Vp of the sample: no longer 17.8 / 1000 / 2000 / 3000.
        {{17.8, 2990, true}, {"100", "1000"}},
        {{0.5, 2e5, true}, {"1", "10", "100", "1000", "10000", "100000"}},
        {{3, 9e8, true}, {"10", "100", "1000", "10000", "100000", "1e+06", "1e+07", "1e+08"}},
        // Under two decades, 2 and 5 as well.
        {{15, 900, true}, {"20", "50", "100", "200", "500"}},
        {{1.2, 80, true}, {"2", "5", "10", "20", "50"}},
    };
    for (const Case& c : cases) {
        const auto ticks = colourBarTicks(c.range, 320);
        ASSERT_GE(ticks.size(), 2u);
        std::vector<std::string> inner;
        for (std::size_t i = 1; i + 1 < ticks.size(); ++i) inner.push_back(ticks[i].text);
        EXPECT_EQ(inner, c.inner) << c.range.low << " to " << c.range.high;
        EXPECT_EQ(ticks.back().text, fmt::format("{:.3g}", c.range.high).find('e') == std::string::npos || c.range.high >= 1e5
                                         ? fmt::format("{:.3g}", c.range.high)
                                         : tickText(std::stod(fmt::format("{:.3g}", c.range.high))));
    }
}

TEST(ColourBar, RangeAndClipSetTheLimitsAndValuesBeyondTakeTheEndColours)
{
    // Readings of 100 to 200 and one of 1e6, which flattens the section without limits.
    std::vector<double> rhoa;
    for (int i = 0; i <= 10; ++i) rhoa.push_back(100.0 + 10.0 * i);
    rhoa.push_back(1e6);
    const BINX_File file = wennerFile(rhoa);
    const auto colours = [&](const SectionOptions& options) {
        std::map<std::string, std::size_t> count;
        // A copy: the range-for would outlive the map it came from.
        const std::vector<Marker> markers = panels(section(file, options)).at("Wenner");
        for (const Marker& m : markers) ++count[m.fill];
        return count;
    };
    const std::string low = scaleColour(0.0), high = scaleColour(1.0);
    EXPECT_EQ(barLabels(section(file)).begin()->second, "1e+06") << "without limits, the outlier sets the scale";

    SectionOptions limited;
    limited.range = std::pair<double, double>(120, 180);
    const auto within = colours(limited);
    EXPECT_EQ(within.at(low), 3u) << "100, 110 and 120";
    EXPECT_EQ(within.at(high), 4u) << "180, 190, 200 and the outlier";
    EXPECT_EQ(within.size(), 2u + 5u);
    const std::string svg = section(file, limited);
    EXPECT_EQ(barLabels(svg).rbegin()->second, "120");
    EXPECT_EQ(barLabels(svg).begin()->second, "180");
    EXPECT_NE(svg.find("colours limited to 120 to 180 (2 readings below, 3 above take the end colours)"), std::string::npos);

    SectionOptions clipped;
    clipped.clip = 10.0;
    EXPECT_GE(colours(clipped).size(), 9u) << "the lowest and highest 10 % take the end colours";
    const auto clipped_labels = barLabels(section(file, clipped));
    EXPECT_LT(std::stod(clipped_labels.begin()->second), 300.0) << clipped_labels.begin()->second;
}

TEST(ColourBar, LimitsAreCheckedAsGiven)
{
    const std::pair<const char*, std::optional<std::pair<double, double>>> ranges[] = {
        {"10:1000", std::pair<double, double>(10, 1000)}, {"-5.5:2e3", std::pair<double, double>(-5.5, 2000)},
        {"1000:10", std::nullopt}, {"10:10", std::nullopt}, {"nan:10", std::nullopt}, {"1:inf", std::nullopt},
        {"0x10:20", std::nullopt}, {"1:2:3", std::nullopt}, {"10", std::nullopt}, {"10:", std::nullopt}, {" 1:2", std::nullopt},
    };
    for (const auto& [text, expected] : ranges) {
        if (expected) {
            EXPECT_EQ(colourLimits(text), *expected) << text;
        } else {
            EXPECT_THROW(colourLimits(text), std::invalid_argument) << text;
        }
    }
    const BINX_File file = wennerFile({100, 120, 140});
    for (const double clip : {-1.0, 50.0, std::nan("")}) {
        SectionOptions options;
        options.clip = clip;
        EXPECT_THROW(section(file, options), std::invalid_argument) << clip;
    }
}

TEST(PseudoSection, RepeatedReadingsOfAQuadrupoleAreDrawnOnceAveraged)
{
    const std::string sample = (sampleFolder() / "line1.binx").string();
    BINX_File twice(sample);
    const BINX_File again(sample);
    for (const BINX_Data* r : again.getDatas()) twice.addData(new BINX_Data(*r));
    const std::string once_svg = section(again), twice_svg = section(twice);
    const auto once = panels(once_svg), doubled = panels(twice_svg);
    ASSERT_EQ(doubled.size(), 2u) << "a survey merged with itself is drawn as the survey";
    for (const auto& [array, markers] : once) {
        ASSERT_EQ(doubled.at(array).size(), markers.size()) << array;
        for (std::size_t i = 0; i < markers.size(); ++i) {
            EXPECT_EQ(doubled.at(array)[i].x, markers[i].x);
            EXPECT_EQ(doubled.at(array)[i].fill, markers[i].fill);
        }
    }
    EXPECT_NE(twice_svg.find("97 repeated readings averaged"), std::string::npos);
    EXPECT_NE(twice_svg.find("<title>records 63, 160 (mean of 2): ρa 74.32 Ω·m, M 6.068 mV/V, Wenner a = 5 m n = 1</title>"), std::string::npos);
    SectionOptions fill;
    fill.fill = true;
    EXPECT_EQ(occurrences(group(section(twice, fill), "fill"), "<polygon"), occurrences(group(section(again, fill), "fill"), "<polygon"));

    // Two readings that differ give their mean; an ignored repeat of a measured one is not in it.
    BINX_File repeats = wennerFile({100, 300, 160, 120, 900});
    for (std::size_t i = 3; i < 5; ++i) repeats.getDatas()[i]->quadrupole = repeats.getDatas()[i - 3]->quadrupole;
    repeats.getDatas()[4]->ignore = 1;
    const std::string svg = section(repeats);
    const auto markers = panels(svg).at("Wenner");
    ASSERT_EQ(markers.size(), 3u);
    EXPECT_EQ(std::count_if(markers.begin(), markers.end(), [](const Marker& m) { return m.fill == "white"; }), 0);
    EXPECT_NE(svg.find("<title>records 0, 3 (mean of 2): ρa 110 Ω·m"), std::string::npos);
    EXPECT_NE(svg.find("<title>record 1 (1 ignored repeat left out): ρa 300 Ω·m"), std::string::npos);
    EXPECT_NE(svg.find("1 repeated reading averaged; 1 ignored repeat left out"), std::string::npos);
}

} // namespace
