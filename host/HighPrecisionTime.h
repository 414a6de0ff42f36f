#pragma once

#include <cstdint>
#include <ctime>

// A point in time or a duration, counted in nanoseconds.
//
// Absolute times count from 1899-12-30 00:00, the origin of the date-time numbers that
// result files store (days since that day, the fraction being the time of day), so that
// the zero time converts to the stored number 0.0 and back. The representable span is
// about 292 years on either side of that origin. No time zone is ever applied: times are
// taken as the civil times the instruments wrote.
class HighPrecisionTime {
public:
    using Ticks = std::int64_t;

    constexpr HighPrecisionTime() = default;
    constexpr HighPrecisionTime(std::int64_t seconds, std::int64_t nanoseconds)
        : m_ticks(seconds * 1000000000 + nanoseconds)
    {
    }

    static constexpr HighPrecisionTime fromTicks(Ticks ticks)
    {
        HighPrecisionTime t;
        t.m_ticks = ticks;
        return t;
    }
    constexpr Ticks ticks() const { return m_ticks; }

    static const HighPrecisionTime s_day;
    static const HighPrecisionTime s_second;
    static const HighPrecisionTime s_tenth;
    static const HighPrecisionTime s_hundredth;
    static const HighPrecisionTime s_millisecond;

    // Stored date-time numbers (days since 1899-12-30) to a time and back. The round trip
    // double -> time -> double gives back the same double for every date from March 1900 to
    // 2192 (below day 64 a nanosecond is coarser than the spacing of doubles).
    static HighPrecisionTime convertDateTime(double date_time);
    static double convertDateTime(const HighPrecisionTime& time);

    // Broken-down civil time (tm_year from 1900, tm_mon from 0); the fields are taken as they
    // stand, without the machine's time zone, so results never depend on where code runs.
    static HighPrecisionTime fromLocalTm(const struct tm* local);
    // The receivers' own time base: seconds since 1970-01-01 00:00, plus a fraction in ns.
    static HighPrecisionTime fromVarnelTimestamp(int seconds, unsigned int fraction);
    // Seconds since 1970-01-01 00:00 of this time (floor), for printing by tools.
    std::int64_t toUnixSeconds() const;

    static HighPrecisionTime absDiff(const HighPrecisionTime& a, const HighPrecisionTime& b);

    friend bool operator==(const HighPrecisionTime& a, const HighPrecisionTime& b) { return a.m_ticks == b.m_ticks; }
    friend bool operator!=(const HighPrecisionTime& a, const HighPrecisionTime& b) { return a.m_ticks != b.m_ticks; }
    friend bool operator<(const HighPrecisionTime& a, const HighPrecisionTime& b) { return a.m_ticks < b.m_ticks; }
    friend bool operator>(const HighPrecisionTime& a, const HighPrecisionTime& b) { return a.m_ticks > b.m_ticks; }
    friend bool operator<=(const HighPrecisionTime& a, const HighPrecisionTime& b) { return a.m_ticks <= b.m_ticks; }
    friend bool operator>=(const HighPrecisionTime& a, const HighPrecisionTime& b) { return a.m_ticks >= b.m_ticks; }
    friend HighPrecisionTime operator+(const HighPrecisionTime& a, const HighPrecisionTime& b) { return fromTicks(a.m_ticks + b.m_ticks); }
    friend HighPrecisionTime operator-(const HighPrecisionTime& a, const HighPrecisionTime& b) { return fromTicks(a.m_ticks - b.m_ticks); }
    // Ratio of two durations, truncated toward zero (a duration over a sample period gives a sample count).
    friend std::int64_t operator/(const HighPrecisionTime& a, const HighPrecisionTime& b) { return a.m_ticks / b.m_ticks; }
    friend HighPrecisionTime operator*(const HighPrecisionTime& a, std::int64_t factor) { return fromTicks(a.m_ticks * factor); }
    friend HighPrecisionTime operator*(std::int64_t factor, const HighPrecisionTime& a) { return fromTicks(a.m_ticks * factor); }

private:
    Ticks m_ticks = 0;
};

// Constant-initialised, so that other static data may be built from them.
inline constexpr HighPrecisionTime HighPrecisionTime::s_day = HighPrecisionTime(86400, 0);
inline constexpr HighPrecisionTime HighPrecisionTime::s_second = HighPrecisionTime(1, 0);
inline constexpr HighPrecisionTime HighPrecisionTime::s_tenth = HighPrecisionTime(0, 100000000);
inline constexpr HighPrecisionTime HighPrecisionTime::s_hundredth = HighPrecisionTime(0, 10000000);
inline constexpr HighPrecisionTime HighPrecisionTime::s_millisecond = HighPrecisionTime(0, 1000000);

inline HighPrecisionTime absDiff(const HighPrecisionTime& a, const HighPrecisionTime& b)
{
    return HighPrecisionTime::absDiff(a, b);
}
