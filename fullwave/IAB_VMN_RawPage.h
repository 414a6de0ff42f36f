#pragma once

#include <host/LittleEndian.h>

#include <cstdint>

// One 528-byte page of a full-wave recording, exactly as stored: 132 little-endian words.
struct IAB_VMN_RawPage {
    static constexpr unsigned int s_size_in_bytes = 528;
    static constexpr unsigned int s_size_in_int = 132;

    unsigned char bytes[s_size_in_bytes] = {};

    // Word i read as unsigned, signed or single-precision float (little-endian, as stored).
    std::uint32_t word(unsigned int i) const { return little_endian::load<std::uint32_t>(bytes + 4 * i); }
    std::int32_t signedWord(unsigned int i) const { return little_endian::load<std::int32_t>(bytes + 4 * i); }
    float floatWord(unsigned int i) const { return little_endian::load<float>(bytes + 4 * i); }
    // 16-bit field at a byte offset.
    std::uint16_t half(unsigned int offset) const { return little_endian::load<std::uint16_t>(bytes + offset); }
    char* data() { return reinterpret_cast<char*>(bytes); }
    const char* data() const { return reinterpret_cast<const char*>(bytes); }
};
static_assert(sizeof(IAB_VMN_RawPage) == IAB_VMN_RawPage::s_size_in_bytes);
