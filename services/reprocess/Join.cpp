#include <services/reprocess/Join.h>

#include <binx/BINX_Data.h>
#include <fullwave/IAB_VMN_File.h>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>

namespace ertkit {

namespace {

std::string receiverName(unsigned short user_serial, unsigned short serial)
{
    return fmt::format("{}-{}", user_serial, serial);
}

std::string timeText(const HighPrecisionTime& time)
{
    const std::int64_t seconds = (time + HighPrecisionTime::s_millisecond * 500).toUnixSeconds();
    const auto t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    gmtime_r(&t, &parts);
    return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02} UTC", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                       parts.tm_min, parts.tm_sec);
}

bool samePlace(double ax, double ay, double bx, double by)
{
    return std::abs(ax - bx) < 0.01 && std::abs(ay - by) < 0.01;
}

// The voltage channel of the result's M-N dipole: the result's own channel, unless the start's
// electrode layout shows another single channel with that dipole (layouts hold 13 rows: A, B
// and 11 potential electrodes). A layout that does not show the dipole anywhere is not taken
// as proof against the result's channel: it may be in another frame.
std::uint64_t dipoleChannel(const Result_Reader& result, const IAB_VMN_File& recording, std::uint64_t start, std::uint64_t channel)
{
    constexpr std::uint64_t s_layout_rows = 13;
    const auto matches = [&](std::uint64_t c) {
        if (c + 3 >= s_layout_rows) return false;
        return samePlace(recording.getElectrodeX(start, c, ElectrodeName::M), recording.getElectrodeY(start, c, ElectrodeName::M),
                         result.getElectrodeX(ElectrodeName::M), result.getElectrodeY(ElectrodeName::M)) &&
               samePlace(recording.getElectrodeX(start, c, ElectrodeName::N), recording.getElectrodeY(start, c, ElectrodeName::N),
                         result.getElectrodeX(ElectrodeName::N), result.getElectrodeY(ElectrodeName::N));
    };
    if (matches(channel)) return channel;
    std::vector<std::uint64_t> found;
    for (std::uint64_t c = 0; c < recording.getNChannels(start); ++c)
        if (matches(c)) found.push_back(c);
    return found.size() == 1 ? found.front() : channel;
}

// The name of the recording a BINX record names for one side, as the file lists it (the part
// after the last backslash or slash); empty when the record names none.
std::string namedRecording(const Result_Reader& result, bool voltage, const std::vector<std::string>& names)
{
    const auto* record = dynamic_cast<const BINX_Data*>(&result);
    if (record == nullptr) return {};
    const std::uint32_t index = voltage ? record->vmnPathIndex : record->iabPathIndex;
    if (index >= names.size()) return {};
    const std::string& name = names[index];
    const std::size_t cut = name.find_last_of("\\/");
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

// Why a side was not joined, when the record names its recording: that file is missing, or
// could not be read. Empty when that recording is there and readable (or none is named).
std::string namedRecordingFailure(const Result_Reader& result, FolderIndex& index, bool voltage, const std::vector<std::string>& names)
{
    const std::string name = namedRecording(result, voltage, names);
    if (name.empty()) return {};
    for (FolderIndex::Entry& entry : index.entries())
        if (entry.path.filename() == name) {
            if (index.outline(entry)) return {};
            return fmt::format("cannot read {}: {}", name, entry.outline_failure);
        }
    const std::filesystem::path named = index.folder() / name;
    std::error_code error;
    if (std::filesystem::exists(named, error)) {
        try {
            IAB_VMN_File recording(named.string(), noProgress(), IAB_VMN_File::Samples::Skipped);
        } catch (const std::exception& e) {
            return fmt::format("cannot read {}: {}", name, e.what());
        }
        return {};
    }
    return fmt::format("{} recording missing: {} is not in {}", voltage ? "voltage" : "current", name, index.folder().string());
}

SideJoin joinSide(const Result_Reader& result, FolderIndex& index, bool voltage, const std::vector<std::string>& recording_names,
                  std::string& failure)
{
    const char* side = voltage ? "voltage" : "current";
    const unsigned short serial = result.getSerialNumber(voltage);
    const HighPrecisionTime time = result.getStartTime(voltage);
    bool tried = false;
    for (FolderIndex::Entry& entry : index.entries()) {
        if (!mayHoldResult(result, voltage, entry.voltage, entry.serial, entry.named)) continue;
        tried = true;
        const IAB_VMN_File* recording = index.outline(entry);
        if (!recording) continue;
        for (std::uint64_t start = 0; start < entry.starts.size(); ++start) {
            const FolderIndex::Entry::Start& span = entry.starts[start];
            std::uint64_t offset = 0;
            // The receivers round their start times to the second.
            if (HighPrecisionTime::s_second < HighPrecisionTime::absDiff(span.begins, time)) {
                if (time < span.begins || span.period.ticks() <= 0) continue;
                // To the nearest sample: stored times are days in floating point.
                const auto into = static_cast<std::uint64_t>((time - span.begins + HighPrecisionTime::fromTicks(span.period.ticks() / 2)) / span.period);
                if (into >= span.samples) continue;
                offset = into;
            }
            std::uint64_t channel = result.getChan(voltage);
            if (channel >= span.channels) {
                failure = fmt::format("{} channel {} out of range: start {} of {} has {} channel{}", side, channel, start,
                                      entry.path.filename().string(), span.channels, span.channels == 1 ? "" : "s");
                return {};
            }
            if (voltage) channel = dipoleChannel(result, *recording, start, channel);
            return {&entry, start, channel, offset};
        }
    }
    if (std::string named = namedRecordingFailure(result, index, voltage, recording_names); !named.empty()) {
        failure = std::move(named);
        return {};
    }
    if (!tried) {
        failure = fmt::format("{} recording missing: no {} file of receiver {} in {}", side, voltage ? ".vmn" : ".iab",
                              receiverName(result.getUserSerialNumber(voltage), serial), index.folder().string());
        return {};
    }
    std::vector<std::string> names;
    for (const FolderIndex::Entry& entry : index.entries())
        if (mayHoldResult(result, voltage, entry.voltage, entry.serial, entry.named)) names.push_back(entry.path.filename().string());
    failure = fmt::format("no {} start at {} in {}", side, timeText(time), fmt::join(names, ", "));
    return {};
}

} // namespace

Join joinResult(const Result_Reader& result, FolderIndex& index, const std::vector<std::string>& recording_names, JoinSides sides)
{
    Join join;
    join.voltage = joinSide(result, index, true, recording_names, join.failure);
    if (!join.voltage.entry) return join;
    std::vector<const SideJoin*> joined{&join.voltage};
    if (sides == JoinSides::Both) {
        join.current = joinSide(result, index, false, recording_names, join.failure);
        if (!join.current.entry) return join;
        joined.push_back(&join.current);
    }
    try {
        join.cycle = result.getPeriod(true);
        const HighPrecisionTime period = result.getSampleTime(true);
        for (const SideJoin* side : joined)
            if (side->entry->outline->getSampleTime(side->start) != period) {
                join.failure = fmt::format("{} samples every {} ms, the result every {} ms", side->entry->path.filename().string(),
                                           static_cast<double>(side->entry->outline->getSampleTime(side->start).ticks()) / 1e6,
                                           static_cast<double>(period.ticks()) / 1e6);
                return join;
            }
    } catch (const std::exception&) {
        join.failure = "the result's sample period is invalid";
        return join;
    }
    if (join.cycle < 2) {
        join.failure = "the result's injection cycle is shorter than two samples";
        return join;
    }
    std::uint64_t cycles = std::numeric_limits<std::uint64_t>::max();
    for (const SideJoin* side : joined)
        cycles = std::min(cycles, (side->entry->outline->getNsample(side->start) - side->offset) / join.cycle);
    const std::uint64_t stacks = result.getNStack(true) + result.getNStack(false);
    if (stacks > 0) cycles = std::min(cycles, (stacks + 1) / 2);
    if (cycles == 0) {
        join.failure = fmt::format("start {} of {} holds no whole injection cycle ({} samples) from the result's time", join.voltage.start,
                                   join.voltage.entry->path.filename().string(), join.cycle);
        return join;
    }
    join.cycles = cycles;
    return join;
}

} // namespace ertkit
