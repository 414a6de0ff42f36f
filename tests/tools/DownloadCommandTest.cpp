// ertkit download against ertkit meter-sim, both run as a user runs them.
#include "SampleFolder.h"
#include "ToolRunner.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace ertkit_tools_test;

namespace {

std::size_t column(const std::vector<std::string>& header, const std::string& name)
{
    return static_cast<std::size_t>(std::find(header.begin(), header.end(), name) - header.begin());
}

TEST(DownloadCommand, RecordsOfTheSampleSurveyComeDownAsBinx)
{
    ertkit_test::TempDir dir;
    BackgroundTool meter({"meter-sim", "--records", "12", "--seconds", "60"}, dir.path());
    const std::string port = meter.firstLine();
    ASSERT_FALSE(port.empty());
    const ToolRun download = runTool({"download", "--port", port, "--first", "0", "--last", "11", "-o", "down.binx"}, dir.path());
    ASSERT_EQ(download.status, 0) << download.err;
    EXPECT_EQ(download.out, "down.binx: 12 measures downloaded\n");
    EXPECT_EQ(meter.stop(), 0);

    // The meter holds the survey's first twelve readings: the same values as the sample BINX
    // file, to single precision, and the same start times.
    const auto got = lines(runTool({"export", "down.binx"}, dir.path()).out);
    const auto want = lines(runTool({"export", "line1.binx"}, sampleFolder()).out);
    ASSERT_EQ(got.size(), 13u);
    const auto header = split(got[0], ',');
    ASSERT_EQ(header, split(want[0], ','));
    for (std::size_t r = 1; r < got.size(); ++r) {
        const auto g = split(got[r], ','), w = split(want[r], ',');
        for (const char* name : {"ax", "bx", "mx", "nx", "vp_mV", "i_mA", "k_m", "rhoa_ohm_m", "m_mV_V", "m5_mV_V"})
            EXPECT_NEAR(std::stod(g[column(header, name)]), std::stod(w[column(header, name)]), 1e-5 * std::abs(std::stod(w[column(header, name)])))
                << name << " of record " << r - 1;
        for (const char* name : {"start_time", "t0_ms", "t10_ms", "stacks"}) EXPECT_EQ(g[column(header, name)], w[column(header, name)]) << name;
    }
}

TEST(DownloadCommand, ARawTransferAlsoWritesItsRecording)
{
    ertkit_test::TempDir dir;
    BackgroundTool meter({"meter-sim", "--raw", "voltage", "--records", "3", "--seconds", "60"}, dir.path());
    const std::string port = meter.firstLine();
    ASSERT_FALSE(port.empty());
    const ToolRun download = runTool({"download", "--port", port, "--first", "0", "--last", "2", "-o", "raw.binx"}, dir.path());
    ASSERT_EQ(download.status, 0) << download.err;
    EXPECT_EQ(lines(download.out), (std::vector<std::string>{"raw.binx: 3 measures downloaded", "raw.vmn: full-wave recording"}));
    const ToolRun info = runTool({"info", "raw.vmn"}, dir.path());
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("voltage receiver (VMN)"), std::string::npos) << info.out;
}

TEST(DownloadCommand, NoMeterNoFile)
{
    ertkit_test::TempDir dir;
    const ToolRun download = runTool({"download", "--port", "/dev/null-meter", "--first", "0", "--last", "3", "-o", "none.binx"}, dir.path());
    EXPECT_EQ(download.status, 1);
    EXPECT_EQ(download.err, "ertkit: /dev/null-meter: cannot open the port /dev/null-meter: no such device (is the meter plugged in?); nothing written\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "none.binx"));
}

} // namespace
