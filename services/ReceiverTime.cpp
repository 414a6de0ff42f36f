#include <services/ReceiverTime.h>

#include <algorithm>
#include <limits>

namespace ertkit {

namespace {

HighPrecisionTime origin()
{
    return HighPrecisionTime::fromVarnelTimestamp(0, 0);
}

} // namespace

HighPrecisionTime receiverTime(std::uint32_t seconds)
{
    return origin() + HighPrecisionTime::s_second * static_cast<std::int64_t>(seconds);
}

std::uint32_t receiverSeconds(const HighPrecisionTime& time)
{
    const std::int64_t seconds = (time - origin()) / HighPrecisionTime::s_second;
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(seconds, 0, std::numeric_limits<std::uint32_t>::max()));
}

} // namespace ertkit
