// The stream constructor reads the bytes of a BIN file exactly as the path constructor reads
// the file: same records, same failures, same log lines, same progress calls.

#include "BinTestFiles.h"
#include "support/StreamReading.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace bin_test;

namespace {

// The file's folder, names and the stored values of its records.
void describe(const BIN_File& file, std::vector<std::string>& seen)
{
    seen.push_back("folder " + file.getFolderPath());
    for (const auto& name : file.getFileNames()) seen.push_back("name " + name);
    for (const BIN_Data* record : file.getDatas()) {
        std::ostringstream values;
        values << record->getVAB() << ' ' << record->getIgnore() << ' ' << record->getStackMax() << ' ' << record->getIIndex()
               << ' ' << record->getVIndex() << ' ' << record->getNTM();
        seen.push_back(values.str());
    }
}

void expectSameReading(const std::vector<std::uint8_t>& bytes, const std::string& what)
{
    ertkit_test::expectSameReadingFromAStream<BIN_File>(bytes, "f.bin", describe, what);
}

} // namespace

TEST(BinFileStream, ReadsEveryPrefixOfAFileAsThePathConstructor)
{
    const std::vector<std::uint8_t> whole = BinFileWriter::file(withRecords(3)).data();
    for (std::size_t keep = 0; keep <= whole.size(); keep += 37)
        expectSameReading({whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(keep)}, std::to_string(keep));
    expectSameReading(whole, "whole");
}

TEST(BinFileStream, ReadsOddFilesAsThePathConstructor)
{
    BinFileContents version = withRecords(1);
    version.header_byte = 8;
    BinFileContents unnamed = withRecords(2);
    unnamed.names.clear(); // the records' indexes then name nothing
    for (const auto& [contents, what] : {std::pair{version, "header byte"}, {unnamed, "no names"}})
        expectSameReading(BinFileWriter::file(contents).data(), what);
}
