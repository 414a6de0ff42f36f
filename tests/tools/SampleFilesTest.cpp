// The sample survey as the tool writes it, and the record plots of its legacy file.
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

// That one seed gives the same bytes is the golden sample files' and the generator's
// (SampleNoiseTest); here, that --seed reaches the generator.
TEST_F(SampleFiles, AnotherSeedOtherBytes)
{
    ASSERT_EQ(runTool({"sample", "other", "--seed", "2"}, dir.path()).status, 0);
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(sampleFolder())) {
        const auto name = entry.path().filename();
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

// The section, and the record plot with its recording beside it, are golden outputs; here, a
// record without its recording, and a record that is not there.
TEST_F(SampleFiles, BinRecordPlots)
{
    ASSERT_EQ(run({"plot", "line1-wenner.bin", "--record", "3", "-o", "record.svg"}).status, 0);
    const std::string record = readText(folder / "record.svg");
    EXPECT_EQ(xmlProblem(record), "");
    EXPECT_EQ(occurrences(record, "<circle"), 10u) << "one point per window";
    EXPECT_NE(record.find("no stacked signal in this record, and no recording of it beside the file"), std::string::npos);

    const ToolRun past = run({"plot", "line1-wenner.bin", "--record", "34", "-o", "none.svg"});
    EXPECT_EQ(past.status, 1);
    EXPECT_EQ(past.err, "ertkit: line1-wenner.bin: record 34 does not exist (the file has 34)\n");
}

} // namespace
