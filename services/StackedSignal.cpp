#include <services/StackedSignal.h>

#include <services/WindowTimes.h>

#include <binx/BINX_Data.h>

namespace ertkit {

StackedSignal stackedSignal(const Result_Reader& record, std::size_t max_points)
{
    StackedSignal signal;
    signal.step_ms = samplePeriodMs(record);
    const std::uint64_t cycle = record.getPeriod(true);
    if (cycle <= max_points) {
        record.fillStackData(true, signal.values);
        return signal;
    }
    const auto* binx = dynamic_cast<const BINX_Data*>(&record);
    if (binx == nullptr) return signal;
    BINX_Data shorter(*binx);
    while (shorter.getPeriod(true) > max_points && shorter.pulseDurationMs != 0) shorter.pulseDurationMs /= 2;
    shorter.fillStackData(true, signal.values);
    if (!signal.values.empty()) signal.step_ms *= static_cast<double>(cycle) / static_cast<double>(signal.values.size());
    return signal;
}

} // namespace ertkit
