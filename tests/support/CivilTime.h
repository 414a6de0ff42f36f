#pragma once

#include <host/HighPrecisionTime.h>

namespace ertkit_test {

// The time of a civil date and time of day (month 1-12), as recording names carry them.
HighPrecisionTime civilTime(int year, int month, int day, int hour, int minute, int second);

} // namespace ertkit_test
