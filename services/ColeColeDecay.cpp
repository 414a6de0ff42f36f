#include <services/ColeColeDecay.h>

#include <services/StackedSignal.h>
#include <services/WindowTimes.h>
#include <services/reprocess/Recompute.h>

#include <host/InjectionTables.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace ertkit {

std::optional<ColeColeParameters> storedColeCole(const Result_Reader& record)
{
    const ColeColeParameters model{record.getColeColeM(true, true), record.getColeColeTau(true, true), record.getColeColeC(true, true)};
    if (!(model.m > 0.0) || !(model.tau > 0.0) || !std::isfinite(model.m) || !std::isfinite(model.tau) || !std::isfinite(model.c))
        return std::nullopt;
    return model;
}

std::vector<DecayPoint> coleColeDecayCurve(const Result_Reader& record, const ColeColeParameters& model, double until_ms, std::size_t max_points)
{
    std::vector<DecayPoint> points;
    if (record.getInjectionType() == InjectionType::FullDutyCycle || max_points == 0) return points;
    double step_ms = 0.0;
    try {
        step_ms = samplePeriodMs(record);
    } catch (const std::exception&) {
        return points;
    }
    // A cycle longer than any stack is a damaged pulse duration, as the stacked signal takes it.
    const std::uint64_t cycle = record.getPeriod(true);
    if (!(step_ms > 0.0) || !std::isfinite(step_ms) || cycle < 8 || cycle > s_max_stack_points) return points;
    const std::size_t half = cycle / 2, pulse = half / 2;
    const auto [on_first, on_last] = onWindow(record, pulse);
    std::size_t last = half;
    // Compared as reals first: a time beyond the decay may be beyond any whole number too.
    if (until_ms >= 0.0 && until_ms / step_ms < static_cast<double>(half - pulse))
        last = pulse + 1 + static_cast<std::size_t>(until_ms / step_ms);
    if (last <= pulse + 1) return points;
    const std::size_t count = last - (pulse + 1), stride = (count + max_points - 1) / max_points;
    DecaySampling sampling{step_ms, pulse, on_first, on_last, {}};
    for (std::size_t k = pulse + 1; k < last; k += stride) sampling.gates.push_back({k, k + 1, false});
    std::vector<double> values;
    coleColeGateValues(model, sampling, values);
    points.reserve(values.size());
    for (std::size_t g = 0; g < values.size(); ++g)
        if (std::isfinite(values[g])) points.push_back({static_cast<double>(sampling.gates[g].first - pulse) * step_ms, values[g]});
    return points;
}

} // namespace ertkit
