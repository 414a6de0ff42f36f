// The stream constructor reads the bytes of a file exactly as the path constructor reads the
// file: same records, same failures, same log lines, same progress calls.

#include "BinxTestHelpers.h"
#include "support/StreamReading.h"

#include <binx/BINX_File.h>

#include <gtest/gtest.h>

#include <sstream>

using binx_test::ByteFile;
using ertkit_test::BinxFileBuilder;
using ertkit_test::Bytes;

namespace {

// The file's header, names and records (as the library writes them back).
void describe(const BINX_File& file, std::vector<std::string>& seen)
{
    seen.push_back("version " + std::to_string(file.getVersion()) + " folder " + file.getFolderPath());
    for (const auto& name : file.getFileNamesIabOrVmn()) seen.push_back("recording " + name);
    for (const auto& name : file.getFileNamesProject()) seen.push_back("project " + name);
    for (const BINX_Data* record : file.getDatas()) {
        const auto bytes = binx_test::written(*record);
        seen.emplace_back(bytes.begin(), bytes.end());
    }
}

void expectSameReading(const std::vector<std::uint8_t>& bytes, const std::string& what)
{
    ertkit_test::expectSameReadingFromAStream<BINX_File>(bytes, "f.binx", describe, what);
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
