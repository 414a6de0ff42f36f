// How the tool fails: one line per bad file, the other files still done, a non-zero status,
// and no output file left half-written.
#include "ToolRunner.h"

#include <writers/FullWavePages.h>
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace ertkit_tools_test;

namespace {

constexpr const char* s_good = "vp1-2@120523_143015.vmn";

void writeRecording(const std::string& path, std::uint64_t samples)
{
    ertkit_writers::RecordingBuilder builder;
    builder.start(ertkit_writers::ConfigFields{}, 0, samples, [](std::uint32_t s, unsigned int c) { return static_cast<float>(s + c); });
    builder.save(path);
}

TEST(ErrorHandling, OneBadFileDoesNotStopTheOthers)
{
    ertkit_test::TempDir dir;
    writeRecording(dir.file(s_good), 64);
    ertkit_test::writeFile(dir.file("empty.iab"), {});
    const ToolRun run = runTool({"info", "missing.vmn", s_good, "notes.txt", "empty.iab"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(lines(run.err), (std::vector<std::string>{
                                  "ertkit: missing.vmn: no such file",
                                  "ertkit: notes.txt: unknown file type (expected .iab, .vmn, .irw, .vrw, .binx or .bin)",
                                  "ertkit: empty.iab: shorter than one page: not a recording (cannot read file)",
                              }));
    EXPECT_EQ(run.out.rfind(s_good, 0), 0u) << "the good file is still summarised:\n" << run.out;
}

TEST(ErrorHandling, QuietMayFollowTheCommand)
{
    ertkit_test::TempDir dir;
    writeRecording(dir.file(s_good), 64);
    const ToolRun run = runTool({"info", s_good, "--quiet"}, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
}

TEST(ErrorHandling, AFailedReadLeavesTheExistingOutputAlone)
{
    ertkit_test::TempDir dir;
    ertkit_test::writeFile(dir.file("bad.vmn"), std::vector<std::uint8_t>(100, 0x43));
    ertkit_test::writeFile(dir.file("out.csv"), {'o', 'l', 'd'});
    const ToolRun run = runTool({"export", "bad.vmn", "-o", "out.csv"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(readText(dir.path() / "out.csv"), "old");
}

// A file-size limit makes the write itself fail part-way: the destination must keep its
// old contents and no temporary file may stay behind.
TEST(ErrorHandling, AFailedWriteLeavesNoTruncatedFile)
{
    ertkit_test::TempDir dir;
    writeRecording(dir.file(s_good), 5000);
    ertkit_test::writeFile(dir.file("out.csv"), {'o', 'l', 'd'});
    const ToolRun run = runTool({"export", s_good, "-o", "out.csv"}, dir.path(), "trap '' XFSZ; ulimit -f 16");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind(std::string("ertkit: ") + s_good + ": cannot write out.csv", 0), 0u) << run.err;
    EXPECT_EQ(readText(dir.path() / "out.csv"), "old");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find("ertkit-tmp"), std::string::npos) << entry.path();
}

} // namespace
