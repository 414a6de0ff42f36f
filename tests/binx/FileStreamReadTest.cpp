// The stream constructor reads the bytes of a file exactly as the path constructor reads the
// file: same records, same failures, same log lines, same progress calls.

#include "BinxTestHelpers.h"

#include <binx/BINX_File.h>

#include <gtest/gtest.h>

#include <sstream>

using binx_test::ByteFile;
using ertkit_test::BinxFileBuilder;
using ertkit_test::Bytes;

namespace {

class ProgressLog : public ProgressCallback {
public:
    void setTextId(std::uint32_t id) override { calls.push_back("text " + std::to_string(id)); }
    void setRange(unsigned int a, unsigned int b, unsigned int step) override
    {
        calls.push_back("range " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(step));
    }
    void setPosition(unsigned int p) override { calls.push_back("position " + std::to_string(p)); }
    void step() override { calls.push_back("step"); }
    std::vector<std::string> calls;
};

// Everything a reading shows: the failure or the file's contents, then the log and progress.
template <typename Read>
std::vector<std::string> outcome(Read read)
{
    ertkit_test::LogCapture log;
    ProgressLog progress;
    std::vector<std::string> seen;
    try {
        const BINX_File file = read(progress);
        seen.push_back("version " + std::to_string(file.getVersion()) + " folder " + file.getFolderPath());
        for (const auto& name : file.getFileNamesIabOrVmn()) seen.push_back("recording " + name);
        for (const auto& name : file.getFileNamesProject()) seen.push_back("project " + name);
        for (const BINX_Data* record : file.getDatas()) {
            const auto bytes = binx_test::written(*record);
            seen.emplace_back(bytes.begin(), bytes.end());
        }
    } catch (const std::exception& e) {
        seen.push_back(std::string("throws ") + e.what());
    }
    for (const auto& [level, line] : log.lines()) seen.push_back("log " + std::to_string(static_cast<int>(level)) + " " + line);
    seen.insert(seen.end(), progress.calls.begin(), progress.calls.end());
    return seen;
}

void expectSameReading(const std::vector<std::uint8_t>& bytes, const std::string& what)
{
    ByteFile file(bytes, "f.binx");
    const auto by_path = outcome([&](ProgressCallback& p) { return BINX_File(file.path(), p); });
    const auto by_stream = outcome([&](ProgressCallback& p) {
        std::istringstream in(std::string(bytes.begin(), bytes.end()));
        return BINX_File(in, file.path(), p);
    });
    EXPECT_EQ(by_path, by_stream) << what;
}

BinxFileBuilder fileOf(int n_records)
{
    BinxFileBuilder b;
    for (int i = 0; i < n_records; ++i) ertkit_test::addRecord(b, ertkit_test::sampleBinxRecord(i));
    b.recordings = {"r0.iab", "vp12-345@120523_143015.vmn"};
    b.projects = {"p.proj"};
    return b;
}

} // namespace

TEST(BinxFileStream, ReadsEveryPrefixOfAFileAsThePathConstructor)
{
    // Every cut of a small file: inside the header, the name lists, each record, and whole.
    const std::vector<std::uint8_t> whole = fileOf(3).build().data();
    for (std::size_t keep = 0; keep <= whole.size(); keep += keep < 1400 ? 97 : 401)
        expectSameReading({whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(keep)}, std::to_string(keep));
    expectSameReading(whole, "whole");
}

TEST(BinxFileStream, ReadsOddHeadersAndCountsAsThePathConstructor)
{
    BinxFileBuilder old = fileOf(2);
    old.version = 5;
    BinxFileBuilder counted = fileOf(2);
    counted.record_count = 0xFFFFFFFFu;
    BinxFileBuilder names = fileOf(1);
    names.recording_count = 0xFFFFFFFFu;
    for (const auto& [builder, what] : {std::pair{old, "version 5"}, {counted, "record count"}, {names, "name count"}})
        expectSameReading(builder.build().data(), what);
}

TEST(BinxFileStream, KeepsTheGivenPathAndLeavesTheStreamWhereReadingStopped)
{
    const Bytes bytes = fileOf(2).build();
    std::istringstream in(std::string(bytes.data().begin(), bytes.data().end()) + "tail");
    const BINX_File file(in, "any name", noProgress());
    EXPECT_EQ(file.getPath(), "any name");
    EXPECT_EQ(file.getDatas().size(), 2u);
    std::string rest;
    in >> rest;
    EXPECT_EQ(rest, "tail");
}
