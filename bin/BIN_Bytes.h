#pragma once

#include <host/Internal.h>

#include <host/LittleEndian.h>

#include <cstddef>
#include <cstdint>
#include <istream>
#include <stdexcept>
#include <type_traits>

// Field reading of the BIN readers.
namespace bin_bytes ERTKIT_INTERNAL {

template <typename T>
T decode(const unsigned char* bytes)
{
    static_assert(std::is_arithmetic_v<T>);
    return little_endian::load<T>(bytes);
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
