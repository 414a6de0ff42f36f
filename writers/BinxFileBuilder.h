#pragma once

#include <writers/Bytes.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ertkit_writers {

// A whole BINX file around records already in bytes. Counts and lengths default to those of
// the contents and can be overridden: to make damaged files, or to write the header alone and
// let the library's record writer append the records.
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

    Bytes build() const;
};

} // namespace ertkit_writers
