#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <stdexcept>
#include <type_traits>

// Little-endian decoding shared by the BIN readers. Values are assembled byte by byte so
// that the result does not depend on the byte order of the machine.
namespace bin_bytes {

template <typename T>
T decode(const unsigned char* bytes)
{
    static_assert(std::is_arithmetic_v<T>);
    using Bits = std::conditional_t<sizeof(T) == 1, std::uint8_t,
                                    std::conditional_t<sizeof(T) == 2, std::uint16_t,
                                                       std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;
    Bits bits = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) bits |= static_cast<Bits>(static_cast<Bits>(bytes[i]) << (8 * i));
    return std::bit_cast<T>(bits);
}

// Reads one field straight from a stream that must be good before it, as the BIN file
// header demands; a short read leaves the missing bytes zero and the stream failed, which
// the check before the next field reports.
template <typename T>
T readField(std::istream& in, const char* message)
{
    if (!in.good()) throw std::runtime_error(message);
    unsigned char bytes[sizeof(T)] = {};
    in.read(reinterpret_cast<char*>(bytes), sizeof(T));
    return decode<T>(bytes);
}

} // namespace bin_bytes
