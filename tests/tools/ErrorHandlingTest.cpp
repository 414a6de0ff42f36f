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

// What a damaged BINX file and a recording that is another kind of file are said to be is
// held by the file-opening tests and the Python agreement with the tool.
TEST(ErrorHandling, OneBadFileDoesNotStopTheOthers)
{
    ertkit_test::TempDir dir;
    writeRecording(dir.file(s_good), 64);
    writeRecording(dir.file("vpxx-@120523_143015.vmn"), 64);
    ertkit_test::writeFile(dir.file("empty.iab"), {});
    std::filesystem::create_directory(dir.path() / "folder.binx");
    // --quiet may follow the command; it silences warnings, never errors.
    const ToolRun run = runTool(
        {"info", "missing.vmn", s_good, "notes.txt", "empty.iab", "missing.bin", "folder.binx", "vpxx-@120523_143015.vmn", "--quiet"},
        dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(lines(run.err), (std::vector<std::string>{
                                  "ertkit: missing.vmn: no such file",
                                  "ertkit: notes.txt: unknown file type (expected .iab, .vmn, .irw, .vrw, .binx or .bin)",
                                  "ertkit: empty.iab: shorter than one page: not a recording (cannot read file)",
                                  "ertkit: missing.bin: no such file",
                                  "ertkit: folder.binx: it is a folder, not a file",
                                  "ertkit: vpxx-@120523_143015.vmn: malformed recording name: a serial number or the date after '@' is "
                                  "not a number (expected for example vp123-4567@120523_143015.vmn)",
                              }));
    EXPECT_EQ(run.out.rfind(s_good, 0), 0u) << "the good file is still summarised:\n" << run.out;
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
    EXPECT_EQ(ertkit_test::filesIn(dir.path()), 2u) << "no temporary file stays";
}

} // namespace
