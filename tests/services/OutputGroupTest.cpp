// Outputs written together: all of them appear, or none, and never twice the same file.
#include <services/BinxOutput.h>
#include <services/OutputGroup.h>

#include "support/BinxRecordBuilder.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

using namespace ertkit;
using ertkit_test::filesIn;
using ertkit_test::readText;

namespace {

TEST(OutputGroup, NothingIsReplacedUnlessEveryOutputIsWhole)
{
    // The second output fails in different ways; the first, an existing file, must keep its
    // old bytes, and no temporary file may stay.
    struct Case {
        const char* name;
        std::function<void(OutputGroup&, const std::filesystem::path& dir)> second;
        int error; // errno of the WriteError, -1: refused by its check
    };
    const Case cases[] = {
        {"a full device", [](OutputGroup& group, const auto&) { group.add("/dev/full").stream() << "bytes"; }, ENOSPC},
        {"a missing folder", [](OutputGroup& group, const auto& dir) { group.add(dir / "missing" / "b.csv"); }, 0},
        {"a refused file",
         [](OutputGroup& group, const auto& dir) {
             group.add(dir / "b.csv", [](const std::filesystem::path&) { throw WriteError("b.csv", "refused"); }).stream() << "new";
         },
         -1},
    };
    for (const Case& c : cases) {
        ertkit_test::TempDir dir;
        ertkit_test::writeFile(dir.file("a.csv"), {'o', 'l', 'd'});
        bool failed = false;
        {
            OutputGroup group;
            group.add(dir.path() / "a.csv").stream() << "new";
            try {
                c.second(group, dir.path());
                group.commit();
            } catch (const WriteError& e) {
                failed = true;
                if (c.error >= 0) {
                    EXPECT_EQ(e.errorNumber(), c.error) << c.name << ": " << e.what();
                }
            }
            EXPECT_EQ(readText(dir.path() / "a.csv"), "old") << c.name;
        }
        EXPECT_TRUE(failed) << c.name;
        EXPECT_EQ(readText(dir.path() / "a.csv"), "old") << c.name;
        EXPECT_EQ(filesIn(dir.path()), 1u) << c.name << ": no temporary file stays";
    }
}

TEST(OutputGroup, EveryOutputAppearsOnCommit)
{
    ertkit_test::TempDir dir;
    ertkit_test::writeFile(dir.file("a.csv"), {'o', 'l', 'd'});
    BINX_File file;
    file.addData(new BINX_Data(ertkit_test::sampleBinxRecord(1)));
    {
        OutputGroup group;
        group.add(dir.path() / "a.csv").stream() << "new";
        writeBinx(file, group.add(dir.path() / "b.binx").stream(), {}, false);
        group.add("/dev/null").stream() << "gone";
        EXPECT_EQ(readText(dir.path() / "a.csv"), "old") << "nothing before commit";
        group.commit();
    }
    file.writeToFile(dir.file("library.binx"), false, 0, -1, false);
    EXPECT_EQ(readText(dir.path() / "a.csv"), "new");
    EXPECT_EQ(readText(dir.path() / "b.binx"), readText(dir.path() / "library.binx"));
    EXPECT_EQ(filesIn(dir.path()), 3u);
}

TEST(OutputGroup, OneFileIsNeverTwoOutputs)
{
    ertkit_test::TempDir dir;
    ertkit_test::writeFile(dir.file("a.csv"), {'x'});
    std::filesystem::create_hard_link(dir.path() / "a.csv", dir.path() / "hard.csv");
    std::filesystem::create_symlink(dir.path() / "a.csv", dir.path() / "soft.csv");
    struct Case {
        std::filesystem::path first, second;
        bool refused;
    };
    const Case cases[] = {
        {dir.path() / "new.csv", dir.path() / "new.csv", true},        // neither exists yet
        {dir.path() / "new.csv", dir.path() / "." / "new.csv", true},  // another spelling
        {dir.path() / "a.csv", dir.path() / "hard.csv", true},         // one inode, two names
        {dir.path() / "a.csv", dir.path() / "soft.csv", true},         // a link to it
        {dir.path() / "a.csv", dir.path() / "new.csv", false},
        {"/dev/null", "/dev/null", false},                             // a device takes several
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sameFile(c.first, c.second), c.refused || c.first == "/dev/null") << c.first << " " << c.second;
        OutputGroup group;
        group.add(c.first);
        if (c.refused) {
            EXPECT_THROW(group.add(c.second), std::invalid_argument) << c.second;
        } else {
            EXPECT_NO_THROW(group.add(c.second)) << c.second;
        }
    }
    EXPECT_THROW(refuseInputAsOutput(dir.path() / "soft.csv", {dir.file("hard.csv")}), std::invalid_argument);
    EXPECT_EQ(filesIn(dir.path()), 3u) << "adding writes nothing";
}

} // namespace
