#include <host/HighPrecisionTime.h>

#include <cmath>

namespace {

constexpr std::int64_t kNanosPerSecond = 1000000000;
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kNanosPerDay = kSecondsPerDay * kNanosPerSecond;
// Days from 1899-12-30 to 1970-01-01.
constexpr std::int64_t kUnixEpochDays = 25569;

// Days since 1970-01-01 of a proleptic Gregorian date (month 1-12).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

} // namespace

HighPrecisionTime HighPrecisionTime::convertDateTime(double date_time)
{
    // Extended precision keeps the product exact enough that converting back rounds to the
    // very same double; values outside the tick range saturate instead of overflowing.
    const long double ticks = static_cast<long double>(date_time) * static_cast<long double>(kNanosPerDay);
    constexpr long double kMax = 9.2e18L;
    if (std::isnan(ticks)) return HighPrecisionTime();
    if (ticks >= kMax) return fromTicks(static_cast<Ticks>(kMax));
    if (ticks <= -kMax) return fromTicks(static_cast<Ticks>(-kMax));
    return fromTicks(static_cast<Ticks>(std::llround(ticks)));
}

double HighPrecisionTime::convertDateTime(const HighPrecisionTime& time)
{
    return static_cast<double>(static_cast<long double>(time.m_ticks) / static_cast<long double>(kNanosPerDay));
}

HighPrecisionTime HighPrecisionTime::fromLocalTm(const struct tm* local)
{
    if (local == nullptr) return HighPrecisionTime();
    // Normalise out-of-range months the way the C library does.
    std::int64_t year = static_cast<std::int64_t>(local->tm_year) + 1900;
    std::int64_t month = local->tm_mon;
    year += floorDiv(month, 12);
    month -= floorDiv(month, 12) * 12;
    const std::int64_t days = daysFromCivil(year, static_cast<unsigned>(month + 1), 1) + (local->tm_mday - 1);
    const std::int64_t seconds = days * kSecondsPerDay + static_cast<std::int64_t>(local->tm_hour) * 3600 +
                                 static_cast<std::int64_t>(local->tm_min) * 60 + local->tm_sec;
    return HighPrecisionTime(seconds + kUnixEpochDays * kSecondsPerDay, 0);
}

HighPrecisionTime HighPrecisionTime::fromVarnelTimestamp(int seconds, unsigned int fraction)
{
    return HighPrecisionTime(static_cast<std::int64_t>(seconds) + kUnixEpochDays * kSecondsPerDay, fraction);
}

std::int64_t HighPrecisionTime::toUnixSeconds() const
{
    return floorDiv(m_ticks, kNanosPerSecond) - kUnixEpochDays * kSecondsPerDay;
}

HighPrecisionTime HighPrecisionTime::absDiff(const HighPrecisionTime& a, const HighPrecisionTime& b)
{
    return a.m_ticks >= b.m_ticks ? fromTicks(a.m_ticks - b.m_ticks) : fromTicks(b.m_ticks - a.m_ticks);
}
