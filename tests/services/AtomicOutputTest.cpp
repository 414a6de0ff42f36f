// Output files that appear whole or not at all, and BINX files written through them.
#include <services/AtomicOutput.h>
#include <services/BinxOutput.h>

#include "support/BinxRecordBuilder.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <functional>
#include <sstream>

using namespace ertkit;

namespace {

std::size_t filesIn(const std::filesystem::path& dir)
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()));
}

std::string text(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

TEST(AtomicOutput, AppearsOnlyOnCommit)
{
    ertkit_test::TempDir dir;
    const auto target = dir.path() / "table.csv";
    {
        AtomicOutput out(target);
        out.stream() << "a,b\n";
        EXPECT_FALSE(std::filesystem::exists(target));
        EXPECT_EQ(out.temporaryPath().parent_path(), dir.path());
        EXPECT_EQ(out.temporaryPath().extension(), ".csv");
        out.commit();
    }
    EXPECT_EQ(text(target), "a,b\n");
    EXPECT_EQ(filesIn(dir.path()), 1u);
}

TEST(AtomicOutput, AbandonedOrRefusedLeavesTheOldFile)
{
    ertkit_test::TempDir dir;
    const auto target = dir.path() / "table.csv";
    ertkit_test::writeFile(target.string(), {'o', 'l', 'd'});
    {
        AtomicOutput out(target);
        out.stream() << "new";
    }
    {
        AtomicOutput out(target);
        out.stream() << "new";
        EXPECT_THROW(out.commit([](const std::filesystem::path&) { throw std::runtime_error("bad"); }), std::runtime_error);
    }
    {
        AtomicOutput out(target);
        std::ofstream(out.create()) << "new";
    }
    EXPECT_EQ(text(target), "old");
    EXPECT_EQ(filesIn(dir.path()), 1u);
}

TEST(AtomicOutput, AMissingFolderIsAWriteErrorWithTheSystemsReason)
{
    // A stream names the reason; a file a path-taking writer is to fill carries it as a number
    // only, worded as when such a writer leaves nothing behind.
    struct Case {
        const char* path;
        std::function<void(AtomicOutput&)> open;
        const char* message;
        int error_number; // none when commit() finds nothing written
    };
    const Case cases[] = {
        {"/nonexistent-folder/x.csv", [](AtomicOutput& out) { out.stream(); }, "cannot write /nonexistent-folder/x.csv: No such file or directory",
         ENOENT},
        {"/nonexistent-folder/x.binx", [](AtomicOutput& out) { out.create(); }, "cannot write /nonexistent-folder/x.binx", ENOENT},
        {"/nonexistent-folder/y.binx", [](AtomicOutput& out) { out.commit(); }, "cannot write /nonexistent-folder/y.binx", 0},
    };
    for (const Case& c : cases) {
        AtomicOutput out(c.path);
        try {
            c.open(out);
            ADD_FAILURE() << "no error for " << c.path;
        } catch (const WriteError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
            EXPECT_EQ(e.path(), c.path);
            EXPECT_EQ(e.errorNumber(), c.error_number) << c.path;
        }
    }
}

BINX_File fileOf(int records)
{
    BINX_File file;
    for (int i = 0; i < records; ++i) {
        auto* record = new BINX_Data(ertkit_test::sampleBinxRecord(i));
        record->ignore = i % 2 == 1;
        file.addData(record);
    }
    return file;
}

TEST(BinxOutput, WritesWhatTheLibrarysWriterWrites)
{
    // Every range and skip the library takes, odd ones included: the records a write covers
    // are the library's choice, not restated here.
    struct Case {
        unsigned int first;
        int last;
        bool skip_ignored;
    };
    const Case cases[] = {{0, -1, false}, {0, -1, true}, {3, 1, false}, {2, 99, true}, {4, 4, false}, {1, -7, false}, {9, 2, true}};
    const BINX_File file = fileOf(5);
    ertkit_test::TempDir dir;
    for (const Case& c : cases) {
        const auto ours = dir.path() / "ours.binx", library = dir.path() / "library.binx";
        writeBinx(file, ours, {c.first, c.last}, c.skip_ignored);
        file.writeToFile(library.string(), false, c.first, c.last, c.skip_ignored);
        EXPECT_EQ(text(ours), text(library)) << c.first << ":" << c.last << (c.skip_ignored ? " skipping" : "");
    }
    EXPECT_EQ(filesIn(dir.path()), 2u) << "no temporary file stays";
}

TEST(BinxOutput, AnUnwritableDestinationLeavesNothing)
{
    ertkit_test::TempDir dir;
    const auto target = dir.path() / "missing" / "out.binx";
    try {
        writeBinx(fileOf(2), target, {}, false);
        FAIL() << "no error";
    } catch (const WriteError& e) {
        EXPECT_EQ(e.errorNumber(), ENOENT);
        EXPECT_EQ(e.path(), target);
    }
    EXPECT_EQ(filesIn(dir.path()), 0u);
}

} // namespace
