#pragma once

#include <services/Geometry.h>

#include <host/Result_Reader.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace ertkit {

// The values of one result as the front ends show them, in the units of the instruments: Vp
// and SP in mV, I in mA, so R = Vp / I in ohm, K in m and rho_a = K * R in ohm.m;
// chargeabilities in mV/V (the host interface gives them as fractions).
struct ResultValues {
    Quadrupole electrodes;
    double vp = 0.0;
    double current = 0.0;
    std::optional<double> resistance; // empty when I is 0
    std::optional<double> k;          // empty where the geometry gives none
    std::optional<double> rhoa;
    double m = 0.0;
    std::vector<double> window_m;     // one per valid window
    std::vector<double> window_times; // ms after switch-off: start of the first window, then the end of each
    double sp = 0.0;
    double vp_error = 0.0;
    double m_error = 0.0;
    std::uint64_t stacks = 0;
    HighPrecisionTime start_time;
    bool ignore = false;
    unsigned short serial_v = 0, user_serial_v = 0, serial_i = 0, user_serial_i = 0;
};

// R = Vp / I and rho_a = K * R from the values' Vp, I and K (none for I = 0 or no K).
void computeResistivity(ResultValues& values);

// Fills `values` (reusing its vectors) from one result; window bounds as readWindowTimes
// gives them.
void readResultValues(const Result_Reader& result, ResultValues& values);
ResultValues resultValues(const Result_Reader& result);

// The chargeability queries answer for the injection type of the result only.
bool fullDutyCycle(const Result_Reader& result);

// Windows with both bounds known.
std::size_t windowCount(const ResultValues& values);
// The most windows any of the results has, which is how many window columns a table of them has.
std::size_t mostWindows(const std::vector<Result_Reader*>& results);

// A reading fit to invert: not ignored, and with a finite apparent resistivity.
bool usable(const ResultValues& values);
// The relative standard deviation of R (that of Vp, as the current is known far better);
// empty when the result records no deviation.
std::optional<double> relativeError(const ResultValues& values);
// A start time, or none when the result stores none (a date-time number of 0).
std::optional<HighPrecisionTime> storedTime(const HighPrecisionTime& time);
// A start time as tables give it, the tool's and Python's alike: stored day numbers in a double
// come back within a few nanoseconds of the time written, so the time is rounded to the
// nearest millisecond (halves up), and a record written at 08:30:00 reads 08:30:00, not
// 08:29:59.999999777. None when the result stores none.
std::optional<HighPrecisionTime> tableTime(const HighPrecisionTime& time);

// The decay curve: each window's chargeability at the middle of the window.
struct DecayPoint {
    double time_ms = 0.0;
    double m = 0.0;
};
std::vector<DecayPoint> decayCurve(const ResultValues& values);

} // namespace ertkit
