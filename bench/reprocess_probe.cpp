// One measurement of reprocessing per process, printed as one JSON line; compare_reprocess.py
// runs it in interleaved rounds beside the numpy re-implementation (reprocess_numpy_peer.py).
// A survey is one or more pairs of a BINX file and the folder of its recordings.
//
//   reprocess_probe make DIR ELECTRODES RECORDS sample|merged|lines
//                            writes a survey of the sample (ELECTRODES electrodes) in DIR as
//                            ReprocessSurveys.h says: the sample of seed 1 alone, its BINX merged
//                            with itself to RECORDS records, or RECORDS records in lines of seeds
//                            1, 2, ...; prints {"surveys": [{"binx", "recordings"}...], "records"}
//   reprocess_probe timing BINX...
//                            prints the injection timing the records share (cycle in samples,
//                            sample period in ms, voltage window delay and end in samples,
//                            off-time or not) and fails when they do not all share one
//   reprocess_probe run [--beyond STEPS] ESTIMATOR THREADS BINX RECORDINGS [BINX RECORDINGS...]
//                            times reading each BINX file and reprocessing it (THREADS 0: one
//                            per core), one pair after the other
//   reprocess_probe dump [--beyond STEPS] OUT BINX RECORDINGS [BINX RECORDINGS...]
//                            reprocesses with mean stacking and writes every record's values to
//                            OUT, one JSON line each, pair after pair; prints the record count
//
// STEPS asks for processing beyond the meter, as a JSON object with any of "drift_order",
// "spikes", "mains" (Hz), "gates" ("log:FIRST:LAST:PER_DECADE"), "taper" and "cole_cole", the
// options of `ertkit reprocess` of those names; dump then writes the spikes, power-line
// frequencies removed, gate times and the Cole-Cole fit too.
//
// `run` prints {"mode", "seconds", "open_seconds", "join_s", "read_s", "compute_s", "records",
// "failed", "recordings_read", "vmhwm_kb", "baseline_kb"}: seconds is the wall time of reading
// the BINX files and reprocessing their records, open_seconds the part spent reading the BINX
// files, the other times those of reprocess() (ReprocessTimes), all summed over the pairs.

#include <services/Reprocessing.h>
#include <services/WindowTimes.h>

#include <binx/BINX_File.h>
#include <host/InjectionTables.h>

#include "PeakMemory.h"
#include "ReprocessSurveys.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

using Pairs = std::vector<ertkit_bench::ReprocessSurvey>;

// The options beyond the meter a STEPS object asks for, on top of `options`.
void applySteps(const json& steps, ertkit::ReprocessOptions& options)
{
    options.cleaning.drift_order = steps.value("drift_order", -1);
    options.cleaning.spike_threshold = steps.value("spikes", 0.0);
    options.cleaning.mains_hz = steps.value("mains", 0.0);
    if (steps.contains("gates")) options.gates = ertkit::logGatesNamed(steps.at("gates").get<std::string>());
    options.taper = steps.value("taper", false);
    options.cole_cole = steps.value("cole_cole", false);
    ertkit::checkReprocessOptions(options);
}

json coleColeOf(const std::optional<ertkit::ColeColeFit>& fit)
{
    if (!fit) return nullptr;
    return {{"ok", fit->ok},
            {"failure", fit->failure},
            {"m", fit->parameters.m},
            {"tau", fit->parameters.tau},
            {"c", fit->parameters.c},
            {"m_deviation", fit->m_deviation},
            {"tau_deviation", fit->tau_deviation},
            {"c_deviation", fit->c_deviation},
            {"misfit", fit->misfit}};
}

int make(const std::filesystem::path& folder, int electrodes, std::size_t records, const std::string& arrangement)
{
    Pairs pairs;
    if (arrangement == "sample") pairs.push_back(ertkit_bench::writeSampleSurvey(folder, 1, electrodes));
    else if (arrangement == "merged") pairs.push_back(ertkit_bench::writeMergedSurvey(folder, 1, electrodes, records));
    else if (arrangement == "lines") pairs = ertkit_bench::writeLinesSurvey(folder, electrodes, records);
    else throw std::invalid_argument("no arrangement " + arrangement);
    json surveys = json::array();
    std::size_t total = 0;
    for (const auto& pair : pairs) {
        surveys.push_back({{"binx", pair.binx.string()}, {"recordings", pair.recordings.string()}});
        total += BINX_File(pair.binx.string()).getDatas().size();
    }
    std::cout << json{{"surveys", surveys}, {"records", total}} << '\n';
    return 0;
}

Pairs pairsOf(std::span<const std::string> args)
{
    if (args.empty() || args.size() % 2 != 0) throw std::invalid_argument("BINX and RECORDINGS go in pairs");
    Pairs pairs;
    for (std::size_t i = 0; i < args.size(); i += 2) pairs.push_back({args[i], args[i + 1]});
    return pairs;
}

json timingOf(const Result_Reader& result)
{
    return {{"cycle", result.getPeriod(true)},
            {"step_ms", ertkit::samplePeriodMs(result)},
            {"v_delay", result.getVDelay()},
            {"v_end", result.getVEnd()},
            {"off_time", result.getInjectionType() != InjectionType::FullDutyCycle}};
}

int timing(std::span<const std::string> binx_files)
{
    std::optional<json> first;
    for (const std::string& binx : binx_files) {
        const BINX_File file(binx);
        for (const Result_Reader* result : file.getResults()) {
            const json timing = timingOf(*result);
            if (!first) first = timing;
            if (timing != *first) {
                std::cerr << "records of different timings: " << *first << " and " << timing << '\n';
                return 1;
            }
        }
    }
    if (!first) throw std::runtime_error("no record");
    std::cout << *first << '\n';
    return 0;
}

int run(const json& steps, const std::string& estimator, unsigned int threads, const Pairs& pairs)
{
    ertkit::ReprocessOptions options;
    applySteps(steps, options);
    options.estimator = ertkit::stackEstimatorNamed(estimator).value();
    options.threads = threads;
    const long baseline = ertkit_bench::peakResidentKb();
    double open_s = 0.0;
    ertkit::ReprocessTimes sum;
    std::size_t records = 0, failed = 0;
    const auto t0 = Clock::now();
    for (const auto& pair : pairs) {
        const auto opening = Clock::now();
        const BINX_File file(pair.binx.string());
        open_s += seconds(Clock::now() - opening);
        options.recordings = pair.recordings;
        ertkit::ReprocessTimes times;
        const std::vector<ertkit::Reprocessed> out = ertkit::reprocess(file.getResults(), pair.binx, options, noProgress(), &times);
        sum.join_s += times.join_s;
        sum.read_s += times.read_s;
        sum.compute_s += times.compute_s;
        sum.recordings_read += times.recordings_read;
        records += out.size();
        failed += static_cast<std::size_t>(std::count_if(out.begin(), out.end(), [](const ertkit::Reprocessed& r) { return !r.ok; }));
    }
    const double total = seconds(Clock::now() - t0);
    std::cout << json{{"mode", "ertkit"},
                      {"seconds", total},
                      {"open_seconds", open_s},
                      {"join_s", sum.join_s},
                      {"read_s", sum.read_s},
                      {"compute_s", sum.compute_s},
                      {"records", records},
                      {"failed", failed},
                      {"recordings_read", sum.recordings_read},
                      {"vmhwm_kb", ertkit_bench::peakResidentKb()},
                      {"baseline_kb", baseline}}
              << '\n';
    return 0;
}

int dump(const json& steps, const std::string& out_path, const Pairs& pairs)
{
    std::ofstream lines(out_path);
    std::size_t records = 0;
    for (const auto& pair : pairs) {
        ertkit::ReprocessOptions options;
        applySteps(steps, options);
        options.recordings = pair.recordings;
        const BINX_File file(pair.binx.string());
        const std::vector<ertkit::Reprocessed> out = ertkit::reprocess(file.getResults(), pair.binx, options, noProgress());
        for (const ertkit::Reprocessed& r : out)
            lines << json{{"ok", r.ok},
                          {"failure", r.failure},
                          {"voltage_recording", r.voltage_recording},
                          {"voltage_start", r.voltage_start},
                          {"voltage_channel", r.voltage_channel},
                          {"offset", r.offset},
                          {"halves_used", r.halves_used},
                          {"halves_dropped", r.halves_dropped},
                          {"vp", r.vp},
                          {"vp_deviation", r.vp_deviation},
                          {"current", r.current},
                          {"current_deviation", r.current_deviation},
                          {"window_m", r.window_m},
                          {"window_m_deviation", r.window_m_deviation},
                          {"m", r.m},
                          {"m_deviation", r.m_deviation},
                          {"spikes", r.spikes},
                          {"mains_removed", r.mains_removed},
                          {"window_times", r.window_times},
                          {"cole_cole", coleColeOf(r.cole_cole)}}
                  << '\n';
        records += out.size();
    }
    if (!lines) throw std::runtime_error("cannot write " + out_path);
    std::cout << json{{"records", records}} << '\n';
    return 0;
}

int usage()
{
    std::fputs("usage: reprocess_probe make DIR ELECTRODES RECORDS sample|merged|lines | timing BINX...\n"
               "       | run [--beyond STEPS] ESTIMATOR THREADS BINX RECORDINGS...\n"
               "       | dump [--beyond STEPS] OUT BINX RECORDINGS...\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    json steps = json::object();
    if (args.size() >= 3 && (args[0] == "run" || args[0] == "dump") && args[1] == "--beyond") {
        try {
            steps = json::parse(args[2]);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "reprocess_probe: --beyond: %s\n", error.what());
            return 2;
        }
        args.erase(args.begin() + 1, args.begin() + 3);
    }
    const std::span<const std::string> rest = std::span(args).subspan(std::min<std::size_t>(args.size(), 1));
    try {
        if (args.size() == 5 && args[0] == "make") return make(args[1], std::stoi(args[2]), std::stoul(args[3]), args[4]);
        if (args.size() >= 2 && args[0] == "timing") return timing(rest);
        if (args.size() >= 5 && args[0] == "run")
            return run(steps, args[1], static_cast<unsigned int>(std::stoul(args[2])), pairsOf(rest.subspan(2)));
        if (args.size() >= 4 && args[0] == "dump") return dump(steps, args[1], pairsOf(rest.subspan(1)));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "reprocess_probe: %s\n", error.what());
        return 1;
    }
    return usage();
}
