// The inversion exports read back by parsers written here from the formats' descriptions,
// not from our writers: lines of any direction, remote electrodes, readings without values.
#include "ToolRunner.h"
#include "UdfExport.h"
#include "GeneralArrayExport.h"

#include "support/TestSupport.h"

#include <binx/BINX_File.h>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

using namespace ertkit_cli;
using namespace ertkit_tools_test;

namespace {

constexpr double far = 9999998.0;

// The unified data format: a count, then that many rows whose columns a "# name..." line
// names; electrodes first, then data; a token count of 0 ends the topography block. '#'
// starts a comment line. Electrode numbers count from 1, 0 for none.
struct Udf {
    std::vector<std::map<std::string, double>> electrodes, data;
};

Udf parseUdf(const std::string& text)
{
    std::istringstream in(text);
    std::string line;
    Udf udf;
    std::vector<std::map<std::string, double>>* blocks[] = {&udf.electrodes, &udf.data};
    for (auto* block : blocks) {
        std::vector<std::string> names;
        std::size_t count = 0;
        while (std::getline(in, line) && line.empty()) {}
        count = std::stoul(line);
        if (in.peek() == '#' && std::getline(in, line)) names = split(line.substr(2), ' ');
        while (block->size() < count && std::getline(in, line)) {
            if (line.rfind('#', 0) == 0) {
                names = split(line.substr(2), ' ');
                continue;
            }
            std::istringstream fields(line);
            std::map<std::string, double> row;
            std::string token;
            for (const std::string& name : names) {
                fields >> token;
                row[name] = std::stod(token);
            }
            block->push_back(row);
        }
    }
    std::getline(in, line);
    EXPECT_EQ(line, "0") << "no topography";
    return udf;
}

// The general array format: title, unit spacing, array type 11, sub-type, a header line,
// measurement type, datum count, x-location type, IP flag (and with IP its name, unit and
// window times), the datums (electrode count, then x and z of each electrode present, the
// value, the chargeability with IP), then zeros.
struct Datum {
    std::vector<std::pair<double, double>> electrodes;
    double value = 0.0, m = 0.0;
};
struct GeneralArray {
    std::string title, ip_name, ip_unit, windows;
    double unit = 0.0;
    int type = 0, subtype = 0, measurement = -1, x_location = -1, ip = -1;
    std::vector<Datum> datums;
    int trailing_zeros = 0;
};

GeneralArray parseGeneralArray(const std::string& text)
{
    std::istringstream in(text);
    GeneralArray g;
    std::string header;
    std::getline(in, g.title);
    in >> g.unit >> g.type >> g.subtype >> std::ws;
    std::getline(in, header);
    EXPECT_EQ(header.rfind("Type of measurement", 0), 0u) << header;
    std::size_t count = 0;
    in >> g.measurement >> count >> g.x_location >> g.ip >> std::ws;
    if (g.ip == 1) {
        std::getline(in, g.ip_name);
        std::getline(in, g.ip_unit);
        std::getline(in, g.windows);
    }
    for (std::size_t d = 0; d < count; ++d) {
        Datum datum;
        int n = 0;
        in >> n;
        datum.electrodes.resize(static_cast<std::size_t>(n));
        for (auto& [x, z] : datum.electrodes) in >> x >> z;
        in >> datum.value;
        if (g.ip == 1) in >> datum.m;
        g.datums.push_back(datum);
    }
    int zero = 0;
    while (in >> zero && zero == 0) ++g.trailing_zeros;
    EXPECT_TRUE(in.eof()) << "nothing after the zeros";
    return g;
}

// Readings in memory, electrodes given by their x, y.
BINX_File readings(const std::vector<std::array<std::pair<double, double>, 4>>& quadrupoles)
{
    BINX_File file;
    for (const auto& q : quadrupoles) {
        auto* r = new BINX_Data();
        for (int e = 0; e < 4; ++e) r->quadrupole.setXYZ(static_cast<ElectrodeName>(e), q[e].first, q[e].second, 0.0);
        r->injectedCurrent = 10.0;
        r->polarizationVoltage = 50.0;
        file.addData(r);
    }
    return file;
}

TEST(InversionExport, LinesAlongYAndObliqueAreWrittenByDistanceAlongThem)
{
    const BINX_File along_y = readings({{{{0, 20}, {0, 35}, {0, 25}, {0, 30}}}, {{{0, 30}, {0, 45}, {0, 35}, {0, 40}}}});
    std::ostringstream out;
    writeUdf(along_y, {}, out);
    const Udf udf = parseUdf(out.str());
    ASSERT_EQ(udf.electrodes.size(), 6u);
    for (std::size_t e = 0; e < 6; ++e) {
        EXPECT_EQ(udf.electrodes[e].at("x"), 20.0 + 5.0 * static_cast<double>(e));
        EXPECT_EQ(udf.electrodes[e].at("y"), 0.0);
    }
    EXPECT_EQ(udf.data[0].at("a"), 1);
    EXPECT_EQ(udf.data[0].at("b"), 4);
    std::ostringstream stored;
    writeUdf(along_y, {false, false}, stored);
    EXPECT_EQ(parseUdf(stored.str()).electrodes[0].at("y"), 20.0) << "--no-along-line keeps x and y";

    const double c = std::sqrt(0.5);
    const auto at = [&](double d) { return std::pair<double, double>(300 + d * c, 100 + d * c); };
    const BINX_File oblique = readings({{{at(0), at(15), at(5), at(10)}}});
    std::ostringstream diagonal;
    writeGeneralArray(oblique, "oblique", {}, diagonal);
    const GeneralArray g = parseGeneralArray(diagonal.str());
    ASSERT_EQ(g.datums.size(), 1u);
    const double expected[4] = {0, 15, 5, 10};
    for (std::size_t e = 0; e < 4; ++e) EXPECT_NEAR(g.datums[0].electrodes[e].first, expected[e], 1e-9);
    EXPECT_EQ(g.subtype, 1) << "Wenner";
    EXPECT_EQ(g.ip, 0);
    EXPECT_EQ(g.trailing_zeros, 4);
}

TEST(InversionExport, RemoteElectrodesAsEachFormatExpects)
{
    // Pole-dipole (B far away) and pole-pole (B and N far away).
    const BINX_File poles = readings({{{{0, 0}, {far, 0}, {5, 0}, {10, 0}}}, {{{0, 0}, {far, 0}, {10, 0}, {far, 0}}}});
    std::ostringstream udf_text, general_text;
    writeUdf(poles, {}, udf_text);
    writeGeneralArray(poles, "poles", {}, general_text);
    const Udf udf = parseUdf(udf_text.str());
    ASSERT_EQ(udf.electrodes.size(), 3u) << "remote electrodes have no position";
    EXPECT_EQ(udf.data[0].at("b"), 0);
    EXPECT_EQ(udf.data[1].at("n"), 0);
    const GeneralArray g = parseGeneralArray(general_text.str());
    ASSERT_EQ(g.datums.size(), 2u);
    EXPECT_EQ(g.datums[0].electrodes, (std::vector<std::pair<double, double>>{{0, 0}, {5, 0}, {10, 0}}));
    EXPECT_EQ(g.datums[1].electrodes, (std::vector<std::pair<double, double>>{{0, 0}, {10, 0}}));
    EXPECT_EQ(g.subtype, 0) << "mixed arrays";
}

// Readings an inversion cannot take: no current (no R), electrodes that give no K (no rho_a),
// or marked ignored. They are left out of both formats (unless kept in UDF, with valid 0), and
// a general array file with nothing to write is refused, not written empty.
TEST(InversionExport, ReadingsWithoutValuesAreLeftOutAndNothingToWriteIsAnError)
{
    enum Kind { Good, NoCurrent, NoK, Ignored };
    struct Case {
        const char* name;
        std::vector<Kind> kinds;
        std::size_t udf, kept;  // UDF data by default and with --keep-ignored
        std::string general_error; // empty: the general array file is written
    };
    const std::string no_rhoa = " without a finite apparent resistivity (no current, or electrodes that give no geometric factor)";
    const Case cases[] = {
        {"a reading without current", {Good, NoCurrent, Good}, 2, 3, ""},
        {"a reading whose electrodes coincide", {NoK, Good}, 1, 2, ""},
        {"no reading with a value", {NoCurrent, NoK}, 0, 2, "no datum to write: of its 2 readings, 2" + no_rhoa},
        {"every reading ignored", {Ignored, Ignored}, 0, 2, "no datum to write: of its 2 readings, 2 marked ignored"},
        {"ignored or without value", {Ignored, NoK, NoCurrent}, 0, 3, "no datum to write: of its 3 readings, 1 marked ignored and 2" + no_rhoa},
        {"no reading", {}, 0, 0, "no datum to write: the file holds no reading"},
    };
    for (const Case& c : cases) {
        ertkit_test::TempDir dir;
        BINX_File file;
        for (std::size_t i = 0; i < c.kinds.size(); ++i) {
            auto* r = new BINX_Data();
            const double x0 = 5.0 * static_cast<double>(i);
            const double x[4] = {x0, x0 + 15, c.kinds[i] == NoK ? x0 : x0 + 5, x0 + 10};
            for (int e = 0; e < 4; ++e) r->quadrupole.setXYZ(static_cast<ElectrodeName>(e), x[e], 0.0, 0.0);
            r->injectedCurrent = c.kinds[i] == NoCurrent ? 0.0 : 10.0;
            r->polarizationVoltage = 50.0;
            r->ignore = c.kinds[i] == Ignored ? 1 : 0;
            file.addData(r);
        }
        file.writeToFile(dir.file("survey.binx"), false, 0, -1, false);

        const ToolRun udf = runTool({"export", "survey.binx", "-f", "udf"}, dir.path());
        ASSERT_EQ(udf.status, 0) << c.name << udf.err;
        EXPECT_EQ(udf.out.find("nan"), std::string::npos) << c.name << "\n" << udf.out;
        EXPECT_EQ(parseUdf(udf.out).data.size(), c.udf) << c.name;
        const ToolRun kept = runTool({"export", "survey.binx", "-f", "udf", "--keep-ignored"}, dir.path());
        ASSERT_EQ(kept.status, 0) << c.name << kept.err;
        const Udf all = parseUdf(kept.out);
        ASSERT_EQ(all.data.size(), c.kept) << c.name;
        for (std::size_t i = 0; i < c.kept; ++i) {
            EXPECT_EQ(all.data[i].at("valid"), c.kinds[i] == Good ? 1.0 : 0.0) << c.name << " " << i;
            EXPECT_EQ(std::isfinite(all.data[i].at("rhoa")), c.kinds[i] == Good || c.kinds[i] == Ignored) << c.name << " " << i;
        }

        const ToolRun general = runTool({"export", "survey.binx", "-f", "general-array", "-o", "survey.dat"}, dir.path());
        if (c.general_error.empty()) {
            ASSERT_EQ(general.status, 0) << c.name << general.err;
            EXPECT_EQ(parseGeneralArray(readText(dir.path() / "survey.dat")).datums.size(), c.udf) << c.name;
        } else {
            EXPECT_EQ(general.status, 1) << c.name;
            EXPECT_EQ(general.err, "ertkit: survey.binx: " + c.general_error + "\n") << c.name;
            EXPECT_FALSE(std::filesystem::exists(dir.path() / "survey.dat")) << c.name;
            EXPECT_TRUE(runTool({"export", "survey.binx", "-f", "general-array"}, dir.path()).out.empty()) << c.name << ": standard output";
        }
    }
}

} // namespace
