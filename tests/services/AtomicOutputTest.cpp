// Output files that appear whole or not at all, and BINX files written through them.
#include <services/AtomicOutput.h>
#include <services/BinxOutput.h>

#include "support/BinxRecordBuilder.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <functional>

using namespace ertkit;
using ertkit_test::filesIn;
using ertkit_test::readText;

namespace {

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
    EXPECT_EQ(readText(target), "a,b\n");
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
    EXPECT_EQ(readText(target), "old");
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
        {"/nonexistent-folder/x.binx", [](AtomicOutput& out) { out.create(); }, "cannot write /nonexistent-folder/x.binx: No such file or directory", ENOENT},
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

TEST(AtomicOutput, WritesThroughWhatIsNotARegularFileAndKeepsLinks)
{
    ertkit_test::TempDir dir;
    // A link to a file: the file it names is replaced, the link stays a link.
    const auto real = dir.path() / "real.csv", link = dir.path() / "link.csv";
    ertkit_test::writeFile(real.string(), {'o', 'l', 'd'});
    std::filesystem::create_symlink(real, link);
    {
        AtomicOutput out(link);
        out.stream() << "new";
        out.commit();
    }
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readText(real), "new");
    // A device is written into, never replaced by a file; a full one says so.
    for (const char* device : {"/dev/null", "/dev/full"}) {
        AtomicOutput out(device);
        out.stream() << "bytes";
        EXPECT_NE(out.temporaryPath().parent_path(), std::filesystem::path("/dev"));
        if (std::string(device) == "/dev/full") {
            try {
                out.commit();
                ADD_FAILURE() << "no error for /dev/full";
            } catch (const WriteError& e) {
                EXPECT_EQ(std::string(e.what()), "cannot write /dev/full: No space left on device");
                EXPECT_EQ(e.errorNumber(), ENOSPC);
            }
        } else {
            out.commit();
        }
        EXPECT_TRUE(std::filesystem::is_character_file(device));
    }
    EXPECT_EQ(filesIn(dir.path()), 2u) << "no temporary file stays";
}

TEST(AtomicOutput, DestinationsAreCheckedBeforeAnyWork)
{
    ertkit_test::TempDir dir;
    const auto input = dir.path() / "a.binx";
    ertkit_test::writeFile(input.string(), {'x'});
    struct Case {
        std::filesystem::path path;
        const char* message; // empty: writable
    };
    const std::string folder = dir.path().string();
    const Case cases[] = {
        {dir.path() / "new.binx", ""},
        {input, ""},
        {"/dev/null", ""},
        {dir.path(), "it is a folder"},
        {dir.path() / "missing" / "x.binx", "the folder {}/missing does not exist"},
        {input / "x.binx", "Not a directory"},
    };
    for (const Case& c : cases) {
        std::string message;
        try {
            checkWritable(c.path);
        } catch (const WriteError& e) {
            message = e.what();
            EXPECT_EQ(e.path(), c.path);
        }
        std::string want = c.message;
        if (const auto at = want.find("{}"); at != std::string::npos) want.replace(at, 2, folder);
        EXPECT_EQ(message, want.empty() ? "" : "cannot write " + c.path.string() + ": " + want) << c.path;
    }
    EXPECT_THROW(refuseInputAsOutput(input, {"other.binx", input.string()}), std::invalid_argument);
    EXPECT_THROW(refuseInputAsOutput(dir.path() / "." / "a.binx", {input.string()}), std::invalid_argument);
    EXPECT_NO_THROW(refuseInputAsOutput(dir.path() / "b.binx", {input.string()}));
}

TEST(BinxOutput, WritesWhatTheLibrarysWriterWritesUnderAnyNameAndSaysWhyAWriteFailed)
{
    // Every range and skip the library takes, odd ones included: the records a write covers
    // are the library's choice, not restated here. The name's extension changes nothing.
    struct Case {
        unsigned int first;
        int last;
        bool skip_ignored;
        const char* name;
    };
    const Case cases[] = {{0, -1, false, "ours.binx"}, {0, -1, true, "e.dat"},      {3, 1, false, "no-extension"}, {2, 99, true, "e.vmn"},
                          {4, 4, false, "ours.binx"},  {1, -7, false, "ours.binx"}, {9, 2, true, "ours.binx"}};
    BINX_File file;
    for (int i = 0; i < 5; ++i) {
        auto* record = new BINX_Data(ertkit_test::sampleBinxRecord(i));
        record->ignore = i % 2 == 1;
        file.addData(record);
    }
    ertkit_test::TempDir dir;
    for (const Case& c : cases) {
        const auto ours = dir.path() / c.name, library = dir.path() / "library.binx";
        writeBinx(file, ours, {c.first, c.last}, c.skip_ignored);
        file.writeToFile(library.string(), false, c.first, c.last, c.skip_ignored);
        EXPECT_EQ(readText(ours), readText(library)) << c.name << " " << c.first << ":" << c.last << (c.skip_ignored ? " skipping" : "");
    }
    EXPECT_EQ(ertkit_test::failure<WriteError>([&] { writeBinx(file, "/dev/full", {}, false); }), "cannot write /dev/full: No space left on device");
    EXPECT_EQ(filesIn(dir.path()), 5u) << "no temporary file stays";
}

} // namespace
