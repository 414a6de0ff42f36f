#pragma once

#include <host/HighPrecisionTime.h>

#include <string>

namespace ertkit_cli {

// ISO 8601 to the nearest millisecond, for example 2023-12-05T14:30:15.250; `zone` is appended as is
// ("Z" for times known to be UTC, empty for the civil times result files store).
std::string isoTime(const HighPrecisionTime& time, const std::string& zone);
// A duration in seconds.
double seconds(const HighPrecisionTime& duration);

} // namespace ertkit_cli
