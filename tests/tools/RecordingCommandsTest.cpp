// The recording side of the tool, run as a user runs it: export and plot of a full-wave
// recording made by the test page builder. What info says of a recording is a golden output;
// the JSON export is held value by value against the package's reading by test_survey.py.
#include "ToolRunner.h"

#include <writers/FullWavePages.h>
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace ertkit_tools_test;

namespace {

constexpr const char* s_name = "vp123-4567@120523_143015.vmn";

// Start 0: 3 channels, 250 samples from 0; start 1: 2 channels, 40 samples from 1.
// Channel 2 of sample 5 is beyond the full input range: the reader flags it, and channel 1
// too, since the signed sum of channels 1 and 2 reaches the range.
float value(std::uint32_t sample, unsigned int channel)
{
    if (channel == 2 && sample == 5) return 15000.0f;
    return static_cast<float>(sample) * 0.5f + static_cast<float>(channel);
}

class RecordingCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        ertkit_writers::ConfigFields fields;
        fields.gmt_offset = 1.0f;
        fields.date = 1700000000;
        ertkit_writers::RecordingBuilder builder;
        builder.start(fields, 0, 250, value);
        fields.n_channel = 2;
        fields.date = 1700000600;
        builder.start(fields, 1, 40, value);
        builder.save(dir.file(s_name));
    }

    ertkit_test::TempDir dir;
};

TEST_F(RecordingCommands, CsvHasOneRowPerSample)
{
    const ToolRun run = runTool({"export", s_name, "--format", "csv", "-o", "out.csv"}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const auto rows = lines(readText(dir.path() / "out.csv"));
    ASSERT_EQ(rows.size(), 1u + 250 + 40);
    EXPECT_EQ(rows[0], "start,sample,time,t_s,ch0_mV,ch1_mV,ch2_mV,overload0,overload1,overload2,pps");
    EXPECT_EQ(rows[1], "0,0,2023-11-14T21:13:19.000Z,0,0,1,2,0,0,0,1");
    EXPECT_EQ(rows[6], "0,5,2023-11-14T21:13:19.050Z,0.05,2.5,3.5,15000,0,1,1,0");
    // The second start has two channels: its third channel cells stay empty. Its samples are
    // numbered from 1, so the first sample value is 0.5.
    EXPECT_EQ(rows[251].substr(0, 4), "1,0,");
    EXPECT_NE(rows[251].find(",0.5,1.5,,0,0,,"), std::string::npos) << rows[251];
}

TEST_F(RecordingCommands, UdfIsRefusedForRecordings)
{
    const ToolRun run = runTool({"export", s_name, "-f", "udf", "-o", "x.udf"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, std::string("ertkit: ") + s_name + ": the udf and general-array formats hold result files only, not recordings\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "x.udf"));
}

TEST_F(RecordingCommands, PlotIsWellFormedSvgWithAxesAndMarks)
{
    const ToolRun run = runTool({"plot", s_name, "-o", "start0.svg"}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string svg = readText(dir.path() / "start0.svg");
    EXPECT_EQ(xmlProblem(svg), "");
    EXPECT_NE(svg.find("time since start (s)"), std::string::npos);
    EXPECT_NE(svg.find("ch2 (mV)"), std::string::npos);
    EXPECT_NE(svg.find("overloaded sample"), std::string::npos);
    EXPECT_NE(svg.find("fill=\"#d62728\""), std::string::npos) << "the overloaded sample is marked";

    const ToolRun missing = runTool({"plot", s_name, "--start", "2", "-o", "start2.svg"}, dir.path());
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("start 2 does not exist (the recording has 2)"), std::string::npos) << missing.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "start2.svg"));

    const ToolRun wrong = runTool({"plot", s_name, "--record", "0", "-o", "record.svg"}, dir.path());
    EXPECT_EQ(wrong.err, std::string("ertkit: ") + s_name + ": --record is for result files; a recording takes --start\n");
}

} // namespace

namespace {

// A start of 50 minutes: 3000 PPS, more than a plot marks one by one.
TEST(RecordingPlot, MarksThePpsOverTheWholeStart)
{
    ertkit_test::TempDir dir;
    ertkit_writers::ConfigFields fields;
    fields.n_channel = 1;
    fields.date = 1700000000;
    ertkit_writers::RecordingBuilder builder;
    builder.start(fields, 0, 300000, [](std::uint32_t k, unsigned int) { return static_cast<float>(k % 800); });
    builder.save(dir.file(s_name));
    const ToolRun run = runTool({"plot", s_name, "-o", "long.svg"}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string svg = readText(dir.path() / "long.svg");
    EXPECT_EQ(xmlProblem(svg), "");
    // One tick per pixel column that holds a PPS: every column of the 880 px frame here.
    const std::string tick = "stroke=\"#ff8c00\" stroke-width=\"1.5\"/>";
    EXPECT_EQ(occurrences(svg, tick), 880u + 1) << "and one in the legend";
    const auto last = svg.rfind("<line x1=\"", svg.rfind(tick));
    EXPECT_GT(std::stod(svg.substr(last + 10)), 955.0) << "the last tick sits at the end of the start";
}

} // namespace
