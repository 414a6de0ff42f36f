#pragma once

#include <host/HighPrecisionTime.h>
#include <host/HostEnums.h>

#include <cstdint>
#include <memory>

// The host's injection-cycle tables, reduced to what result readers ask of them.
//
// The 8-second cycle is the standard one of a square-wave transmitter with off-times:
// +2 s on, 2 s off, -2 s on, 2 s off. Its voltage window is the second half of the
// positive pulse, from 1 s to 2 s after the start of the cycle, where the primary voltage
// has settled.
class InjectionPeriodData {
public:
    InjectionPeriodData(HighPrecisionTime pulse, HighPrecisionTime v_delay, HighPrecisionTime v_end);

    HighPrecisionTime getPulse() const { return m_pulse; }
    // Where the voltage window begins and ends, as sample indexes at the given sample period.
    std::uint64_t getVDelay(const HighPrecisionTime& sample_period) const;
    std::uint64_t getVEnd(const HighPrecisionTime& sample_period) const;

private:
    HighPrecisionTime m_pulse;
    HighPrecisionTime m_v_delay;
    HighPrecisionTime m_v_end;
};

class InjectionFrequencyList {
public:
    static std::shared_ptr<InjectionPeriodData> get8s();
};

class InjectionData {
public:
    // How many pulse durations make one stack (one full injection cycle):
    // full duty cycle (+on, -on) 2; half duty cycle (+on, off, -on, off) 4; any other type 4.
    static std::uint64_t getDutyCycleFactor(InjectionType type);
};
