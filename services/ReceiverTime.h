#pragma once

#include <host/HighPrecisionTime.h>

#include <cstdint>

namespace ertkit {

// The receivers' time base, in one place: meters stamp their measures with whole seconds
// counted like the dates of full-wave pages (HighPrecisionTime::fromVarnelTimestamp), so a
// measure and the pages it came from give the same calendar time. The stamp is unsigned, so
// it runs to 2106 where the pages' signed dates wrap in 2038.
HighPrecisionTime receiverTime(std::uint32_t seconds);
// The stamp a meter gives `time` (whole seconds, truncated; times outside the stamp's range
// are clamped to it).
std::uint32_t receiverSeconds(const HighPrecisionTime& time);

} // namespace ertkit
