#pragma once

#include <services/CycleStack.h>
#include <services/Reprocessing.h>
#include <services/reprocess/RowCache.h>

#include <cstddef>
#include <utility>
#include <vector>

namespace ertkit {

// What the results of one group share: the rows of their voltage start and current start, and
// room for one result's samples.
struct GroupRows {
    StartRows voltage, current;
    ChannelSamples v, i;
    Span v_span, i_span;
    // Scratch of one result's stacking, reused by the next.
    HalfCycles v_halves, i_halves;
    std::vector<double> i_stack, scratch, per_half, total_per_half;
    WindowValue vp, i_window, window;
    CleanHalves clean; // the voltage's half cycles processed beyond the meter
};

// The on-time window [first, last) where Vp and I are read, in samples of the half cycle: the
// result's voltage delay and end, kept inside the pulse of `pulse` samples.
std::pair<std::size_t, std::size_t> onWindow(const Result_Reader& result, std::size_t pulse);

// The one stack formula of reprocessing and of the record plot: one side's `cycles` whole
// cycles of `cycle` samples cut into half cycles (drift removed, overloaded ones dropped) and
// stacked into `stack`. False, `stack` untouched, when every half cycle holds an overloaded sample.
bool stackSide(const ChannelSamples& samples, std::uint64_t cycle, std::uint64_t cycles, StackEstimator estimator, double trim,
               HalfCycles& halves, std::vector<double>& stack, std::vector<double>& scratch);

// A joined result's new values, from the samples of its recordings (read whole) through `rows`.
Reprocessed compute(const Result_Reader& result, const Join& join, const ReprocessOptions& options, GroupRows& rows);

} // namespace ertkit
