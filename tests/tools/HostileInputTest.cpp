// Damaged or hostile inputs and outputs a person meets in the field: what the tool says, and
// that it neither floods the terminal, nor trusts a stored size, nor destroys a file.
#include "SampleFolder.h"
#include "ToolRunner.h"

#include "support/BinxRecordBuilder.h"
#include "support/TestSupport.h"

#include <binx/BINX_File.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include <sys/stat.h>

using namespace ertkit_tools_test;

namespace {

TEST(HostileInput, JunkIsSummarisedAndSaidOnceAndQuietSilencesTheWarnings)
{
    ertkit_test::TempDir dir;
    ertkit_test::writeFile(dir.file("zeros.vmn"), std::vector<std::uint8_t>(528 * 2000, 0));
    const ToolRun loud = runTool({"info", "zeros.vmn"}, dir.path());
    EXPECT_EQ(loud.status, 1);
    const auto err = lines(loud.err);
    ASSERT_LT(err.size(), 12u) << loud.err;
    EXPECT_EQ(occurrences(loud.err, "found page before first header"), 4u) << "three lines and their summary";
    EXPECT_EQ(occurrences(loud.err, "\u2026 1997 more like this: found page before first header"), 1u) << loud.err;
    EXPECT_EQ(occurrences(loud.err, "unknown page type, ctrl=\\x00"), 4u) << "a NUL from the file is shown escaped";
    EXPECT_EQ(err.back(), "ertkit: zeros.vmn: no configuration page anywhere: not a recording, or damaged from its start (cannot read file first header)");
    const ToolRun quiet = runTool({"--quiet", "info", "zeros.vmn"}, dir.path());
    EXPECT_EQ(quiet.err, "ertkit: zeros.vmn: no configuration page anywhere: not a recording, or damaged from its start (cannot read file first header)\n");
}

TEST(HostileInput, TextFromAFileReachesTheTerminalEscaped)
{
    ertkit_test::TempDir dir;
    BINX_File file;
    file.addData(new BINX_Data(ertkit_test::sampleBinxRecord(1)));
    file.setFolderPath("D:\\x\x1b[2J\x1b]0;owned\x07\xc2\x9b""31m");
    file.writeToFile(dir.file("escape.binx"), false, 0, -1, false);
    const ToolRun run = runTool({"info", "escape.binx"}, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
    EXPECT_NE(run.out.find("D:\\x\\x1B[2J\\x1B]0;owned\\x07\\xC2\\x9B31m"), std::string::npos) << run.out;
}

TEST(HostileInput, AnAbsurdPulseDurationDoesNotSizeThePlot)
{
    ertkit_test::TempDir dir;
    BINX_File file;
    auto* record = new BINX_Data(ertkit_test::sampleBinxRecord(2));
    record->pulseDurationMs = 0x40000000;
    file.addData(record);
    file.writeToFile(dir.file("pulse.binx"), false, 0, -1, false);
    // 1 GiB of address space is far more than a bounded plot needs and far less than the
    // stored pulse would ask for. A sanitizer's shadow memory needs more: there, 20 s of CPU
    // time, which the unbounded plot takes several times over.
#ifdef __SANITIZE_ADDRESS__
    const char* limit = "ulimit -t 20";
#else
    const char* limit = "ulimit -v 1048576";
#endif
    const ToolRun run = runTool({"plot", "pulse.binx", "--record", "0", "-o", "pulse.svg"}, dir.path(), limit);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_LT(std::filesystem::file_size(dir.path() / "pulse.svg"), 10u << 20);
    EXPECT_EQ(xmlProblem(readText(dir.path() / "pulse.svg")), "");
}

TEST(HostileInput, AnInterruptedWriteLeavesNoTemporaryFileAndReplacesNothing)
{
    // Written through into a pipe nobody reads: the tool waits there until interrupted, once
    // every temporary file is finished. A report written beside must not have been replaced.
    const std::string line1 = (sampleFolder() / "line1.binx").string();
    struct Case {
        std::vector<std::string> args;
        int signal;
    };
    const Case cases[] = {
        {{"export", line1, "-o", "pipe.csv"}, SIGINT},
        {{"reprocess", line1, "-o", "pipe.csv", "--report", "report.csv"}, SIGTERM},
        {{"reprocess", line1, "-o", "pipe.csv", "--report", "report.csv"}, SIGINT},
    };
    for (const Case& c : cases) {
        ertkit_test::TempDir dir;
        ASSERT_EQ(::mkfifo(dir.file("pipe.csv").c_str(), 0600), 0);
        ertkit_test::writeFile(dir.file("report.csv"), {'o', 'l', 'd'});
        ClosedFileWatch watch(dir.path());
        const char* previous = std::getenv("TMPDIR");
        const std::string kept_tmpdir = previous ? previous : "";
        ::setenv("TMPDIR", dir.path().c_str(), 1); // where the temporary file of a pipe goes
        BackgroundTool tool(c.args, dir.path());
        if (previous) ::setenv("TMPDIR", kept_tmpdir.c_str(), 1);
        else ::unsetenv("TMPDIR");
        ASSERT_TRUE(watch.wait(".pipe.ertkit-tmp-")) << c.args[0] << ": the pipe's temporary file was never finished";
        EXPECT_EQ(tool.stop(c.signal), 130) << c.args[0];
        EXPECT_EQ(tool.errText(), "ertkit: interrupted; nothing written\n") << c.args[0];
        EXPECT_EQ(readText(dir.path() / "report.csv"), "old") << c.args[0];
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            EXPECT_EQ(entry.path().filename().string().find("ertkit-tmp"), std::string::npos) << entry.path();
    }
}

TEST(HostileInput, OutputsNeverDestroyWhatTheyShouldNot)
{
    // Recordings included: reprocess reads every recording of its folder, and a record's
    // plot reads the one beside its result file. By identity: a hard link is the same file.
    // A device is written into, a link's file replaced with the link kept.
    ertkit_test::TempDir dir;
    for (const auto& entry : std::filesystem::directory_iterator(sampleFolder()))
        std::filesystem::copy_file(entry.path(), dir.path() / entry.path().filename());
    const std::string recording = "in124-4568@061423_083000.iab";
    std::filesystem::create_hard_link(dir.path() / "vp123-4567@061423_083000.vmn", dir.path() / "other-name.csv");
    std::filesystem::create_symlink("real.csv", dir.path() / "link.csv");
    ertkit_test::writeFile(dir.file("real.csv"), {'o', 'l', 'd'});
    const std::string kept_binx = readText(dir.path() / "line1.binx"), kept_iab = readText(dir.path() / recording),
                      kept_vmn = readText(dir.path() / "other-name.csv");
    const std::string refused = ": it is also an input: writing it would destroy what is read (choose another output)\n";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {{"export", "line1.binx", "-f", "csv", "-o", "line1.binx"}, 1, "ertkit: line1.binx" + refused},
        {{"plot", "line1.binx", "-o", "./line1.binx"}, 1, "ertkit: ./line1.binx" + refused},
        {{"merge", "line1.binx", "line1.binx", "-o", "line1.binx"}, 1, "ertkit: line1.binx" + refused},
        {{"reprocess", "line1.binx", "-o", "out.binx", "--report", recording}, 1, "ertkit: " + recording + refused},
        {{"reprocess", "line1.binx", "-o", recording}, 1, "ertkit: " + recording + refused},
        {{"reprocess", "line1.binx", "-o", "out.binx", "--report", "other-name.csv"}, 1, "ertkit: other-name.csv" + refused},
        {{"plot", "line1.binx", "--record", "3", "-o", "other-name.csv"}, 1, "ertkit: other-name.csv" + refused},
        {{"reprocess", "line1.binx", "-o", "same.csv", "--report", "./same.csv"}, 1,
         "ertkit: ./same.csv: it is given for two outputs: give each output its own file\n"},
        {{"export", "line1.binx", "-o", "/dev/null"}, 0, ""},
        {{"export", "line1.binx", "-o", "/dev/full"}, 1, "ertkit: line1.binx: cannot write /dev/full: No space left on device\n"},
        {{"export", "line1.binx", "-o", "link.csv"}, 0, ""},
    };
    for (const Case& c : cases) {
        const ToolRun run = runTool(c.args, dir.path());
        EXPECT_EQ(run.status, c.status) << c.args.back();
        EXPECT_EQ(run.err, c.err);
    }
    EXPECT_EQ(readText(dir.path() / "line1.binx"), kept_binx);
    EXPECT_EQ(readText(dir.path() / recording), kept_iab);
    EXPECT_EQ(readText(dir.path() / "other-name.csv"), kept_vmn);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.binx"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "same.csv"));
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "link.csv"));
    EXPECT_EQ(readText(dir.path() / "real.csv").rfind("index,", 0), 0u);
    // Only the files made here: no temporary file stays.
    EXPECT_EQ(ertkit_test::filesIn(dir.path()), ertkit_test::filesIn(sampleFolder()) + 3);
}

TEST(HostileInput, ContentThatIsNotWhatItsNameSaysAndForgedLinesAreRefused)
{
    ertkit_test::TempDir dir;
    std::filesystem::copy_file(sampleFolder() / "line1.binx", dir.path() / "vp123-4567@061423_083000.vmn");
    // Pages whose kind and name bytes hold a line end and a tab, as if to write a line of
    // their own on the log.
    std::vector<std::uint8_t> junk(528 * 4, 0);
    const std::string forged = "\nwarning: \tX";
    for (std::size_t page = 0; page < 4; ++page) std::copy(forged.begin(), forged.end(), junk.begin() + static_cast<std::ptrdiff_t>(page * 528));
    ertkit_test::writeFile(dir.file("junk.vmn"), junk);
    const ToolRun binx = runTool({"info", "vp123-4567@061423_083000.vmn"}, dir.path());
    EXPECT_EQ(binx.status, 1);
    EXPECT_EQ(binx.err, "ertkit: vp123-4567@061423_083000.vmn: its content is a BINX result file, not a recording as its extension "
                        "says (name it .binx to read it)\n");
    const ToolRun junk_run = runTool({"info", "junk.vmn"}, dir.path());
    EXPECT_EQ(junk_run.status, 1);
    for (const std::string& line : lines(junk_run.err)) {
        EXPECT_TRUE(line.starts_with("warning: found ") || line.starts_with("warning: \u2026 ") || line.starts_with("ertkit: junk.vmn: "))
            << "a line of its own: " << line;
        EXPECT_EQ(line.find('\t'), std::string::npos) << line;
    }
    EXPECT_NE(junk_run.err.find("ctrl=\\x0A, name=warning: \\x09X"), std::string::npos) << junk_run.err;
}

TEST(HostileInput, CommandLinesSayWhatIsWrongInFewWords)
{
    std::string fields;
    for (int i = 0; i < 1000; ++i) fields += std::to_string(i) + ",";
    struct Case {
        std::vector<std::string> args;
        std::string err_part; // what the one line of error holds
    };
    const Case cases[] = {
        {{}, "ertkit: A subcommand is required (ertkit --help lists the commands)"},
        {{"frobnicate"}, "ertkit: unknown command 'frobnicate'; the commands are info, export, "},
        {{"export", "line1.binx", "--format", "xml"}, "ertkit: --format: xml not in "},
        {{"plot", "line1.binx"}, "ertkit: --output is required"},
        {{"merge", "line1.binx", "-o", "x.binx"}, "ertkit: files: At least 2 required"},
        {{"-q", "frobnicate", "x"}, "ertkit: unknown command 'frobnicate'"},
        {{"edit", "line1.binx", "-o", "x.binx", "--remove", fields + "x"}, "--remove = 0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16\u2026 "},
        {{"export", "line1.binx", "-f", fields}, "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16\u2026 "},
    };
    for (const Case& c : cases) {
        const ToolRun run = runTool(c.args, sampleFolder());
        EXPECT_NE(run.status, 0) << c.err_part;
        const auto err = lines(run.err);
        ASSERT_EQ(err.size(), 1u) << run.err.substr(0, 400);
        EXPECT_NE(err[0].find(c.err_part), std::string::npos) << err[0].substr(0, 400);
        EXPECT_LT(err[0].size(), 300u) << err[0].substr(0, 400);
    }
}

TEST(HostileInput, MergedCopiesListTheirRecordingsOnce)
{
    ertkit_test::TempDir dir;
    std::vector<std::string> args{"merge"};
    for (int copy = 0; copy < 87; ++copy) args.push_back((sampleFolder() / "line1.binx").string());
    args.insert(args.end(), {"-o", "merged.binx"});
    const ToolRun merge = runTool(args, dir.path());
    ASSERT_EQ(merge.status, 0) << merge.err;
    const BINX_File merged(dir.file("merged.binx"));
    const BINX_File one((sampleFolder() / "line1.binx").string());
    EXPECT_EQ(merged.getFileNamesIabOrVmn(), one.getFileNamesIabOrVmn());
    ASSERT_EQ(merged.getDatas().size(), 87 * one.getDatas().size());
    // Every record still names the recordings it named.
    for (std::size_t i = 0; i < merged.getDatas().size(); ++i) {
        const BINX_Data& mine = *merged.getDatas()[i];
        const BINX_Data& original = *one.getDatas()[i % one.getDatas().size()];
        ASSERT_EQ(mine.vmnPathIndex, original.vmnPathIndex) << i;
        ASSERT_EQ(mine.iabPathIndex, original.iabPathIndex) << i;
        ASSERT_EQ(mine.polarizationVoltage, original.polarizationVoltage) << i;
    }
}

} // namespace
