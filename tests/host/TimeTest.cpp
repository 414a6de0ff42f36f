#include <host/HighPrecisionTime.h>

#include "support/CivilTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

TEST(HighPrecisionTime, StoredDateTimeNumbersRoundTripWithoutLoss)
{
    std::mt19937_64 random(7);
    // From day 64 (March 1900) on, a nanosecond is finer than half the spacing of doubles.
    std::uniform_real_distribution<double> days(64.0, 100000.0);
    const double fixed[] = {0.0, 1.0, 25569.0, 45000.123456789, 45265.604340277778, 36526.5, 73050.99999999};
    for (double d : fixed) EXPECT_EQ(HighPrecisionTime::convertDateTime(HighPrecisionTime::convertDateTime(d)), d) << d;
    for (int i = 0; i < 100000; ++i) {
        const double d = days(random);
        ASSERT_EQ(HighPrecisionTime::convertDateTime(HighPrecisionTime::convertDateTime(d)), d) << std::hexfloat << d;
    }
}

TEST(HighPrecisionTime, CalendarConversionsShareOneOrigin)
{
    // 1970-01-01 is day 25569 of the stored numbers, and second 0 of the receivers' base.
    EXPECT_EQ(HighPrecisionTime::convertDateTime(HighPrecisionTime::fromVarnelTimestamp(0, 0)), 25569.0);
    EXPECT_EQ(HighPrecisionTime::convertDateTime(HighPrecisionTime()), 0.0);

    const HighPrecisionTime t = ertkit_test::civilTime(2023, 12, 5, 14, 30, 15);
    // 2023-12-05 14:30:15 is 1701786615 s after 1970-01-01 00:00.
    EXPECT_EQ(t, HighPrecisionTime::fromVarnelTimestamp(1701786615, 0));
    EXPECT_EQ(t.toUnixSeconds(), 1701786615);
    EXPECT_DOUBLE_EQ(HighPrecisionTime::convertDateTime(t), 45265.0 + (14 * 3600 + 30 * 60 + 15) / 86400.0);
    EXPECT_EQ(ertkit_test::civilTime(1999, 2, 28, 0, 0, 0).toUnixSeconds(), 920160000);
    EXPECT_EQ(HighPrecisionTime::fromVarnelTimestamp(-1, 0).toUnixSeconds(), -1);
}

