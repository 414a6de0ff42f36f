#include "TimeText.h"

#include <fmt/format.h>

#include <ctime>

namespace ertkit_cli {

std::string isoTime(const HighPrecisionTime& exact, const std::string& zone)
{
    // Stored date-time numbers come back within a few nanoseconds of the time written:
    // round to the millisecond shown rather than truncate.
    const HighPrecisionTime time = exact + HighPrecisionTime(0, 500000);
    const std::int64_t unix_seconds = time.toUnixSeconds();
    // The nanoseconds past the whole second, whatever the sign of the time.
    const HighPrecisionTime whole = HighPrecisionTime::fromVarnelTimestamp(0, 0) + HighPrecisionTime::s_second * unix_seconds;
    const std::int64_t millis = (time - whole).ticks() / 1000000;
    const std::time_t t = static_cast<std::time_t>(unix_seconds);
    std::tm parts{};
    if (gmtime_r(&t, &parts) == nullptr) return "invalid time";
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}{}", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                       parts.tm_hour, parts.tm_min, parts.tm_sec, millis, zone);
}

double seconds(const HighPrecisionTime& duration)
{
    return static_cast<double>(duration.ticks()) * 1e-9;
}

} // namespace ertkit_cli
