#pragma once

#include <host/HighPrecisionTime.h>

#include <cstdint>

namespace ertkit_py {

// numpy's datetime64[ns] counts from 1970-01-01; the library's times from 1899-12-30, 25569
// days earlier. Neither applies a time zone.
inline constexpr std::int64_t s_unix_epoch_ns = 25569LL * 86400LL * 1000000000LL;

inline std::int64_t unixNanoseconds(const HighPrecisionTime& time)
{
    return time.ticks() - s_unix_epoch_ns;
}

inline HighPrecisionTime fromUnixNanoseconds(std::int64_t ns)
{
    return HighPrecisionTime::fromTicks(ns + s_unix_epoch_ns);
}

} // namespace ertkit_py
