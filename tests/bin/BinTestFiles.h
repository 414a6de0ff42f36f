#pragma once

#include "support/TestSupport.h"

#include <writers/BinFileWriter.h>

#include <bin/BIN_File.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace bin_test {

using ertkit_writers::BinFileContents;
using ertkit_writers::BinFileWriter;
using ertkit_writers::BinRecordFields;

// The default names and `n` default records, told apart by their VAB: 0, 1, ...
inline BinFileContents withRecords(std::size_t n)
{
    BinFileContents contents;
    for (std::size_t i = 0; i < n; ++i) {
        BinRecordFields record;
        record.vab = static_cast<float>(i);
        contents.records.push_back(record);
    }
    return contents;
}

// Writes the contents as a BIN file in a fresh folder and opens it.
inline BIN_File openBin(const BinFileContents& contents)
{
    ertkit_test::TempDir dir;
    const std::string path = dir.file("survey.bin");
    BinFileWriter::write(path, contents);
    return BIN_File(path);
}

// The one record of a file holding only it, with the default companion names.
inline BIN_Data readRecord(const BinRecordFields& fields, BinFileContents contents = {})
{
    contents.records = {fields};
    const BIN_File file = openBin(contents);
    if (file.getDatas().size() != 1) throw std::runtime_error("record not read");
    return *file.getDatas().front();
}

// A record read straight from its bytes, its names resolved by the given file.
inline BIN_Data readRecordBytes(const std::vector<std::uint8_t>& bytes, const BIN_File& names)
{
    std::istringstream stream(std::string(bytes.begin(), bytes.end()));
    return BIN_Data(stream, &names);
}

} // namespace bin_test
