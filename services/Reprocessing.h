#pragma once

#include <services/ColeCole.h>
#include <services/CycleStack.h>
#include <services/DecayCleaning.h>
#include <services/WindowTimes.h>

#include <host/ProgressCallback.h>
#include <host/Result_Reader.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class BINX_Data;

namespace ertkit {

// Reprocessing results from their full-wave recordings: each result is joined to the start of
// its voltage and current recordings that holds its injection, the injection is cut into half
// cycles (drift removed, overloaded ones dropped), stacked with the estimator asked for, and
// Vp, I and the chargeabilities are computed again with their deviations across half cycles.

struct ReprocessOptions {
    StackEstimator estimator = StackEstimator::Mean;
    double trim = 0.25;               // for the trimmed mean: fraction cut at each end
    std::vector<double> windows_ms;   // start of the first window, then the end of each; empty: each result's own
    std::filesystem::path recordings; // folder of the recordings; empty: the result file's folder
    unsigned int threads = 0;         // 0: one per core
    // The recording names the result file lists, which its records' path indexes refer to
    // (BINX files): a result whose recording is missing or unreadable is told by that name.
    std::vector<std::string> recording_names;

    // Beyond the meter; all off by default, which leaves every value as the meter's way gives it.
    CleaningSteps cleaning;           // drift order, spikes, periodic noise
    std::optional<LogGates> gates;    // log-spaced gates instead of windows
    bool taper = false;               // Hann-weighted windows or gates
    bool cole_cole = false;           // a Cole-Cole decay fitted to the gates of each record
    bool beyondMeter() const { return cleaning.any() || gates || taper || cole_cole; }
};

// Throws std::invalid_argument, saying what is wrong, for options no record could be
// reprocessed with: a trim that is not a fraction from 0 up to (but not) 0.5 (checkTrim),
// windows that windowBounds would refuse, gates that checkLogGates would, both windows and
// gates, a drift order beyond 0 to s_max_drift_order (-1, the meter's line, is the default), a
// spike limit or a power-line frequency below 0 (0 leaves that step out) or not a number.
// reprocess() checks them first; the tool's option checks and Python's call this too.
void checkReprocessOptions(const ReprocessOptions& options);

// One result's new values, or why there are none. Units as the result files keep them: mV,
// mA, mV/V; deviations are standard deviations across the used half cycles.
struct Reprocessed {
    bool ok = false;
    std::string failure;                          // when not ok: why the join or the stack failed
    bool bad_windows = false;                     // failed because the windows asked for do not fit the record
    std::string voltage_recording, current_recording; // file names joined
    std::uint64_t voltage_start = 0, voltage_channel = 0, current_start = 0, current_channel = 0;
    std::uint64_t offset = 0;                     // first sample of the injection in the voltage start
    std::size_t halves_used = 0, halves_dropped = 0;
    double vp = 0.0, vp_deviation = 0.0;
    double current = 0.0, current_deviation = 0.0;
    std::vector<double> window_times;             // ms after switch-off, as window_m uses them
    std::vector<double> window_m, window_m_deviation;
    double m = 0.0, m_deviation = 0.0;            // width-weighted over the windows; 0 without windows
    std::vector<double> stack;                    // stacked half cycle of the voltage, mV
    double step_ms = 0.0;
    // Beyond the meter. Gate deviations are those of one half cycle's value, the drift fit's
    // uncertainty included (so that deviation / sqrt(halves_used) is the stacked gate's
    // standard error); m_deviation likewise.
    std::size_t spikes = 0;                       // samples left out of the stack as spikes
    std::size_t mains_removed = 0;                // power-line frequencies fitted and removed
    std::vector<DecayGate> gates;                 // the gates window_m reads, in samples of the half cycle
    std::optional<ColeColeFit> cole_cole;         // when asked for and the record has an off time
};

// Time each phase took, for a benchmark.
struct ReprocessTimes {
    double join_s = 0.0, read_s = 0.0, compute_s = 0.0;
    std::size_t recordings_read = 0;
};

// The folder whose recordings reprocess() reads for the result file at `result_file`.
std::filesystem::path recordingFolder(const std::filesystem::path& result_file, const ReprocessOptions& options);

// Reprocesses `results` (records of the file at `result_file`). Recordings are read once each,
// in parallel; progress counts recordings read, then results computed. Throws Interrupted when
// the progress sink asks to stop, and std::invalid_argument for options that cannot be
// honoured (checkReprocessOptions), or windows asked for that a record's decay does not hold
// (beyond its end, or narrower than one sample): a chargeability of nothing is no value.
std::vector<Reprocessed> reprocess(const std::vector<Result_Reader*>& results, const std::filesystem::path& result_file,
                                   const ReprocessOptions& options, ProgressCallback& progress, ReprocessTimes* times = nullptr);

// The dipole curve of a BINX record that holds the deviation of each window's chargeability
// (mV/V, of one half cycle's value) and, as its extra, that of M: the A-B curve read backwards,
// a key the meters do not write.
inline constexpr std::pair<ElectrodeName, ElectrodeName> s_window_deviation_curve{ElectrodeName::B, ElectrodeName::A};

// The windows' deviations a BINX record keeps in s_window_deviation_curve (mV/V, one per valid
// window), or none: another kind of result, or a record reprocessing did not give them.
std::vector<double> storedWindowDeviations(const Result_Reader& record);

// Puts the new values into a BINX record: Vp, I, chargeabilities with their windows,
// deviations (Vp's in % of Vp), the stack and its count, the overload flag; the rest stays.
// Processed beyond the meter, also the windows' deviations (s_window_deviation_curve) and the
// Cole-Cole model (0 for each parameter when its fit failed).
void applyReprocessed(BINX_Data& record, const Reprocessed& values);

} // namespace ertkit
