// ertkit reprocess on the sample survey: its outputs, the chain beyond the meter, and what
// cannot be done is said.
#include "SampleFolder.h"
#include "ToolRunner.h"

#include "support/TestSupport.h"

#include <binx/BINX_File.h>
#include <host/HighPrecisionTime.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>

using namespace ertkit_tools_test;

namespace {

class Reprocess : public ::testing::Test {
protected:
    ToolRun run(std::vector<std::string> args) const
    {
        for (std::string& arg : args)
            if (arg.starts_with("OUT/")) arg = (dir.path() / arg.substr(4)).string();
        return runTool(args, sampleFolder());
    }

    ertkit_test::TempDir dir;
};

// What each stack gives back is the shared layer's (SampleReprocessingTest), the tool's report
// and summary lines are golden outputs; here, what a plot of the output shows.
TEST_F(Reprocess, TheRecordPlotOfTheOutputShowsTheNewStack)
{
    const ToolRun median = run({"reprocess", "line1.binx", "--stack", "median", "-o", "OUT/median.binx"});
    ASSERT_EQ(median.status, 0) << median.err;
    // Three half cycles, no burst.
    const ToolRun plot = run({"plot", (dir.path() / "median.binx").string(), "--record", "14", "-o", "OUT/14.svg"});
    ASSERT_EQ(plot.status, 0) << plot.err;
    EXPECT_NE(readText(dir.path() / "14.svg").find("3 stacks, stored"), std::string::npos);
}

TEST_F(Reprocess, WhatCannotBeDoneIsSaid)
{
    std::filesystem::copy_file(sampleFolder() / "line1.binx", dir.path() / "alone.binx");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const std::vector<Case> cases{
        {{"reprocess", "OUT/alone.binx", "-o", "OUT/x.binx"}, 1, "no record could be reprocessed (voltage recording missing: vp123-4567@061423_083000.vmn is not in "},
        {{"reprocess", "line1.binx", "--stack", "average", "-o", "OUT/x.binx"}, 105, "--stack"},
    };
    for (const Case& c : cases) {
        const ToolRun r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[1] << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "x.binx"));
    }
    // Records that cannot be joined keep their stored values and are named.
    std::filesystem::copy_file(sampleFolder() / "vp123-4567@061423_083000.vmn", dir.path() / "vp123-4567@061423_083000.vmn");
    std::filesystem::copy_file(sampleFolder() / "in124-4568@061423_083000.iab", dir.path() / "in124-4568@061423_083000.iab");
    const ToolRun partial = run({"reprocess", "OUT/alone.binx", "-o", "OUT/partial.binx"});
    ASSERT_EQ(partial.status, 0) << partial.err;
    EXPECT_NE(partial.out.find("63 of 97 records reprocessed"), std::string::npos);
    // The record is told by the recording it names, not by another one of its receiver.
    const std::string missing = "voltage recording missing: vp123-4567@061423_083420.vmn is not in " + dir.path().string();
    EXPECT_NE(partial.err.find("record 63 kept as stored: " + missing + "\n"), std::string::npos) << partial.err;
    EXPECT_NE(partial.err.find("… 24 more records kept as stored"), std::string::npos);
    ASSERT_EQ(run({"reprocess", "OUT/alone.binx", "-o", "OUT/partial.binx", "--report", "OUT/partial.csv"}).status, 0);
    EXPECT_NE(readText(dir.path() / "partial.csv").find("\n63,0," + missing + ",,,,,,,0,0,1124.1523734288107,,,,"), std::string::npos);
    // A recording there but unreadable is named with why.
    ertkit_test::writeFile((dir.path() / "vp123-4567@061423_083420.vmn").string(), std::vector<std::uint8_t>(300, 0));
    const ToolRun damaged = run({"reprocess", "OUT/alone.binx", "-o", "OUT/partial.binx"});
    EXPECT_NE(damaged.err.find("record 63 kept as stored: cannot read vp123-4567@061423_083420.vmn: "), std::string::npos) << damaged.err;
}

TEST_F(Reprocess, OptionsThatCannotBeHonouredWriteNothing)
{
    ertkit_test::writeFile(dir.file("report.csv"), {'o', 'l', 'd'});
    struct Case {
        std::vector<std::string> options;
        std::string err; // part of the one line of error
    };
    const Case cases[] = {
        {{"--windows", "2000:4000"}, "record 0: window 1 (2000:4000 ms) ends after the recorded decay, which lasts 2000 ms after the switch-off"},
        {{"--windows", "0:1e9"}, "window 1 (0:1000000000 ms) ends after the recorded decay"},
        {{"--windows", "0.0001:0.0002"}, "window 1 (0.0001:0.0002 ms) holds no sample (one every 10 ms)"},
        {{"--windows", "40:60,"}, "--windows: '40:60,' holds an empty window (a comma too many?)"},
        {{"--windows", "0x28:0x3C"}, "--windows: '0x28:0x3C' is not a window"},
        {{"--stack", "trimmed", "--trim", "0.5"}, "--trim: the fraction cut at each end must be 0 or more and below 0.5"},
        {{"--gates", "log:0:10:0"}, "--gates: the first gate must start after the switch-off (above 0 ms), not at 0 ms"},
        {{"--gates", "log:10:1900:0"}, "--gates: give a positive number of gates a decade, not 0"},
        {{"--gates", "log:10:5:3"}, "--gates: the last gate must end after the first starts (10 ms), not at 5 ms"},
        {{"--gates", "log:1:2000:7"}, "--gates: 7 gates a decade from 1 to 2000 ms make 24 gates, and a record holds at most 20"},
        {{"--gates", "lin:10:100:3"}, "--gates: 'lin:10:100:3' is not a gate spacing: give log:FIRST_MS:LAST_MS:PER_DECADE"},
        {{"--gates", "log:100:3000:4"}, "record 0: gate 6 (1700:3000 ms) ends after the recorded decay, which lasts 2000 ms after the switch-off"},
        {{"--gates", "log:10:1900:6", "--taper", "hann"}, "record 0: gate 1 (10:20 ms) holds one sample (one every 10 ms): a taper needs two or more"},
        {{"--windows", "40:50,50:100", "--taper", "hann"}, "record 0: window 1 (40:50 ms) holds one sample (one every 10 ms)"},
        {{"--drift-order", "6"}, "--drift-order: the drift's order must be from 0 to 5, not 6"},
        {{"--spikes", "-3"}, "--spikes: the spike limit must be a number of deviations, 0 or more (0: none looked for), not -3"},
        {{"--mains", "nan"}, "--mains: the power line's frequency must be a number of Hz, 0 or more (0: its noise left), not nan"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"reprocess", "line1.binx", "-o", "OUT/x.binx", "--report", "OUT/report.csv"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const ToolRun r = run(args);
        EXPECT_NE(r.status, 0) << c.options[1];
        EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "x.binx")) << c.options[1];
        EXPECT_EQ(readText(dir.path() / "report.csv"), "old") << c.options[1];
    }
    // The last window may end where the decay ends.
    EXPECT_EQ(run({"reprocess", "line1.binx", "--windows", "0:2000", "-o", "OUT/x.binx"}).status, 0);
}

// Both outputs or neither is OutputGroupTest's, and HostileInputTest's for a reprocess cut short.
TEST_F(Reprocess, TheOutputIsABinxFileWhateverItsName)
{
    const ToolRun dat = run({"reprocess", "line1.binx", "-o", "OUT/e.dat", "--report", "OUT/report.csv"});
    ASSERT_EQ(dat.status, 0) << dat.err;
    EXPECT_EQ(lines(readText(dir.path() / "report.csv")).size(), 98u);
    std::filesystem::copy_file(dir.path() / "e.dat", dir.path() / "e.binx");
    EXPECT_EQ(lines(run({"export", "OUT/e.binx"}).out).size(), 98u) << "the header and every record";
    const ToolRun out = run({"reprocess", "line1.binx", "-o", "/dev/stdout"});
    ASSERT_EQ(out.status, 0) << out.err;
    EXPECT_EQ(out.out.substr(0, out.out.size() - std::string("/dev/stdout: 97 of 97 records reprocessed (mean stacking)\n").size()),
              readText(dir.path() / "e.dat"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 3)
        << "no temporary file stays";
}

// The plot of a record without a stored stack names where in its recording it found it: here a
// record whose injection begins 8 s (one cycle) into the start that holds it. That the plot and
// reprocess join it alike is the shared layer's (SampleReprocessingTest).
TEST_F(Reprocess, ThePlotOfARecordThatBeginsLateInItsStartSaysWhere)
{
    BINX_File file((sampleFolder() / "line1.binx").string());
    BINX_Data& late = *file.getDatas()[0];
    late.startTimeV = late.startTimeI = HighPrecisionTime::convertDateTime(late.getStartTime(true) + HighPrecisionTime::s_second * 8);
    late.stackData.fill(0.0f);
    file.writeToFile(dir.file("late.binx"), false, 0, -1, false);
    for (const auto& item : std::filesystem::directory_iterator(sampleFolder()))
        if (item.path().extension() == ".vmn") std::filesystem::copy_file(item.path(), dir.path() / item.path().filename());
    const ToolRun plot = runTool({"--quiet", "plot", "late.binx", "--record", "0", "-o", "late.svg"}, dir.path());
    ASSERT_EQ(plot.status, 0) << plot.err;
    const std::string svg = readText(dir.path() / "late.svg");
    EXPECT_NE(svg.find("computed from vp123-4567@061423_083000.vmn, start 0 from sample 800, channel 0"), std::string::npos);
}

} // namespace

// A survey generated from known Cole-Cole decays without any noise: the meter's way gives the
// stored values back, and the processing beyond it finds every planted decay again, as close
// as the recordings' single-precision samples allow.
TEST_F(Reprocess, TheChainBeyondTheMeterFindsThePlantedDecays)
{
    const std::filesystem::path survey = dir.path() / "survey";
    ASSERT_EQ(run({"sample", survey.string(), "--electrodes", "6", "--noise", "level=0,spikes=0,drift=0,mains=0"}).status, 0);
    const std::string binx = (survey / "line1.binx").string();
    const ToolRun meter = run({"reprocess", binx, "-o", "OUT/meter.binx", "--report", "OUT/meter.csv"});
    ASSERT_EQ(meter.status, 0) << meter.err;
    const auto meter_rows = lines(readText(dir.path() / "meter.csv"));
    const std::size_t m_diff = columnOf(split(meter_rows[0], ','), "m_rel_diff");
    for (std::size_t r = 1; r < meter_rows.size(); ++r) EXPECT_EQ(std::stod(split(meter_rows[r], ',').at(m_diff)), 0.0) << r;

    const ToolRun full = run({"reprocess", binx, "-o", "OUT/full.binx", "--report", "OUT/full.csv", "--gates", "log:10:1900:6", "--drift-order",
                              "3", "--spikes", "5", "--mains", "50", "--cole-cole"});
    ASSERT_EQ(full.status, 0) << full.err;
    // The JSON export gives each gate's deviation where reprocessing stored them, only there.
    const auto json = nlohmann::json::parse(run({"export", "OUT/full.binx", "-f", "json"}).out);
    ASSERT_EQ(json["records"][0]["windows"].size(), 13u);
    EXPECT_TRUE(json["records"][0]["windows"][12].contains("m_std_mV_V"));
    EXPECT_FALSE(nlohmann::json::parse(run({"export", binx, "-f", "json"}).out)["records"][0]["windows"][0].contains("m_std_mV_V"));
    const auto rows = lines(readText(dir.path() / "full.csv"));
    const auto truth = lines(readText(survey / "line1-decay-truth.csv"));
    ASSERT_EQ(rows.size(), truth.size());
    const auto header = split(rows[0], ','), truth_header = split(truth[0], ',');
    const std::pair<const char*, const char*> planted[] = {{"cc_m", "m"}, {"cc_tau_s", "tau_s"}, {"cc_c", "c"}};
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const auto row = split(rows[r], ','), known = split(truth[r], ',');
        EXPECT_EQ(row.at(columnOf(header, "spikes")), "0") << r;
        for (const auto& [fitted, true_name] : planted) {
            const double value = std::stod(row.at(columnOf(header, fitted))), expected = std::stod(known.at(columnOf(truth_header, true_name)));
            EXPECT_NEAR(value, expected, 2e-3 * expected) << fitted << " of record " << r - 1;
        }
    }
}
