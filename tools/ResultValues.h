#pragma once

#include "Geometry.h"

#include <host/Result_Reader.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace ertkit_cli {

// The values of one result that the tool shows, in the units of the instruments: Vp and SP
// in mV, I in mA, so R = Vp / I in ohm, K in m and rho_a = K * R in ohm.m; chargeabilities in
// mV/V (the host interface gives them as fractions).
struct ResultValues {
    Quadrupole electrodes;
    double vp = 0.0;
    double current = 0.0;
    std::optional<double> resistance; // empty when I is 0
    std::optional<double> k;          // empty where the geometry gives none
    std::optional<double> rhoa;
    double m = 0.0;
    std::vector<double> window_m;            // one per valid window
    std::vector<double> window_times; // ms after switch-off: start of the first window, then the end of each
    double sp = 0.0;
    double vp_error = 0.0;
    double m_error = 0.0;
    std::uint64_t stacks = 0;
    HighPrecisionTime start_time;
    bool ignore = false;
    unsigned short serial_v = 0, user_serial_v = 0, serial_i = 0, user_serial_i = 0;
};

// Fills `values` (reusing its vectors) from one result. The window bounds come as sample
// indexes and are turned into milliseconds with the result's sample period; a result whose
// period is invalid gets no window bounds.
void readResultValues(const Result_Reader& result, ResultValues& values);
ResultValues resultValues(const Result_Reader& result);

// The chargeability queries answer for the injection type of the result only.
bool fullDutyCycle(const Result_Reader& result);

} // namespace ertkit_cli
