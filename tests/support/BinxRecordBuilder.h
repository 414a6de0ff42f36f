#pragma once

#include "support/TestSupport.h"

#include <binx/BINX_Data.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ertkit_test {

// A record whose every stored member holds a value of its own, different for each seed,
// so that a field read or written in the wrong place shows. Its texts hold no zero byte,
// its serial numbers are set and its path indexes are 2 (IAB), 1 (VMN) and 0 (project).
BINX_Data sampleBinxRecord(int seed);

// The bytes of a record in the layout of any record version (0 and below up to 16 and
// beyond), written field by field from the record's members without the library's writer.
// Version-1 key texts are cut or zero-padded to their 28-byte blocks; the 48 bytes that
// records before version 9 carry are filled with a recognisable pattern.
Bytes binxRecordBytes(const BINX_Data& record, int version);

// A whole BINX file. Counts and lengths default to those of the contents and can be
// overridden to make damaged files.
struct BinxFileBuilder {
    std::uint32_t version = 6;
    std::uint8_t header_byte = 14;
    std::uint8_t software = 0;
    std::array<std::int16_t, 3> software_version{};
    std::string header_text;
    std::uint32_t header_text_length = 1024;
    std::string folder;
    std::uint32_t folder_length = 260;
    std::vector<std::string> recordings;
    std::optional<std::uint32_t> recording_count;
    std::vector<std::string> projects; // stored with their terminating zero
    std::optional<std::uint32_t> project_count;
    std::vector<Bytes> records;
    std::optional<std::uint32_t> record_count;

    BinxFileBuilder& add(const BINX_Data& record, int record_version = BINX_Data::VERSION)
    {
        records.push_back(binxRecordBytes(record, record_version));
        return *this;
    }
    Bytes build() const;
};

} // namespace ertkit_test
