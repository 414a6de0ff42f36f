// The BINX side of the tool on the sample survey: merging and editing. Its exports are held by
// the golden outputs and by the read-back parsers of InversionExportTest.
#include "SampleFolder.h"
#include "ToolRunner.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace ertkit_tools_test;

namespace {

class BinxCommands : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::copy_file(sampleFolder() / "line1.binx", dir.path() / "line1.binx"); }

    ToolRun run(const std::vector<std::string>& args, const std::string& prefix = "") const { return runTool(args, dir.path(), prefix); }
    std::string text(const std::string& name) const { return readText(dir.path() / name); }
    bool exists(const std::string& name) const { return std::filesystem::exists(dir.path() / name); }

    ertkit_test::TempDir dir;
};

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
    EXPECT_EQ(ertkit_test::filesIn(dir.path()), 1u) << "no temporary file stays";
}

} // namespace
