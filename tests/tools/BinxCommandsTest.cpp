// The BINX side of the tool on the sample survey: summary, exports, merging and editing.
#include "SampleFolder.h"
#include "ToolRunner.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <numbers>

using namespace ertkit_tools_test;

namespace {

constexpr double pi = std::numbers::pi;

class BinxCommands : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::copy_file(sampleFolder() / "line1.binx", dir.path() / "line1.binx"); }

    ToolRun run(const std::vector<std::string>& args, const std::string& prefix = "") const { return runTool(args, dir.path(), prefix); }
    std::string text(const std::string& name) const { return readText(dir.path() / name); }
    bool exists(const std::string& name) const { return std::filesystem::exists(dir.path() / name); }

    ertkit_test::TempDir dir;
};

TEST_F(BinxCommands, CsvRowsWithFactorsAndSerials)
{
    const ToolRun csv = run({"export", "line1.binx"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    const auto rows = lines(csv.out);
    ASSERT_EQ(rows.size(), 98u);
    const auto header = split(rows[0], ',');
    const auto first = split(rows[1], ',');
    // Dipole-dipole n = 1, a = 5 m, B A M N: K = pi n (n + 1) (n + 2) a.
    EXPECT_NEAR(std::stod(first[columnOf(header, "k_m")]), pi * 1 * 2 * 3 * 5, 1e-9);
    EXPECT_EQ(first[columnOf(header, "start_time")], "2023-06-14T08:30:00.000");
    EXPECT_EQ(first[columnOf(header, "serial_v")], "4567");
    EXPECT_EQ(first[columnOf(header, "user_serial_v")], "123");
    EXPECT_EQ(first[columnOf(header, "serial_i")], "4568");
    EXPECT_EQ(first[columnOf(header, "user_serial_i")], "124");
    EXPECT_EQ(first[columnOf(header, "stacks")], "4");
    int ignored = 0;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const auto f = split(rows[r], ',');
        ASSERT_EQ(f.size(), header.size());
        const double k = std::stod(f[columnOf(header, "k_m")]);
        EXPECT_GT(k, 0.0);
        EXPECT_NEAR(std::stod(f[columnOf(header, "rhoa_ohm_m")]), k * std::stod(f[columnOf(header, "vp_mV")]) / std::stod(f[columnOf(header, "i_mA")]),
                    1e-9 * k);
        ignored += f[columnOf(header, "ignore")] == "1" ? 1 : 0;
    }
    EXPECT_EQ(ignored, 2);
}

TEST_F(BinxCommands, JsonRecords)
{
    const ToolRun out = run({"export", "line1.binx", "-f", "json"});
    ASSERT_EQ(out.status, 0) << out.err;
    const auto json = nlohmann::json::parse(out.out);
    ASSERT_EQ(json["records"].size(), 97u);
    const auto& r = json["records"][63]; // the first Wenner reading
    EXPECT_EQ(r["electrodes"]["A"]["x"], 0.0);
    EXPECT_EQ(r["electrodes"]["B"]["x"], 15.0);
    EXPECT_NEAR(r["k_m"].get<double>(), 2 * pi * 5, 1e-9);
    EXPECT_EQ(r["orig_file"], "vp123-4567@061423_083420.vmn");
    ASSERT_EQ(r["windows"].size(), 10u);
    EXPECT_EQ(r["windows"][9]["to_ms"], 1280.0);
    EXPECT_GT(r["windows"][0]["m_mV_V"].get<double>(), r["windows"][9]["m_mV_V"].get<double>());
}

TEST_F(BinxCommands, UdfElectrodesAndData)
{
    const ToolRun out = run({"export", "line1.binx", "-f", "udf", "-o", "line1.udf"});
    ASSERT_EQ(out.status, 0) << out.err;
    const auto l = lines(text("line1.udf"));
    // The two ignored readings are left out.
    ASSERT_EQ(l.size(), 2u + 16 + 2 + 95 + 1);
    EXPECT_EQ(l[0], "16");
    // Cable order: electrode e at 5 (e - 1) m.
    for (int e = 1; e <= 16; ++e) EXPECT_EQ(l[1 + e], std::to_string(5 * (e - 1)) + " 0 0");
    EXPECT_EQ(l[18], "95");
    EXPECT_EQ(l[19], "# a b m n r rhoa ip err valid");
    EXPECT_EQ(l.back(), "0");
    std::vector<double> x(17);
    for (int e = 1; e <= 16; ++e) x[e] = std::stod(split(l[1 + e], ' ')[0]);
    int valid = 0;
    for (std::size_t i = 20; i < 115; ++i) {
        const auto f = split(l[i], ' ');
        ASSERT_EQ(f.size(), 9u);
        const double a = x[std::stoul(f[0])], b = x[std::stoul(f[1])], m = x[std::stoul(f[2])], n = x[std::stoul(f[3])];
        const double k = 2 * pi / (1 / std::abs(a - m) - 1 / std::abs(b - m) - 1 / std::abs(a - n) + 1 / std::abs(b - n));
        EXPECT_NEAR(std::stod(f[5]), k * std::stod(f[4]), 1e-9 * k) << l[i];
        valid += f[8] == "1" ? 1 : 0;
        // The relative deviation of the sample's readings: a few parts per thousand, except
        // under the spike burst of injection 2 (electrodes 4 and 3), which the meter took in.
        EXPECT_GT(std::stod(f[7]), 0.0) << l[i];
        if (f[0] != "4" || f[1] != "3") {
            EXPECT_LT(std::stod(f[7]), 0.05) << l[i];
        }
    }
    EXPECT_EQ(valid, 95);
    const ToolRun kept = run({"export", "line1.binx", "-f", "udf", "--keep-ignored"});
    ASSERT_EQ(kept.status, 0) << kept.err;
    EXPECT_EQ(lines(kept.out).size(), l.size() + 2);
    // The two kept are the only readings with valid 0.
    EXPECT_EQ(occurrences(kept.out, " 0\n"), occurrences(text("line1.udf"), " 0\n") + 2);
}

TEST_F(BinxCommands, SplitAndMergeGiveTheSameReadings)
{
    ASSERT_EQ(run({"edit", "line1.binx", "--range", "0:62", "-o", "dipoles.binx"}).status, 0);
    ASSERT_EQ(run({"edit", "line1.binx", "--range", "63:", "-o", "wenner.binx"}).status, 0);
    const ToolRun merge = run({"merge", "dipoles.binx", "wenner.binx", "-o", "merged.binx"});
    ASSERT_EQ(merge.status, 0) << merge.err;
    EXPECT_EQ(merge.out, "merged.binx: 97 records from 2 files\n");
    EXPECT_EQ(run({"export", "merged.binx"}).out, run({"export", "line1.binx"}).out);
    // The merged file lists the recordings both files name once, the records' indexes following.
    EXPECT_NE(run({"info", "merged.binx"}).out.find("recordings      4: "), std::string::npos);
}

TEST_F(BinxCommands, EditRemovesSkipsAndSetsTheFolder)
{
    const ToolRun edit = run({"edit", "line1.binx", "--remove", "0,5", "--remove", "96", "--skip-ignored", "--folder", "E:\\lines\\1", "-o",
                              "line1.binx"});
    ASSERT_EQ(edit.status, 0) << edit.err;
    const std::string info = run({"info", "line1.binx"}).out;
    EXPECT_NE(info.find("records         92 (0 ignored)"), std::string::npos) << info;
    EXPECT_NE(info.find("folder          E:\\lines\\1"), std::string::npos) << info;
    EXPECT_NE(info.find("      0      5.00      0.00     15.00     20.00"), std::string::npos) << "record 1 moved up:\n" << info;
}

TEST_F(BinxCommands, RefusedEditsWriteNothing)
{
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    const Case cases[] = {
        {{"edit", "line1.binx", "--remove", "97", "-o", "out.binx"}, "ertkit: line1.binx: record 97 does not exist (the file has 97)"},
        {{"edit", "line1.binx", "--range", "5:2", "-o", "out.binx"}, "ertkit: line1.binx: invalid range 5:2: first is after last"},
        {{"edit", "line1.binx", "--range", "x", "-o", "out.binx"}, "ertkit: line1.binx: invalid range x (expected first:last, first: or :last)"},
        {{"merge", "line1.binx", "missing.binx", "-o", "out.binx"}, "ertkit: missing.binx: no such file"},
    };
    for (const Case& c : cases) {
        const ToolRun r = run(c.args);
        EXPECT_EQ(r.status, 1) << c.error;
        EXPECT_EQ(lines(r.err).front(), c.error);
        EXPECT_FALSE(exists("out.binx")) << c.error;
    }
    std::filesystem::copy_file(sampleFolder() / "line1-wenner.bin", dir.path() / "old.bin");
    const ToolRun bin = run({"merge", "line1.binx", "old.bin", "-o", "out.binx"});
    EXPECT_EQ(lines(bin.err), (std::vector<std::string>{"ertkit: old.bin: only BINX files can be merged or edited, this is a BIN file",
                                                         "ertkit: out.binx: not written: an input could not be read"}));
    EXPECT_FALSE(exists("out.binx"));
}

TEST_F(BinxCommands, AFailedWriteKeepsTheOldFile)
{
    const std::string before = text("line1.binx");
    const ToolRun r = run({"edit", "line1.binx", "--skip-ignored", "-o", "line1.binx"}, "trap '' XFSZ; ulimit -f 64");
    EXPECT_EQ(r.status, 1);
    // The system's reason for the write that failed.
    EXPECT_EQ(r.err, "ertkit: line1.binx: cannot write line1.binx: File too large\n");
    EXPECT_EQ(text("line1.binx"), before);
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find("ertkit-tmp"), std::string::npos) << entry.path();
}

} // namespace
