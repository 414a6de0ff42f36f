// The sample survey as the tool writes it, and the plots of its legacy file.
#include "SampleFolder.h"
#include "ToolRunner.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

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

TEST_F(SampleFiles, NoiseSettingsRefusedWithNothingWrittenOrWrittenWithTheirTruth)
{
    const struct {
        const char* settings;
        const char* err_part;
    } refused[] = {
        {"level=-1", "--noise: noise setting level=-1 is outside 0 to 100"},
        {"volume=2", "--noise: unknown noise setting 'volume'"},
    };
    for (const auto& c : refused) {
        const ToolRun run = runTool({"sample", "noisy", "--noise", c.settings}, folder);
        EXPECT_NE(run.status, 0) << c.settings;
        EXPECT_NE(run.err.find(c.err_part), std::string::npos) << run.err;
        EXPECT_EQ(lines(run.err).size(), 1u) << run.err;
        EXPECT_FALSE(std::filesystem::exists(folder / "noisy")) << c.settings;
    }
    const ToolRun run = runTool({"sample", "noisy", "--noise"}, folder);
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* name : {"line1-decay-truth.csv", "line1-clean-stacks.csv", "line1-noise.json"}) {
        EXPECT_NE(run.out.find(std::string("  ") + name + "\n"), std::string::npos) << run.out;
        EXPECT_TRUE(std::filesystem::exists(folder / "noisy" / name)) << name;
    }
    const std::string json = readText(folder / "noisy" / "line1-noise.json");
    for (const char* setting : {"\"level_mV\": 0.3", "\"spikes_per_start\": 2.0", "\"drift_mV\": 20.0", "\"mains_mV\": 2.0", "\"cycles\": 4"})
        EXPECT_NE(json.find(setting), std::string::npos) << setting << " in " << json;
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
