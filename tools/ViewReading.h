#pragma once

#include <services/ResultValues.h>

#include <host/Result_Reader.h>

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <filesystem>

namespace ertkit_cli {

// Longest trace of an injection sent to the page: a longer one is cut into this many
// buckets, each sent as its lowest and highest sample, so that spikes and overloads stay seen.
inline constexpr std::size_t s_view_trace_points = 4000;

// What the viewer shows of one reading: {"electrodes", "values", "stack": {"values",
// "step_ms", "pulse_ms", "source"}, "decay": {"window_times", "window_m", "points"},
// "model": {"m", "tau", "c"} or null, "injection": {"voltage", "current"}}. The injection of
// each side is the start of its recording that services/CompanionRecordings.h joins to the
// reading, looked for beside `joined` (a path whose folder holds the recordings): {"file",
// "start", "channel", "step_ms", "lo", "hi", "overload", "pps"} (the last two as bucket
// indices), null when there is none, {"error"} when it could not be read.
nlohmann::json viewReading(const Result_Reader& record, const ertkit::ResultValues& values, const std::filesystem::path& joined);

// A trace cut into at most `buckets` buckets: lowest and highest value, whether a sample of
// the bucket is flagged.
struct TraceBuckets {
    std::size_t per_bucket = 1;
    std::vector<double> lo, hi;
    std::vector<std::size_t> overload, pps; // buckets holding a flagged sample
};
TraceBuckets traceBuckets(const std::vector<double>& values, const std::vector<bool>& overload, const std::vector<bool>& pps,
                          std::size_t buckets = s_view_trace_points);

} // namespace ertkit_cli
