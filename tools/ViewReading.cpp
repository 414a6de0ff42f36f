#include "ViewReading.h"

#include "TimeText.h"

#include <services/ColeColeDecay.h>
#include <services/CompanionRecordings.h>
#include <services/StackedSignal.h>
#include <services/reprocess/Join.h>
#include <services/WindowTimes.h>

#include <host/InjectionTables.h>

#include <fullwave/IAB_VMN_File.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

namespace ertkit_cli {

using nlohmann::json;

namespace {

json finiteOrNull(double value)
{
    return std::isfinite(value) ? json(value) : json(nullptr);
}

json finiteOrNull(const std::optional<double>& value)
{
    return value ? finiteOrNull(*value) : json(nullptr);
}

json valuesJson(const ertkit::ResultValues& v)
{
    return {{"vp", finiteOrNull(v.vp)},     {"i", finiteOrNull(v.current)}, {"r", finiteOrNull(v.resistance)},
            {"k", finiteOrNull(v.k)},       {"rhoa", finiteOrNull(v.rhoa)}, {"m", finiteOrNull(v.m)},
            {"sp", finiteOrNull(v.sp)},     {"vp_error", finiteOrNull(v.vp_error)}, {"m_error", finiteOrNull(v.m_error)},
            {"stacks", v.stacks},           {"ignore", v.ignore},
            {"start_time", ertkit::storedTime(v.start_time) ? json(isoTime(v.start_time, "")) : json(nullptr)}};
}

json electrodesJson(const ertkit::Quadrupole& q)
{
    json electrodes = json::array();
    for (const ertkit::ElectrodePoint& p : q)
        electrodes.push_back(p.remote() ? json(nullptr) : json::array({finiteOrNull(p.x), finiteOrNull(p.y), finiteOrNull(p.z)}));
    return electrodes;
}

// The stored stack, or for a record without one the stack of its companion recording, as
// `plot --record` draws it.
json stackJson(const Result_Reader& r, const std::filesystem::path& joined)
{
    ertkit::StackedSignal stack = ertkit::stackedSignal(r);
    bool stored = std::any_of(stack.values.begin(), stack.values.end(), [](double v) { return v != 0.0; });
    std::string source = stored ? "stored" : "none";
    if (!stored && r.getPeriod(true) <= ertkit::s_max_stack_points) {
        // The join and the stack `plot --record` and reprocess share.
        const ertkit::CompanionStack companion = ertkit::companionStack(r, joined);
        if (!companion.values.empty()) {
            stack.values = companion.values;
            stack.step_ms = ertkit::samplePeriodMs(r);
            stored = true;
            source = "computed from " + companion.recording.filename().string();
        }
    }
    json values = json::array();
    if (stored)
        for (const double v : stack.values) values.push_back(finiteOrNull(v));
    const double cycle_ms = stack.step_ms * static_cast<double>(stack.values.size());
    const double pulse_ms = cycle_ms / static_cast<double>(std::max<std::uint64_t>(1, InjectionData::getDutyCycleFactor(r.getInjectionType())));
    return {{"values", values}, {"step_ms", finiteOrNull(stack.step_ms)}, {"pulse_ms", finiteOrNull(pulse_ms)},
            {"source", source}};
}

json decayJson(const ertkit::ResultValues& v)
{
    json points = json::array();
    for (const ertkit::DecayPoint& p : ertkit::decayCurve(v)) points.push_back({finiteOrNull(p.time_ms), finiteOrNull(p.m)});
    json times = json::array(), m = json::array();
    for (const double t : v.window_times) times.push_back(finiteOrNull(t));
    for (const double w : v.window_m) m.push_back(finiteOrNull(w));
    return {{"window_times", times}, {"window_m", m}, {"points", points}};
}

// The Cole-Cole model the record keeps, with its decay over the off time as reprocessing's
// model reads it (the page draws these points rather than a formula of its own).
json modelJson(const Result_Reader& r)
{
    const std::optional<ertkit::ColeColeParameters> model = ertkit::storedColeCole(r);
    if (!model) return nullptr;
    json curve = json::array();
    for (const ertkit::DecayPoint& p : ertkit::coleColeDecayCurve(r, *model, std::numeric_limits<double>::infinity()))
        curve.push_back({finiteOrNull(p.time_ms), finiteOrNull(p.m)});
    return {{"m", finiteOrNull(model->m)}, {"tau", finiteOrNull(model->tau)}, {"c", finiteOrNull(model->c)}, {"curve", curve}};
}

json sideJson(const Result_Reader& r, const std::filesystem::path& joined, bool voltage)
{
    try {
        ertkit::FolderIndex index(ertkit::companionFolder(joined));
        const ertkit::Join join = ertkit::joinResult(r, index, {}, voltage ? ertkit::JoinSides::VoltageOnly : ertkit::JoinSides::Both);
        if (!join.failure.empty()) return {{"error", join.failure}};
        const ertkit::SideJoin& side = voltage ? join.voltage : join.current;
        if (!side.entry) return nullptr;
        if (!index.readWhole(*side.entry)) return {{"error", side.entry->failure}};
        const IV_File_Reader& recording = *side.entry->full;
        std::vector<double> values;
        std::vector<bool> overload, pps;
        recording.fillData(side.start, side.channel, values);
        recording.fillOverload(side.start, side.channel, overload);
        recording.fillPPS(side.start, pps);
        const TraceBuckets buckets = traceBuckets(values, overload, pps);
        const double step_ms = seconds(recording.getSampleTime(side.start)) * 1000.0;
        json lo = json::array(), hi = json::array();
        for (std::size_t b = 0; b < buckets.lo.size(); ++b) lo.push_back(finiteOrNull(buckets.lo[b])), hi.push_back(finiteOrNull(buckets.hi[b]));
        return {{"file", side.entry->path.filename().string()},
                {"start", side.start},
                {"channel", side.channel},
                {"offset", side.offset},
                {"samples", values.size()},
                {"step_ms", finiteOrNull(step_ms * static_cast<double>(buckets.per_bucket))},
                {"lo", lo},
                {"hi", hi},
                {"overload", buckets.overload},
                {"pps", buckets.pps}};
    } catch (const std::exception& e) {
        return {{"error", e.what()}};
    }
}

} // namespace

TraceBuckets traceBuckets(const std::vector<double>& values, const std::vector<bool>& overload, const std::vector<bool>& pps, std::size_t buckets)
{
    TraceBuckets out;
    if (values.empty() || buckets == 0) return out;
    out.per_bucket = (values.size() + buckets - 1) / buckets;
    for (std::size_t first = 0; first < values.size(); first += out.per_bucket) {
        const std::size_t end = std::min(values.size(), first + out.per_bucket);
        const auto [lo, hi] = std::minmax_element(values.begin() + static_cast<std::ptrdiff_t>(first), values.begin() + static_cast<std::ptrdiff_t>(end));
        const std::size_t bucket = out.lo.size();
        out.lo.push_back(*lo);
        out.hi.push_back(*hi);
        const auto flagged = [first, end](const std::vector<bool>& flags) {
            for (std::size_t k = first; k < std::min(end, flags.size()); ++k)
                if (flags[k]) return true;
            return false;
        };
        if (flagged(overload)) out.overload.push_back(bucket);
        if (flagged(pps)) out.pps.push_back(bucket);
    }
    return out;
}

json viewReading(const Result_Reader& record, const ertkit::ResultValues& values, const std::filesystem::path& joined)
{
    return {{"electrodes", electrodesJson(values.electrodes)},
            {"values", valuesJson(values)},
            {"stack", stackJson(record, joined)},
            {"decay", decayJson(values)},
            {"model", modelJson(record)},
            {"injection", {{"voltage", sideJson(record, joined, true)}, {"current", sideJson(record, joined, false)}}}};
}

} // namespace ertkit_cli
