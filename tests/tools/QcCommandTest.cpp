// ertkit qc on the sample's reciprocal line: every record written back with the rejected
// ignored, outputs all or none, and bad input refused with nothing written.
#include "SampleFolder.h"
#include "ToolRunner.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace ertkit_tools_test;

namespace {

class Qc : public ::testing::Test {
protected:
    ToolRun run(std::vector<std::string> args) const
    {
        for (std::string& arg : args)
            if (arg.starts_with("OUT/")) arg = (dir.path() / arg.substr(4)).string();
        return runTool(args, sampleFolder());
    }
    bool written(const std::string& name) const { return std::filesystem::exists(dir.path() / name); }

    ertkit_test::TempDir dir;
};

TEST_F(Qc, WritesEveryRecordWithTheRejectedIgnoredAndItsThreeReports)
{
    const ToolRun qc = run({"qc", "line1-reciprocal.binx", "-o", "OUT/qc.binx", "--report", "OUT/qc.csv", "--model", "OUT/qc.json", "--plot", "OUT/qc.svg"});
    ASSERT_EQ(qc.status, 0) << qc.err;
    EXPECT_NE(qc.out.find("contact "), std::string::npos) << qc.out;
    EXPECT_NE(qc.out.find("error of R: "), std::string::npos) << qc.out;
    const auto report = lines(readText(dir.path() / "qc.csv"));
    const auto exported = lines(run({"export", "OUT/qc.binx"}).out);
    const auto original = lines(run({"export", "line1-reciprocal.binx"}).out);
    ASSERT_EQ(report.size(), original.size());
    ASSERT_EQ(exported.size(), original.size());
    const auto header = split(exported[0], ',');
    const std::size_t ignore = columnOf(header, "ignore"), vp = columnOf(header, "vp_mV");
    for (std::size_t i = 1; i < report.size(); ++i) {
        const bool rejected = !split(report[i], ',')[1].empty();
        EXPECT_EQ(split(exported[i], ',')[ignore], rejected ? "1" : "0") << i;
        EXPECT_EQ(split(exported[i], ',')[vp], split(original[i], ',')[vp]) << i;
    }
    EXPECT_EQ(xmlProblem(readText(dir.path() / "qc.svg")), "");
    EXPECT_NE(readText(dir.path() / "qc.json").find("\"source\": \"reciprocals\""), std::string::npos);
}

TEST_F(Qc, BadInputIsRefusedAndNothingIsWritten)
{
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases{
        {{"--rule", "stack=abc"}, "rule stack: \"abc\" is not a number"},
        {{"--rule", "stack"}, "--rule takes NAME=VALUE"},
        {{"--no-rule", "tolerance"}, "unknown rule tolerance"},
        {{"--report", "OUT/qc.binx"}, ""},
        {{"--report", "line1-reciprocal.binx"}, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"qc", "line1-reciprocal.binx", "-o", "OUT/qc.binx"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolRun qc = run(args);
        EXPECT_NE(qc.status, 0) << c.args.front();
        EXPECT_NE(qc.err.find(c.message), std::string::npos) << qc.err;
        EXPECT_FALSE(written("qc.binx")) << c.args.front();
    }
}

TEST_F(Qc, NotesWhatItCannotModelAndAFileWithoutReadingIsAnError)
{
    // The legacy file has no reciprocals: errors from the stacking deviation, said in a note.
    const ToolRun bin = run({"qc", "line1-wenner.bin", "-o", "OUT/wenner.binx", "--model", "OUT/m.json"});
    ASSERT_EQ(bin.status, 0) << bin.err;
    EXPECT_NE(bin.out.find("note: no reciprocal pair in the file"), std::string::npos) << bin.out;
    EXPECT_NE(readText(dir.path() / "m.json").find("\"source\": \"stack\""), std::string::npos);
    // Every reading rejected: written, and said.
    const ToolRun all = run({"qc", "line1-wenner.bin", "-o", "OUT/all.binx", "--rule", "current=1e9"});
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_NE(all.out.find("note: every reading is rejected"), std::string::npos) << all.out;
    // No reading at all: an error, nothing written.
    ASSERT_EQ(run({"edit", "line1-reciprocal.binx", "-o", "OUT/one.binx", "--range", "0:0"}).status, 0);
    ASSERT_EQ(run({"edit", "OUT/one.binx", "-o", "OUT/none.binx", "--remove", "0"}).status, 0);
    const ToolRun none = run({"qc", "OUT/none.binx", "-o", "OUT/none-qc.binx"});
    EXPECT_NE(none.status, 0);
    EXPECT_NE(none.err.find("the file holds no reading"), std::string::npos) << none.err;
    EXPECT_FALSE(written("none-qc.binx"));
}

} // namespace
