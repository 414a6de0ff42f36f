#pragma once

#include <bit>
#include <cstring>
#include <type_traits>

// Every file and link format of the library is little-endian and packed. Fields are copied as
// they are stored, and runs of them (sample blocks, stacked curves, measure records) in one
// piece, which holds because the machine is little-endian too: this is the one place that
// says so, and the one way a single field is read or written.
namespace little_endian {

static_assert(std::endian::native == std::endian::little, "the formats' fields are copied as they are stored");

// The field of type T stored at `bytes`.
template <typename T>
T load(const void* bytes)
{
    static_assert(std::is_trivially_copyable_v<T>);
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// Stores a field of type T at `bytes`.
template <typename T>
void store(void* bytes, T value)
{
    static_assert(std::is_trivially_copyable_v<T>);
    std::memcpy(bytes, &value, sizeof value);
}

} // namespace little_endian
