// The structure of the pseudo-section SVG: the colour bar's labels, one panel per array, no
// two markers of a panel on one position, hollow or left-out ignored readings.
#include "ColourScale.h"
#include "PseudoSection.h"
#include "SampleFolder.h"
#include "ToolRunner.h"

#include <binx/BINX_File.h>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <regex>
#include <set>
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
        EXPECT_NE(group(svg, "colour-bar").find("ρa (Ω·m)"), std::string::npos) << c.name;
    }
}

TEST(ColourBar, InnerTicksStepByOneTwoFiveAndKeepApart)
{
    for (const AxisRange range : {AxisRange{110, 140, true}, AxisRange{1, 1e6, true}, AxisRange{-3.2, 17.5, false}, AxisRange{60.7, 263, true}}) {
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

TEST(PseudoSection, OnePanelPerArrayAndNoMarkerHidesAnother)
{
    const BINX_File file((sampleFolder() / "line1.binx").string());
    const std::string svg = section(file);
    EXPECT_EQ(xmlProblem(svg), "");
    const auto found = panels(svg);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found.at("Wenner").size(), 34u);
    EXPECT_EQ(found.at("dipole-dipole").size(), 63u);
    for (const auto& [array, markers] : found) {
        std::set<std::pair<double, double>> positions;
        for (const Marker& m : markers) EXPECT_TRUE(positions.insert({m.x, m.y}).second) << array << " " << m.x << "," << m.y;
    }
    // Each marker tells its record and values on hover.
    EXPECT_NE(svg.find("<title>record 63: ρa 74.32 Ω·m, M 6.068 mV/V, Wenner a = 5 m n = 1</title>"), std::string::npos);
}

TEST(PseudoSection, IgnoredReadingsHollowOrLeftOut)
{
    const BINX_File file = wennerFile({100, 120, 140}, true);
    const auto hollow = panels(section(file)).at("Wenner");
    ASSERT_EQ(hollow.size(), 3u);
    EXPECT_EQ(std::count_if(hollow.begin(), hollow.end(), [](const Marker& m) { return m.fill == "white"; }), 1);
    EXPECT_EQ(panels(section(file, {"rhoa", true, false})).at("Wenner").size(), 2u);
}

TEST(PseudoSection, QuantitiesCarryTheirUnits)
{
    const BINX_File file((sampleFolder() / "line1.binx").string());
    const std::pair<const char*, const char*> cases[] = {{"m", "M (mV/V)"}, {"r", "R (Ω)"}, {"vp", "Vp (mV)"}, {"i", "I (mA)"}, {"k", "K (m)"}};
    for (const auto& [quantity, title] : cases)
        EXPECT_NE(group(section(file, {quantity, false, false}), "colour-bar").find(title), std::string::npos) << quantity;
    const std::string filled = section(file, {"rhoa", false, true});
    EXPECT_GT(occurrences(group(filled, "fill"), "<polygon"), 97u);
    EXPECT_EQ(xmlProblem(filled), "");
}

TEST(PseudoSection, StaysLightForManyRecords)
{
    std::vector<double> rhoa(50000);
    for (std::size_t i = 0; i < rhoa.size(); ++i) rhoa[i] = 50.0 + static_cast<double>(i % 97);
    const std::string svg = section(wennerFile(rhoa));
    EXPECT_LT(svg.size() / rhoa.size(), 160u);
}

} // namespace
