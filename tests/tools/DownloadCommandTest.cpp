// ertkit download against ertkit meter-sim, both run as a user runs them.
#include "SampleFolder.h"
#include "ToolRunner.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

using namespace ertkit_tools_test;

namespace {

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
            EXPECT_NEAR(std::stod(g[columnOf(header, name)]), std::stod(w[columnOf(header, name)]), 1e-5 * std::abs(std::stod(w[columnOf(header, name)])))
                << name << " of record " << r - 1;
        for (const char* name : {"start_time", "t0_ms", "t10_ms", "stacks"}) EXPECT_EQ(g[columnOf(header, name)], w[columnOf(header, name)]) << name;
        // The meter sends the deviation of M when there is one: that of Vp is unknown, not 0.
        if (std::stod(g[columnOf(header, "m_mV_V")]) != 0.0) {
            EXPECT_EQ(g[columnOf(header, "vp_error_mV")], "") << r;
        }
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

// Files a download leaves in its folder, the simulator's own output aside.
std::vector<std::string> filesLeft(const std::filesystem::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().filename().string().rfind(".background", 0) != 0) names.push_back(entry.path().filename().string());
    return names;
}

TEST(DownloadCommand, AMeterThatGoesSilentOrVanishesEndsTheDownloadWithOneLine)
{
    struct Case {
        const char* fault;
        const char* after;   // bytes: 15 is the meter's identification, 1500 inside a record
        const char* timeout; // longer than the half second the simulator waits before it hangs up
        const char* message;
    };
    const Case cases[] = {
        {"--stop-after", "1500", "0.5", "No answer from the meter for 0.5 s; nothing written"},
        {"--hang-up-after", "1500", "2", "The meter's device has gone (unplugged?); nothing written"},
        // Lost in the handshake: a meter that never answered is told apart from one that stopped.
        {"--stop-after", "15", "0.5", "no answer from the meter: is it on, in its download mode, and on this port? (Time out version \?\?\?); nothing written"},
        {"--hang-up-after", "15", "2", "The meter's device has gone (unplugged?); nothing written"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fault) + " " + c.after);
        ertkit_test::TempDir dir;
        BackgroundTool meter({"meter-sim", "--records", "20", c.fault, c.after, "--seconds", "60"}, dir.path());
        const std::string port = meter.firstLine();
        ASSERT_FALSE(port.empty());
        const auto start = std::chrono::steady_clock::now();
        const ToolRun download = runTool({"download", "--port", port, "--first", "0", "--last", "19", "--timeout", c.timeout, "-o", "x.binx"}, dir.path());
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
        EXPECT_EQ(download.status, 1);
        EXPECT_EQ(download.err, "ertkit: " + port + ": " + c.message + "\n");
        EXPECT_TRUE(filesLeft(dir.path()).empty());
    }
}

TEST(DownloadCommand, KeepPartialWritesWhatArrivedAndSaysHowMuch)
{
    // The meter vanishes inside its sixth record: five came whole.
    ertkit_test::TempDir dir;
    BackgroundTool meter({"meter-sim", "--records", "20", "--hang-up-after", "1500", "--seconds", "60"}, dir.path());
    const std::string port = meter.firstLine();
    ASSERT_FALSE(port.empty());
    const ToolRun download = runTool({"download", "--port", port, "--first", "0", "--last", "19", "--keep-partial", "-o", "part.binx"}, dir.path());
    EXPECT_EQ(download.status, 1) << "the download still failed";
    EXPECT_EQ(download.err, "ertkit: " + port + ": The meter's device has gone (unplugged?); kept 5 of 20 measures in part.binx\n");
    EXPECT_EQ(download.out, "part.binx: kept 5 of 20 measures (the download stopped partway)\n");
    const ToolRun exported = runTool({"export", "part.binx"}, dir.path());
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(lines(exported.out).size(), 6u);
}

TEST(DownloadCommand, AnInterruptEndsWithOneLineAndLeavesNothing)
{
    for (const int signal : {SIGINT, SIGTERM}) {
        ertkit_test::TempDir dir;
        BackgroundTool meter({"meter-sim", "--records", "20", "--stop-after", "1500", "--seconds", "60"}, dir.path());
        const std::string port = meter.firstLine();
        BackgroundTool download({"download", "--port", port, "--first", "0", "--last", "19", "-o", "x.binx"}, dir.path());
        // The download is under way once the meter has sent records: it falls silent after 1500
        // bytes and the download then waits for it, well inside its 10 s time-out. The meter's
        // two banner lines count among its writes too, so 1500 means over a thousand bytes sent.
        ASSERT_TRUE(meter.waitUntilWritten(1500)) << "the download never began";
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(download.stop(signal), 130) << signal;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500)) << signal;
        EXPECT_EQ(download.errText(), "ertkit: interrupted; nothing written\n") << signal;
        EXPECT_TRUE(filesLeft(dir.path()).empty()) << signal;
    }
}

TEST(DownloadCommand, WhatCannotWorkIsRefusedBeforeTheMeterIsAsked)
{
    ertkit_test::TempDir dir;
    ertkit_test::writeFile(dir.file("kept.binx"), {'o', 'l', 'd'});
    std::filesystem::create_directory(dir.path() / "folder.binx");
    struct Case {
        std::string port, output;
        int status;
        std::string err;
        const char* first = "0";
    };
    const Case cases[] = {
        {"", "kept.binx", 105, "ertkit: --port: --port needs a device path (ertkit --help lists the commands)\n"},
        {"/dev/null", "kept.binx", 105, "ertkit: --first 5 is after --last 3 (ertkit --help lists the commands)\n", "5"},
        {"/dev/null", "missing/x.binx", 1, "ertkit: missing/x.binx: cannot write missing/x.binx: the folder missing does not exist\n"},
        {"/dev/null", "folder.binx", 1, "ertkit: folder.binx: cannot write folder.binx: it is a folder\n"},
        // Why a port cannot be opened is the download session's to tell (DownloadSessionTest).
        {"/dev/null", "kept.binx", 1, "ertkit: cannot open the port /dev/null: not a serial device; nothing written\n"},
    };
    for (const Case& c : cases) {
        const ToolRun run = runTool({"download", "--port", c.port, "--first", c.first, "--last", "3", "-o", c.output}, dir.path());
        EXPECT_EQ(run.status, c.status) << c.err;
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(readText(dir.path() / "kept.binx"), "old");
    }
}

} // namespace
