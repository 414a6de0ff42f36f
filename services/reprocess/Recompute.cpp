#include <services/reprocess/Recompute.h>

#include <services/WindowTimes.h>

#include <binx/BINX_Data.h>
#include <host/InjectionTables.h>

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <span>
#include <string>
#include <utility>

namespace ertkit {

std::pair<std::size_t, std::size_t> onWindow(const Result_Reader& result, std::size_t pulse)
{
    // The end is that of the 8-second cycle, which outlasts shorter pulses.
    std::size_t last = std::min<std::size_t>(result.getVEnd(), pulse);
    if (last == 0) last = pulse;
    std::size_t first = std::min<std::size_t>(result.getVDelay(), last);
    if (first >= last) first = last / 2;
    return {first, last};
}

namespace {

// Whether the windows a user asked for lie in the record's decay (samples pulse to half of the
// stacked half cycle), each holding at least one sample; otherwise `out` says which does not.
bool windowsFit(const std::vector<double>& times_ms, std::size_t pulse, std::size_t half, Reprocessed& out)
{
    const double decay_ms = static_cast<double>(half - pulse) * out.step_ms;
    for (std::size_t w = 0; w + 1 < times_ms.size(); ++w) {
        const double first = std::round(times_ms[w] / out.step_ms), last = std::round(times_ms[w + 1] / out.step_ms);
        std::string why;
        if (!(last <= static_cast<double>(half - pulse)))
            why = fmt::format("ends after the recorded decay, which lasts {} ms after the switch-off", decay_ms);
        else if (!(first < last))
            why = fmt::format("holds no sample (one every {} ms)", out.step_ms);
        if (why.empty()) continue;
        out.bad_windows = true;
        out.failure = fmt::format("window {} ({}:{} ms) {}", w + 1, times_ms[w], times_ms[w + 1], why);
        return false;
    }
    return true;
}

} // namespace

bool stackSide(const ChannelSamples& samples, std::uint64_t cycle, std::uint64_t cycles, StackEstimator estimator, double trim,
               HalfCycles& halves, std::vector<double>& stack, std::vector<double>& scratch)
{
    cutHalfCycles(samples.values, std::span<const bool>(samples.overloads.get(), samples.size), cycle, cycles, estimator, trim, halves,
                  scratch);
    if (halves.used == 0) return false;
    stackHalfCycles(halves, estimator, trim, stack, scratch);
    return true;
}

namespace {

// The windows of a record processed beyond the meter, into `out.window_times` and
// `out.gates`: the log-spaced gates (bounds rounded to whole samples, gates that rounding
// empties merged into the next), the windows asked for, or the record's own; false, with
// `out.failure` saying why, when one does not fit the decay or is too short to taper.
bool planGates(const Result_Reader& result, const ReprocessOptions& options, std::size_t pulse, std::size_t half, Reprocessed& out)
{
    const auto sampleAt = [&](double ms) { return pulse + static_cast<std::size_t>(std::max(0.0, std::round(ms / out.step_ms))); };
    if (options.gates) {
        std::vector<std::size_t> bounds;
        for (const double ms : logGateBounds(*options.gates)) {
            const std::size_t k = sampleAt(ms);
            if (bounds.empty() || k > bounds.back()) bounds.push_back(k);
        }
        if (bounds.size() < 2) bounds.push_back(bounds.back() + 1);
        out.window_times.clear();
        for (const std::size_t k : bounds) out.window_times.push_back(static_cast<double>(k - pulse) * out.step_ms);
        if (!windowsFit(out.window_times, pulse, half, out)) {
            out.failure = "gate" + out.failure.substr(std::string("window").size());
            return false;
        }
    } else if (!options.windows_ms.empty()) {
        out.window_times = options.windows_ms;
        if (!windowsFit(options.windows_ms, pulse, half, out)) return false;
    } else {
        readWindowTimes(result, out.window_times);
    }
    for (std::size_t w = 0; w + 1 < out.window_times.size(); ++w) {
        const DecayGate gate{sampleAt(out.window_times[w]), sampleAt(out.window_times[w + 1]), options.taper};
        if (options.taper && gate.last - gate.first < 2) {
            out.bad_windows = true;
            out.failure = fmt::format("{} {} ({}:{} ms) holds one sample (one every {} ms): a taper needs two or more", options.gates ? "gate" : "window",
                                      w + 1, out.window_times[w], out.window_times[w + 1], out.step_ms);
            return false;
        }
        out.gates.push_back(gate);
    }
    return true;
}

// Reprocessing beyond the meter: the voltage cleaned (drift, periodic noise, spikes) before
// it is stacked, tapered or log-spaced gates, each gate's deviation with the drift fit's
// share, and the decay model.
void computeBeyondMeter(const Result_Reader& result, const Join& join, const ReprocessOptions& options, GroupRows& rows, Reprocessed& out)
{
    out.step_ms = samplePeriodMs(result);
    CleanHalves& clean = rows.clean;
    cleanHalfCycles(rows.v.values, std::span<const bool>(rows.v.overloads.get(), rows.v.size), join.cycle, join.cycles, out.step_ms, options.cleaning,
                    options.estimator, options.trim, clean, rows.scratch);
    const bool i_stacked =
        stackSide(rows.i, join.cycle, join.cycles, options.estimator, options.trim, rows.i_halves, rows.i_stack, rows.scratch);
    out.halves_used = clean.halves.used;
    out.halves_dropped = clean.halves.dropped;
    out.spikes = clean.spikes;
    out.mains_removed = clean.mains_removed;
    if (clean.halves.used == 0 || !i_stacked) {
        out.failure = fmt::format("every half cycle of the {} holds an overloaded sample", clean.halves.used > 0 ? "current" : "voltage");
        return;
    }
    stackClean(clean, options.estimator, options.trim, out.stack, rows.scratch);

    const std::size_t half = clean.halves.length;
    const bool off_time = result.getInjectionType() != InjectionType::FullDutyCycle;
    const std::size_t pulse = off_time ? half / 2 : half;
    const auto [first, last] = onWindow(result, pulse);
    double drift_variance = 0.0;
    cleanGateValue(clean, out.stack, {first, last, false}, rows.vp, drift_variance);
    windowValue(rows.i_halves, rows.i_stack, first, last, rows.i_window);
    const WindowValue& vp = rows.vp;
    out.vp = vp.value;
    out.vp_deviation = vp.deviation;
    out.current = rows.i_window.value;
    out.current_deviation = rows.i_window.deviation;
    out.ok = std::isfinite(out.vp) && std::isfinite(out.current);
    if (!out.ok) out.failure = "the on-time window holds no sample";
    if (!off_time) return;
    if (!planGates(result, options, pulse, half, out)) {
        out.ok = false;
        return;
    }

    const std::size_t windows = out.gates.size();
    const double halves = static_cast<double>(clean.halves.used);
    std::vector<double>& per_half = rows.per_half;
    std::vector<double>& total_per_half = rows.total_per_half;
    total_per_half.assign(vp.per_half.size(), 0.0);
    double weighted = 0.0, width = 0.0, total_drift = 0.0;
    for (std::size_t w = 0; w < windows; ++w) {
        cleanGateValue(clean, out.stack, out.gates[w], rows.window, drift_variance);
        const WindowValue& window = rows.window;
        const double m = 1000.0 * window.value / out.vp;
        per_half.resize(window.per_half.size());
        for (std::size_t h = 0; h < per_half.size(); ++h) per_half[h] = 1000.0 * window.per_half[h] / vp.per_half[h];
        // The drift's error is shared by every half cycle: as the deviation of one half
        // cycle's value it weighs sqrt(halves) times its share of the stacked value.
        const double drift = 1000.0 * std::sqrt(drift_variance) / std::abs(out.vp);
        const double spread = standardDeviation(per_half);
        out.window_m.push_back(m);
        out.window_m_deviation.push_back(std::sqrt(spread * spread + halves * drift * drift));
        const double w_width = out.window_times[w + 1] - out.window_times[w];
        if (std::isfinite(m)) {
            weighted += m * w_width;
            width += w_width;
            // Neighbouring gates share nearly all their drift error: added, not in quadrature.
            total_drift += drift * w_width;
            for (std::size_t h = 0; h < per_half.size(); ++h) total_per_half[h] += per_half[h] * w_width;
        }
    }
    if (width > 0.0) {
        out.m = weighted / width;
        for (double& m : total_per_half) m /= width;
        const double spread = standardDeviation(total_per_half), drift = total_drift / width;
        out.m_deviation = std::sqrt(spread * spread + halves * drift * drift);
    }
    if (options.cole_cole && out.ok) {
        DecaySampling sampling{out.step_ms, pulse, first, last, out.gates};
        std::vector<double> errors(out.window_m_deviation);
        for (double& e : errors) e /= std::sqrt(halves);
        out.cole_cole = fitColeCole(sampling, out.window_m, errors);
    }
}

} // namespace

Reprocessed compute(const Result_Reader& result, const Join& join, const ReprocessOptions& options, GroupRows& rows)
{
    Reprocessed out;
    out.voltage_recording = join.voltage.entry->path.filename().string();
    out.current_recording = join.current.entry->path.filename().string();
    out.voltage_start = join.voltage.start;
    out.voltage_channel = join.voltage.channel;
    out.current_start = join.current.start;
    out.current_channel = join.current.channel;
    out.offset = join.voltage.offset;
    for (const SideJoin* side : {&join.voltage, &join.current})
        if (!side->entry->full) {
            out.failure = side->entry->failure;
            return out;
        }
    const std::uint64_t count = join.cycle * join.cycles;
    readSide(join.voltage, count, rows.voltage, rows.v_span, rows.v);
    readSide(join.current, count, rows.current, rows.i_span, rows.i);
    const ChannelSamples& v = rows.v;
    const ChannelSamples& i = rows.i;
    HalfCycles& v_halves = rows.v_halves;
    HalfCycles& i_halves = rows.i_halves;
    if (options.beyondMeter()) {
        computeBeyondMeter(result, join, options, rows, out);
        return out;
    }
    const bool v_stacked = stackSide(v, join.cycle, join.cycles, options.estimator, options.trim, v_halves, out.stack, rows.scratch);
    const bool i_stacked = stackSide(i, join.cycle, join.cycles, options.estimator, options.trim, i_halves, rows.i_stack, rows.scratch);
    out.halves_used = v_halves.used;
    out.halves_dropped = v_halves.dropped;
    if (!v_stacked || !i_stacked) {
        out.failure = fmt::format("every half cycle of the {} holds an overloaded sample", v_stacked ? "current" : "voltage");
        return out;
    }
    out.step_ms = samplePeriodMs(result);

    const std::size_t half = v_halves.length;
    const bool off_time = result.getInjectionType() != InjectionType::FullDutyCycle;
    const std::size_t pulse = off_time ? half / 2 : half;
    const auto [first, last] = onWindow(result, pulse);
    const WindowValue& vp = rows.vp;
    windowValue(v_halves, out.stack, first, last, rows.vp);
    windowValue(i_halves, rows.i_stack, first, last, rows.i_window);
    out.vp = vp.value;
    out.vp_deviation = vp.deviation;
    out.current = rows.i_window.value;
    out.current_deviation = rows.i_window.deviation;

    if (off_time) {
        if (!options.windows_ms.empty()) out.window_times = options.windows_ms;
        else readWindowTimes(result, out.window_times);
    }
    const auto sampleAt = [&](double ms) { return pulse + static_cast<std::size_t>(std::max(0.0, std::round(ms / out.step_ms))); };
    if (off_time && !options.windows_ms.empty() && !windowsFit(options.windows_ms, pulse, half, out)) return out;
    std::vector<double>& per_half = rows.per_half;
    std::vector<double>& total_per_half = rows.total_per_half;
    total_per_half.assign(vp.per_half.size(), 0.0);
    const std::size_t windows = out.window_times.empty() ? 0 : out.window_times.size() - 1;
    out.window_m.reserve(windows);
    out.window_m_deviation.reserve(windows);
    double weighted = 0.0, width = 0.0;
    for (std::size_t w = 0; w < windows; ++w) {
        const WindowValue& window = rows.window;
        windowValue(v_halves, out.stack, sampleAt(out.window_times[w]), sampleAt(out.window_times[w + 1]), rows.window);
        const double m = 1000.0 * window.value / out.vp;
        per_half.resize(window.per_half.size());
        for (std::size_t h = 0; h < per_half.size(); ++h) per_half[h] = 1000.0 * window.per_half[h] / vp.per_half[h];
        out.window_m.push_back(m);
        out.window_m_deviation.push_back(standardDeviation(per_half));
        const double w_width = out.window_times[w + 1] - out.window_times[w];
        if (std::isfinite(m)) {
            weighted += m * w_width;
            width += w_width;
            for (std::size_t h = 0; h < per_half.size(); ++h) total_per_half[h] += per_half[h] * w_width;
        }
    }
    if (width > 0.0) {
        out.m = weighted / width;
        for (double& m : total_per_half) m /= width;
        out.m_deviation = standardDeviation(total_per_half);
    }
    out.ok = std::isfinite(out.vp) && std::isfinite(out.current);
    if (!out.ok) out.failure = "the on-time window holds no sample";
    return out;
}

} // namespace ertkit
