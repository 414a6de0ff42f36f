#pragma once

// The peak resident set of this process, which the probes print before and after the step
// they time, so that each measurement in its own process has a peak memory of its own.

#include <fstream>
#include <stdexcept>
#include <string>

namespace ertkit_bench {

// VmHWM from /proc/self/status, in kB.
inline long peakResidentKb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
    throw std::runtime_error("no VmHWM in /proc/self/status");
}

} // namespace ertkit_bench
