// plot --record draws the Cole-Cole model a record keeps through its gates, and nothing of it
// when the record keeps none.
#include "SampleFolder.h"
#include "ToolRunner.h"

#include "support/TestSupport.h"

#include <binx/BINX_File.h>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <regex>
#include <sstream>
#include <utility>
#include <vector>

using namespace ertkit_tools_test;

namespace {

using Points = std::vector<std::pair<double, double>>;

// The points of the model's dashed curve, empty when there is none.
Points modelCurve(const std::string& svg)
{
    const auto from = svg.find("<g class=\"cole-cole\"");
    if (from == std::string::npos) return {};
    const std::string group = svg.substr(from, svg.find("</g>", from) - from);
    const std::smatch match = [&] {
        std::smatch m;
        std::regex_search(group, m, std::regex("points=\"([^\"]*)\""));
        return m;
    }();
    Points points;
    std::istringstream in(match[1].str());
    for (std::string pair; in >> pair;) {
        const auto comma = pair.find(',');
        points.emplace_back(std::stod(pair.substr(0, comma)), std::stod(pair.substr(comma + 1)));
    }
    return points;
}

// The decay panel's gate markers (the red circles of radius 3.5).
Points gateMarkers(const std::string& svg)
{
    Points points;
    const std::regex circle("<circle cx=\"([0-9.]+)\" cy=\"([0-9.]+)\" r=\"3.5\" fill=\"#d62728\"");
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), circle); it != std::sregex_iterator(); ++it)
        points.emplace_back(std::stod((*it)[1].str()), std::stod((*it)[2].str()));
    return points;
}

double curveAt(const Points& curve, double x)
{
    for (std::size_t k = 1; k < curve.size(); ++k)
        if (curve[k].first >= x) {
            const auto [x0, y0] = curve[k - 1];
            const auto [x1, y1] = curve[k];
            return y0 + (y1 - y0) * (x - x0) / (x1 - x0);
        }
    return std::numeric_limits<double>::quiet_NaN();
}

class RecordPlotModel : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ToolRun run = runTool({"--quiet", "reprocess", "line1.binx", "-o", dir.file("fitted.binx"), "--gates", "log:10:1900:6", "--cole-cole"},
                                    sampleFolder());
        ASSERT_EQ(run.status, 0) << run.err;
    }
    std::string plot(const std::string& file, std::size_t record) const
    {
        const ToolRun run = runTool({"--quiet", "plot", file, "--record", std::to_string(record), "-o", dir.file("record.svg")}, sampleFolder());
        EXPECT_EQ(run.status, 0) << run.err;
        return readText(dir.path() / "record.svg");
    }

    ertkit_test::TempDir dir;
};

TEST_F(RecordPlotModel, TheStoredModelIsDrawnThroughTheGatesWithItsValues)
{
    BINX_File fitted(dir.file("fitted.binx"));
    for (const std::size_t record : {0u, 40u, 90u}) {
        const BINX_Data& r = *fitted.getDatas()[record];
        ASSERT_GT(r.coleColeM, 0.0);
        const std::string svg = plot(dir.file("fitted.binx"), record);
        EXPECT_EQ(xmlProblem(svg), "");
        EXPECT_NE(svg.find(fmt::format("Cole-Cole m {:.4g} τ {:.4g} s c {:.3g}", r.coleColeM, r.coleColeTau, r.coleColeC)), std::string::npos);
        const Points curve = modelCurve(svg), gates = gateMarkers(svg);
        ASSERT_GT(curve.size(), 50u);
        ASSERT_EQ(gates.size(), 13u);
        // The fit follows the gates: the curve passes near each, within the noise of the
        // early, narrow gates (the panel is 180 pixels high), which a model drawn in other
        // units or times would not.
        double total = 0.0;
        for (const auto& [x, y] : gates) {
            EXPECT_NEAR(curveAt(curve, x), y, 25.0) << "record " << record << " at x " << x;
            total += std::abs(curveAt(curve, x) - y);
        }
        EXPECT_LT(total / static_cast<double>(gates.size()), 6.0) << "record " << record;
    }
}

TEST_F(RecordPlotModel, NoModelNoCurve)
{
    const std::vector<std::pair<const char*, std::function<void(BINX_Data&)>>> cases = {
        {"a failed fit", [](BINX_Data& r) { r.coleColeM = 0.0; }},
        {"no time constant", [](BINX_Data& r) { r.coleColeTau = 0.0; }},
        {"a time constant that is no number", [](BINX_Data& r) { r.coleColeTau = std::numeric_limits<double>::quiet_NaN(); }},
    };
    for (const auto& [what, change] : cases) {
        BINX_File file(dir.file("fitted.binx"));
        change(*file.getDatas()[3]);
        file.writeToFile(dir.file("changed.binx"), false, 0, -1, false);
        const std::string svg = plot(dir.file("changed.binx"), 3);
        EXPECT_EQ(svg.find("cole-cole"), std::string::npos) << what;
        EXPECT_EQ(svg.find("Cole-Cole"), std::string::npos) << what;
        EXPECT_EQ(gateMarkers(svg).size(), 13u) << what;
    }
    EXPECT_EQ(plot("line1.binx", 3).find("Cole-Cole"), std::string::npos) << "as the meter stored it";
}

} // namespace
