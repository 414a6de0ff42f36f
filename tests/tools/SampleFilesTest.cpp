// The sample survey as the tool writes it, and the result-file commands run on it.
#include "SampleFolder.h"
#include "ToolRunner.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <numbers>

using namespace ertkit_tools_test;

namespace {

// The BIN side of the sample; outputs go to a folder of the test's own.
class SampleFiles : public ::testing::Test {
protected:
    ToolRun run(const std::vector<std::string>& args) const
    {
        std::filesystem::copy_file(sampleFolder() / "line1-wenner.bin", dir.path() / "line1-wenner.bin",
                                   std::filesystem::copy_options::skip_existing);
        return runTool(args, folder);
    }

    ertkit_test::TempDir dir;
    const std::filesystem::path folder = dir.path();
};

TEST_F(SampleFiles, SameSeedSameBytes)
{
    ASSERT_EQ(runTool({"sample", "again"}, dir.path()).status, 0);
    ASSERT_EQ(runTool({"sample", "other", "--seed", "2"}, dir.path()).status, 0);
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(sampleFolder())) {
        const auto name = entry.path().filename();
        EXPECT_EQ(readText(entry.path()), readText(dir.path() / "again" / name)) << name;
        // The truth of the reciprocal line is the model's, whatever the seed draws.
        if (name != "line1-reciprocal-truth.csv") {
            EXPECT_NE(readText(entry.path()), readText(dir.path() / "other" / name)) << name;
        }
        ++files;
    }
    EXPECT_GE(files, 2u);
}

TEST_F(SampleFiles, BinCsvRowsCarryTheGeometricFactor)
{
    const ToolRun csv = run({"export", "line1-wenner.bin", "-f", "csv"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    const auto rows = lines(csv.out);
    ASSERT_EQ(rows.size(), 35u);
    const auto header = split(rows[0], ',');
    const auto column = [&](const std::string& name) { return columnOf(header, name); };
    ASSERT_LT(column("user_serial_i"), header.size());
    EXPECT_EQ(header.back(), "t10_ms");
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const auto f = split(rows[r], ',');
        ASSERT_EQ(f.size(), header.size()) << rows[r];
        // Wenner: A M N B equally spaced, K = 2 pi a.
        const double a = std::stod(f[column("mx")]) - std::stod(f[column("ax")]);
        EXPECT_NEAR(std::stod(f[column("k_m")]), 2 * std::numbers::pi * a, 1e-9 * a);
        EXPECT_NEAR(std::stod(f[column("rhoa_ohm_m")]), std::stod(f[column("k_m")]) * std::stod(f[column("r_ohm")]), 1e-6);
        EXPECT_EQ(f[column("serial_v")], "4567");
        EXPECT_EQ(f[column("user_serial_i")], "124");
        EXPECT_EQ(f[column("t0_ms")], "40.0");
        EXPECT_EQ(f[column("t1_ms")], "60.0");
        EXPECT_EQ(f[column("t10_ms")], "1280.0");
        EXPECT_EQ(f[column("valid")], "1");
    }
}

TEST_F(SampleFiles, BinJsonReadsBack)
{
    const ToolRun out = run({"export", "line1-wenner.bin", "-f", "json", "-o", "wenner.json"});
    ASSERT_EQ(out.status, 0) << out.err;
    const auto json = nlohmann::json::parse(readText(folder / "wenner.json"));
    EXPECT_EQ(json["type"], "BIN");
    ASSERT_EQ(json["records"].size(), 34u);
    const auto& r = json["records"][0];
    EXPECT_EQ(r["electrodes"]["B"]["x"], 15.0);
    EXPECT_EQ(r["electrodes"]["N"]["remote"], false);
    EXPECT_EQ(r["windows"].size(), 10u);
    EXPECT_EQ(r["windows"][0]["from_ms"], 40.0);
    EXPECT_EQ(r["stacks"], 4);
    EXPECT_EQ(r["orig_file"], "WENNER16.SEQ");
    EXPECT_NEAR(r["rhoa_ohm_m"].get<double>(), r["k_m"].get<double>() * r["vp_mV"].get<double>() / r["i_mA"].get<double>(), 1e-9);
}

TEST_F(SampleFiles, BinUdfTables)
{
    const ToolRun udf = run({"export", "line1-wenner.bin", "-f", "udf"});
    ASSERT_EQ(udf.status, 0) << udf.err;
    const auto l = lines(udf.out);
    ASSERT_EQ(l.size(), 1u + 1 + 16 + 1 + 1 + 34 + 1);
    EXPECT_EQ(l[0], "16");
    EXPECT_EQ(l[1], "# x y z");
    // Cable order: the first Wenner reading's A, M, N, B at 0, 5, 10, 15 m.
    EXPECT_EQ(l[2], "0 0 0");
    EXPECT_EQ(l[3], "5 0 0");
    EXPECT_EQ(l[17], "75 0 0");
    EXPECT_EQ(l[18], "34");
    // Legacy records record no deviation: every reading gets the error floor.
    EXPECT_EQ(l[19], "# a b m n r rhoa ip err valid");
    EXPECT_EQ(l[20].substr(0, 8), "1 4 2 3 ");
    EXPECT_EQ(l.back(), "0");
    for (std::size_t i = 20; i < 54; ++i) {
        const auto f = split(l[i], ' ');
        ASSERT_EQ(f.size(), 9u) << l[i];
        EXPECT_EQ(f[7], "0.02") << l[i];
        const auto x = [&](std::size_t k) { return std::stod(split(l[1 + std::stoul(f[k])], ' ')[0]); };
        EXPECT_NEAR(std::stod(f[5]), 2 * std::numbers::pi * (x(2) - x(0)) * std::stod(f[4]), 1e-6) << l[i];
        EXPECT_EQ(f[8], "1");
    }
}

TEST_F(SampleFiles, BinPlots)
{
    ASSERT_EQ(run({"plot", "line1-wenner.bin", "-o", "section.svg"}).status, 0);
    const std::string section = readText(folder / "section.svg");
    EXPECT_EQ(xmlProblem(section), "");
    EXPECT_NE(section.find("pseudo-depth (m)"), std::string::npos);
    EXPECT_NE(section.find("position along the line (m)"), std::string::npos);
    EXPECT_NE(section.find("ρa (Ω·m)"), std::string::npos);
    EXPECT_EQ(occurrences(section, "<circle"), 34u);

    ASSERT_EQ(run({"plot", "line1-wenner.bin", "--record", "3", "-o", "record.svg"}).status, 0);
    const std::string record = readText(folder / "record.svg");
    EXPECT_EQ(xmlProblem(record), "");
    EXPECT_NE(record.find("chargeability decay"), std::string::npos);
    EXPECT_EQ(occurrences(record, "<circle"), 10u) << "one point per window";
    EXPECT_NE(record.find("no stacked signal in this record, and no recording of it beside the file"), std::string::npos);

    // With its voltage recording beside it, the record's stack is computed from the start
    // of its time, on its channel.
    std::filesystem::copy_file(sampleFolder() / "vp123-4567@061423_083420.vmn", folder / "vp123-4567@061423_083420.vmn");
    ASSERT_EQ(run({"plot", "line1-wenner.bin", "--record", "3", "-o", "computed.svg"}).status, 0);
    const std::string computed = readText(folder / "computed.svg");
    EXPECT_NE(computed.find("computed from vp123-4567@061423_083420.vmn, start 3, channel 0"), std::string::npos);
    EXPECT_NE(computed.find("off time after the switch-off"), std::string::npos);

    const ToolRun past = run({"plot", "line1-wenner.bin", "--record", "34", "-o", "none.svg"});
    EXPECT_EQ(past.status, 1);
    EXPECT_EQ(past.err, "ertkit: line1-wenner.bin: record 34 does not exist (the file has 34)\n");
}

} // namespace

namespace {

// Every reading of the BINX file names recordings that exist beside it, made by receivers
// with the reading's serial numbers, holding a start at the reading's start time.
TEST(SampleRecordings, MatchTheReadingsThatNameThem)
{
    const auto& folder = sampleFolder();
    const std::string binx_info = runTool({"info", "line1.binx"}, folder).out;
    const std::string listed = split(lines(binx_info)[4], ':').back();
    const auto names = split(listed.substr(1), ' ');
    ASSERT_EQ(names.size(), 4u) << binx_info;
    std::string recording_info;
    for (const std::string& name : names) {
        ASSERT_TRUE(std::filesystem::exists(folder / name)) << name;
        const ToolRun info = runTool({"info", name}, folder);
        ASSERT_EQ(info.status, 0) << info.err;
        const bool voltage = name.ends_with(".vmn");
        EXPECT_NE(info.out.find(voltage ? "serial number   4567 (user serial 123)" : "serial number   4568 (user serial 124)"), std::string::npos)
            << info.out;
        recording_info += info.out;
    }
    // 13 dipole-dipole and 34 Wenner injections, each a start in a voltage and a current recording.
    EXPECT_EQ(occurrences(recording_info, "  1600     16.00 s  "), 2u * 47);
    EXPECT_EQ(occurrences(recording_info, "start 2: overloaded samples on ch0 1, ch1 1, ch2 1, ch3 1, ch4 1, ch5 1"), 1u) << recording_info;
    const auto rows = lines(runTool({"export", "line1.binx"}, folder).out);
    const auto header = split(rows[0], ',');
    const std::size_t time_column = columnOf(header, "start_time");
    for (std::size_t r = 1; r < rows.size(); ++r)
        EXPECT_EQ(occurrences(recording_info, split(rows[r], ',')[time_column] + "Z"), 2u) << "voltage and current start of record " << r - 1;
}

} // namespace
