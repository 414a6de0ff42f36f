#include <services/Reprocessing.h>

#include <services/CompanionRecordings.h>
#include <services/WindowTimes.h>
#include <services/reprocess/FolderIndex.h>
#include <services/reprocess/Join.h>
#include <services/reprocess/Recompute.h>
#include <services/reprocess/Scheduling.h>

#include <binx/BINX_Data.h>

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <stdexcept>
#include <thread>

// The steps of reprocessing live in services/reprocess/: the folder index, the join, the row
// cache, the arithmetic and the scheduling; this file runs them in order.
namespace ertkit {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

std::filesystem::path recordingFolder(const std::filesystem::path& result_file, const ReprocessOptions& options)
{
    return options.recordings.empty() ? companionFolder(result_file) : options.recordings;
}

void checkReprocessOptions(const ReprocessOptions& options)
{
    checkTrim(options.trim);
    const CleaningSteps& steps = options.cleaning;
    if (steps.drift_order < -1 || steps.drift_order > s_max_drift_order)
        throw std::invalid_argument(fmt::format("the drift's order must be from 0 to {}, not {}", s_max_drift_order, steps.drift_order));
    if (!(steps.spike_threshold >= 0.0) || !std::isfinite(steps.spike_threshold))
        throw std::invalid_argument(fmt::format("the spike limit must be a number of deviations, 0 or more (0: none looked for), not {}", steps.spike_threshold));
    if (!(steps.mains_hz >= 0.0) || !std::isfinite(steps.mains_hz))
        throw std::invalid_argument(fmt::format("the power line's frequency must be a number of Hz, 0 or more (0: its noise left), not {}", steps.mains_hz));
    if (options.gates) {
        if (!options.windows_ms.empty()) throw std::invalid_argument("give windows or gates, not both");
        checkLogGates(*options.gates);
    }
    if (options.windows_ms.empty()) return;
    std::vector<std::pair<double, double>> windows;
    for (std::size_t w = 0; w + 1 < options.windows_ms.size(); ++w) windows.emplace_back(options.windows_ms[w], options.windows_ms[w + 1]);
    windowBounds(windows);
}

std::vector<Reprocessed> reprocess(const std::vector<Result_Reader*>& results, const std::filesystem::path& result_file,
                                   const ReprocessOptions& options, ProgressCallback& progress, ReprocessTimes* times)
{
    checkReprocessOptions(options);
    const unsigned int threads = options.threads ? options.threads : std::max(1u, std::thread::hardware_concurrency());
    Clock::time_point phase = Clock::now();
    FolderIndex index(recordingFolder(result_file, options));
    std::vector<Join> joins;
    joins.reserve(results.size());
    for (const Result_Reader* result : results) {
        joins.push_back(joinResult(*result, index, options.recording_names));
        if (progress.isCancelled()) throw Interrupted();
    }
    std::vector<FolderIndex::Entry*> needed;
    for (const Join& join : joins)
        if (join.failure.empty())
            for (FolderIndex::Entry* entry : {join.voltage.entry, join.current.entry})
                if (std::find(needed.begin(), needed.end(), entry) == needed.end()) needed.push_back(entry);
    if (times) times->join_s = secondsSince(phase);

    phase = Clock::now();
    progress.setRange(0, static_cast<unsigned int>(needed.size() + results.size()), 1);
    inParallel(needed.size(), needed.size(), threads, progress, 0, [&](std::size_t n) -> std::size_t {
        index.readWhole(*needed[n]);
        return 1;
    });
    if (times) {
        times->read_s = secondsSince(phase);
        times->recordings_read = needed.size();
    }

    phase = Clock::now();
    std::vector<Reprocessed> out(results.size());
    const std::vector<std::vector<std::size_t>> groups = groupsByStart(joins);
    inParallel(groups.size(), results.size(), threads, progress, static_cast<unsigned int>(needed.size()), [&](std::size_t g) {
        GroupRows rows;
        groupSpans(joins, groups[g], rows.v_span, rows.i_span);
        for (const std::size_t r : groups[g]) {
            if (!joins[r].failure.empty()) {
                out[r].failure = joins[r].failure;
                continue;
            }
            // An exception must not leave a worker thread: it is this result's failure.
            try {
                out[r] = compute(*results[r], joins[r], options, rows);
            } catch (const std::exception& error) {
                out[r] = Reprocessed{};
                out[r].failure = error.what();
            }
        }
        return groups[g].size();
    });
    if (times) times->compute_s = secondsSince(phase);
    for (std::size_t r = 0; r < out.size(); ++r)
        if (out[r].bad_windows) throw std::invalid_argument(fmt::format("record {}: {}", r, out[r].failure));
    return out;
}

std::vector<double> storedWindowDeviations(const Result_Reader& record)
{
    const auto* binx = dynamic_cast<const BINX_Data*>(&record);
    if (!binx) return {};
    const auto curve = binx->curves.find(s_window_deviation_curve);
    if (curve == binx->curves.end()) return {};
    std::vector<double> times;
    readWindowTimes(record, times);
    const std::size_t windows = std::min(times.empty() ? 0 : times.size() - 1, curve->second.values.size());
    return {curve->second.values.begin(), curve->second.values.begin() + static_cast<std::ptrdiff_t>(windows)};
}

void applyReprocessed(BINX_Data& record, const Reprocessed& values)
{
    if (!values.ok) return;
    record.polarizationVoltage = values.vp;
    record.injectedCurrent = values.current;
    record.polarizationVoltageDeviation = values.vp != 0.0 ? 100.0 * values.vp_deviation / std::abs(values.vp) : 0.0;
    if (!values.window_times.empty()) {
        // Bounds the record cannot hold leave its own windows; the values then still follow them.
        try {
            writeWindowTimes(record, values.window_times);
        } catch (const std::invalid_argument&) {
        }
        record.setMppx(values.window_m);
        record.ip = values.m;
        record.ipDeviation = values.m_deviation;
    }
    if (!values.gates.empty() && values.window_m_deviation.size() == values.window_m.size()) {
        BINX_Data::Curve deviations;
        for (std::size_t w = 0; w < values.window_m_deviation.size() && w < deviations.values.size(); ++w)
            deviations.values[w] = values.window_m_deviation[w];
        deviations.extra = values.m_deviation;
        record.curves[s_window_deviation_curve] = deviations;
    }
    if (values.cole_cole) {
        const ColeColeFit& fit = *values.cole_cole;
        record.coleColeM = fit.ok ? fit.parameters.m : 0.0;
        record.coleColeTau = fit.ok ? fit.parameters.tau : 0.0;
        record.coleColeC = fit.ok ? fit.parameters.c : 0.0;
    }
    record.nStack = static_cast<std::uint32_t>(values.halves_used);
    record.overload = values.halves_dropped > 0 ? 1 : 0;
    // The stored half cycle is positive for a positive Vp, and holds at most 800 samples:
    // longer ones are kept every d-th sample, d the power of two the reader spreads them by.
    std::size_t d = 1;
    while (values.stack.size() / d > BINX_Data::N_STACK_SAMPLES) d *= 2;
    const double sign = values.vp < 0.0 ? -1.0 : 1.0;
    record.stackData.fill(0.0f);
    for (std::size_t k = 0; k * d < values.stack.size() && k < record.stackData.size(); ++k)
        record.stackData[k] = static_cast<float>(sign * values.stack[k * d] * 1000.0);
}

} // namespace ertkit
