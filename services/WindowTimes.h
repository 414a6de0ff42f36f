#pragma once

#include <host/Result_Reader.h>

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

} // namespace ertkit
