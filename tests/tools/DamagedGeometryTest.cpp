// Plots of result files whose positions or values are damaged, through the tool: bounded in
// memory, the damaged readings left out and said so, and never a coordinate that is not a
// number in the SVG.
#include "SampleFolder.h"
#include "ToolRunner.h"

#include "support/TestSupport.h"

#include <binx/BINX_File.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <regex>

using namespace ertkit_tools_test;

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
const double nan = std::nan("");

// 1 GiB of address space is far more than a plot of the sample needs; under a sanitizer,
// whose shadow memory needs more, 20 s of CPU time instead.
#ifdef __SANITIZE_ADDRESS__
const char* const s_limit = "ulimit -t 20";
#else
const char* const s_limit = "ulimit -v 1048576";
#endif

// The attribute values of an SVG (coordinates, sizes, colours) that spell no finite number.
std::vector<std::string> nonFiniteAttributes(const std::string& svg)
{
    std::vector<std::string> found;
    const std::regex attribute(R"re(([a-z-]+)="([^"]*)")re");
    for (std::sregex_iterator it(svg.begin(), svg.end(), attribute), end; it != end; ++it) {
        std::string value = (*it)[2];
        std::transform(value.begin(), value.end(), value.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (value.find("nan") != std::string::npos || value.find("inf") != std::string::npos) found.push_back((*it)[0]);
    }
    return found;
}

using Damage = std::function<void(BINX_Data&, std::size_t index)>;

TEST(DamagedGeometry, PlotsLeaveOutWhatCannotBePlacedAndStayFinite)
{
    const auto x_of = [](BINX_Data& r, ElectrodeName e) { return r.quadrupole.getX(e); };
    struct Case {
        const char* name;
        Damage damage;
        std::size_t left_out; // of the sample's 97 records
    };
    const Case cases[] = {
        {"M not a number in x for 5 records", [&](BINX_Data& r, std::size_t i) { if (i < 5) r.quadrupole.setXYZ(ElectrodeName::M, nan, 0, 0); }, 5},
        {"every x not a number",
         [&](BINX_Data& r, std::size_t) {
             for (const auto e : {ElectrodeName::A, ElectrodeName::B, ElectrodeName::M, ElectrodeName::N}) r.quadrupole.setXYZ(e, nan, 0, 0);
         },
         97},
        {"A at an infinite height for 4 records", [&](BINX_Data& r, std::size_t i) { if (i % 30 == 1) r.quadrupole.setXYZ(ElectrodeName::A, x_of(r, ElectrodeName::A), 0, inf); }, 4},
        {"N not a number in y and in z", [&](BINX_Data& r, std::size_t i) { if (i == 10) r.quadrupole.setXYZ(ElectrodeName::N, x_of(r, ElectrodeName::N), nan, nan); }, 1},
        // Finite heights whose distance is not.
        {"heights apart beyond any double", [&](BINX_Data& r, std::size_t i) {
             if (i == 3) {
                 r.quadrupole.setXYZ(ElectrodeName::A, x_of(r, ElectrodeName::A), 0, 1e308);
                 r.quadrupole.setXYZ(ElectrodeName::B, x_of(r, ElectrodeName::B), 0, -1e308);
             }
         }, 1},
    };
    for (const Case& c : cases) {
        ertkit_test::TempDir dir;
        BINX_File file((sampleFolder() / "line1.binx").string());
        ASSERT_EQ(file.getDatas().size(), 97u);
        for (std::size_t i = 0; i < file.getDatas().size(); ++i) c.damage(*file.getDatas()[i], i);
        file.writeToFile(dir.file("damaged.binx"), false, 0, -1, false);
        for (const char* quantity : {"m", "r", "vp", "i", "rhoa", "k"}) {
            const std::string what = std::string(c.name) + ", " + quantity;
            const ToolRun run = runTool({"--quiet", "plot", "damaged.binx", "--quantity", quantity, "--fill", "-o", "damaged.svg"}, dir.path(), s_limit);
            if (c.left_out == 97) {
                EXPECT_EQ(run.status, 1) << what;
                EXPECT_NE(run.err.find("no record with a value of"), std::string::npos) << what << run.err;
                EXPECT_FALSE(std::filesystem::exists(dir.path() / "damaged.svg")) << what;
                continue;
            }
            ASSERT_EQ(run.status, 0) << what << run.err;
            const std::string svg = readText(dir.path() / "damaged.svg");
            EXPECT_EQ(xmlProblem(svg), "") << what;
            EXPECT_EQ(nonFiniteAttributes(svg), std::vector<std::string>{}) << what;
            EXPECT_NE(svg.find(std::to_string(c.left_out) + " with electrode positions that are not finite numbers left out"), std::string::npos)
                << what;
            EXPECT_NE(svg.find(std::to_string(97 - c.left_out) + " of 97 records plotted"), std::string::npos) << what;
            std::filesystem::remove(dir.path() / "damaged.svg");
        }
    }
}

TEST(DamagedGeometry, ValuesBeyondAnySpanAndDamagedRecordsStayFinite)
{
    ertkit_test::TempDir dir;
    BINX_File file((sampleFolder() / "line1.binx").string());
    // Vp of either sign (a linear colour scale) whose span overflows a double.
    file.getDatas()[0]->polarizationVoltage = std::numeric_limits<double>::max();
    file.getDatas()[1]->polarizationVoltage = -std::numeric_limits<double>::max();
    file.getDatas()[2]->polarizationVoltage = nan;
    file.getDatas()[3]->quadrupole.setXYZ(ElectrodeName::M, nan, nan, nan);
    file.writeToFile(dir.file("values.binx"), false, 0, -1, false);
    const std::vector<std::vector<std::string>> plots = {
        {"plot", "values.binx", "--quantity", "vp", "-o", "out.svg"},
        {"plot", "values.binx", "--quantity", "r", "--fill", "-o", "out.svg"},
        {"plot", "values.binx", "--record", "2", "-o", "out.svg"},
        {"plot", "values.binx", "--record", "3", "-o", "out.svg"},
    };
    for (const auto& args : plots) {
        const ToolRun run = runTool(args, dir.path(), s_limit);
        ASSERT_EQ(run.status, 0) << args[3] << args[4] << run.err;
        const std::string svg = readText(dir.path() / "out.svg");
        EXPECT_EQ(xmlProblem(svg), "") << args[3] << args[4];
        EXPECT_EQ(nonFiniteAttributes(svg), std::vector<std::string>{}) << args[3] << args[4];
    }
}

} // namespace
