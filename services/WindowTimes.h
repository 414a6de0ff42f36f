#pragma once

#include <host/Result_Reader.h>

#include <string_view>
#include <utility>
#include <vector>

class BINX_Data;

namespace ertkit {

// Chargeability windows in milliseconds after the current switch-off: the start of the first
// window, then the end of each. Records keep them in samples of their own period (BINX
// records store tenths of a sample), so reading and writing both go through that period.

// A result's sample period in ms; throws what the result throws for an invalid period.
double samplePeriodMs(const Result_Reader& result);

// The window bounds of a result in ms; none when its sample period is invalid.
void readWindowTimes(const Result_Reader& result, std::vector<double>& times_ms);

// Stores window bounds given in ms into a BINX record, rounded to whole samples of the
// record's period (set its sampling rate first), and makes them its valid windows. Throws
// std::invalid_argument, leaving the record as it was, for no bounds or more than 20 windows,
// a negative or decreasing bound, one beyond what the record can store, or an invalid period.
void writeWindowTimes(BINX_Data& record, const std::vector<double>& times_ms);

// Windows a user names as (start, end) pairs in ms after the switch-off, made into bounds:
// they must follow one another (each starts where the one before ends), be at most 20, each
// ending after it starts, none before the switch-off. Throws std::invalid_argument saying
// which window is wrong.
std::vector<double> windowBounds(const std::vector<std::pair<double, double>>& windows);
// The same from text: "start:end" pairs separated by commas, e.g. "40:60,60:100".
std::vector<double> windowBounds(std::string_view text);

// Gates spaced evenly in log time from `first_ms` to `last_ms`, `per_decade` to a decade
// (rounded up to whole gates, every gate then a little narrower): late gates grow wide where
// the decay is slow and the noise averages out, early ones stay narrow where it is fast.
struct LogGates {
    double first_ms = 0.0, last_ms = 0.0, per_decade = 0.0;
};
// Throws std::invalid_argument saying what is wrong: a first gate at or before the switch-off,
// a last bound not after the first, a spacing that is not a positive number of gates a
// decade, or more gates than the 20 a record holds.
void checkLogGates(const LogGates& gates);
// "log:FIRST_MS:LAST_MS:PER_DECADE", e.g. "log:10:1900:6"; checked as checkLogGates does.
LogGates logGatesNamed(std::string_view text);
// The gates' bounds in ms: the start of the first, then the end of each.
std::vector<double> logGateBounds(const LogGates& gates);

} // namespace ertkit
