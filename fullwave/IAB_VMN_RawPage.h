#pragma once

#include <cstdint>
#include <cstring>

// One 528-byte page of a full-wave recording, exactly as stored: 132 little-endian words.
struct IAB_VMN_RawPage {
    static constexpr unsigned int s_size_in_bytes = 528;
    static constexpr unsigned int s_size_in_int = 132;

    unsigned char bytes[s_size_in_bytes] = {};

    // Word i read as unsigned, signed or single-precision float (little-endian, as stored).
    std::uint32_t word(unsigned int i) const
    {
        const unsigned char* p = bytes + 4 * i;
        return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16 |
               static_cast<std::uint32_t>(p[3]) << 24;
    }
    std::int32_t signedWord(unsigned int i) const { return static_cast<std::int32_t>(word(i)); }
    float floatWord(unsigned int i) const
    {
        const std::uint32_t bits = word(i);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // 16-bit field at a byte offset.
    std::uint16_t half(unsigned int offset) const
    {
        return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
    }
    char* data() { return reinterpret_cast<char*>(bytes); }
    const char* data() const { return reinterpret_cast<const char*>(bytes); }
};
static_assert(sizeof(IAB_VMN_RawPage) == IAB_VMN_RawPage::s_size_in_bytes);
