#include <services/Reprocessing.h>

#include <services/CompanionRecordings.h>
#include <services/FileOpening.h>
#include <services/Interruption.h>
#include <services/WindowTimes.h>

#include <binx/BINX_Data.h>
#include <fullwave/IAB_VMN_File.h>
#include <host/InjectionTables.h>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>

namespace ertkit {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string receiverName(unsigned short user_serial, unsigned short serial)
{
    return fmt::format("{}-{}", user_serial, serial);
}

// The recordings of a folder, listed once by name; each is opened header-only when a join
// first needs its starts, and read whole once when a result needs its samples.
class RecordingShelf {
public:
    struct Entry {
        std::filesystem::path path;
        bool voltage = false;
        unsigned short serial = 0;
        HighPrecisionTime named;
        std::unique_ptr<IAB_VMN_File> outline;
        // Each start's time, period, samples and channels, taken once: every result scans them.
        struct Start {
            HighPrecisionTime begins, period;
            std::uint64_t samples = 0, channels = 0;
        };
        std::vector<Start> starts;
        bool unreadable = false;
        std::string outline_failure; // why the header-only read failed
        std::unique_ptr<IAB_VMN_File> full;
        std::string failure; // why the whole read failed
    };

    explicit RecordingShelf(const std::filesystem::path& folder) : m_folder(folder)
    {
        std::error_code error;
        for (const auto& item : std::filesystem::directory_iterator(folder, error)) {
            const std::string extension = lowerExtension(item.path());
            if ((extension != ".vmn" && extension != ".iab") || !item.is_regular_file(error)) continue;
            Entry entry;
            unsigned short user_serial = 0;
            try {
                IAB_VMN_File::GetSerials(item.path().string(), entry.serial, user_serial, entry.voltage, entry.named);
            } catch (const std::exception&) {
                continue;
            }
            entry.path = item.path();
            m_entries.push_back(std::move(entry));
        }
        // Latest name first, so that a result finds the recording started last before it.
        std::sort(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) {
            return b.named < a.named || (a.named == b.named && a.path < b.path);
        });
    }

    const std::filesystem::path& folder() const { return m_folder; }
    std::vector<Entry>& entries() { return m_entries; }

    const IAB_VMN_File* outline(Entry& entry)
    {
        if (!entry.outline && !entry.unreadable) {
            try {
                entry.outline = std::make_unique<IAB_VMN_File>(entry.path.string(), noProgress(), IAB_VMN_File::Samples::Skipped);
                const IAB_VMN_File& recording = *entry.outline;
                entry.starts.reserve(recording.getNStarts());
                for (std::uint64_t start = 0; start < recording.getNStarts(); ++start)
                    entry.starts.push_back({recording.getStartTime(start), recording.getSampleTime(start), recording.getNsample(start),
                                            recording.getNChannels(start)});
            } catch (const std::exception& error) {
                entry.unreadable = true;
                entry.outline_failure = error.what();
            }
        }
        return entry.outline.get();
    }

private:
    std::filesystem::path m_folder;
    std::vector<Entry> m_entries;
};

// Where one side of a result lies.
struct SideJoin {
    RecordingShelf::Entry* entry = nullptr;
    std::uint64_t start = 0, channel = 0, offset = 0;
};

struct Join {
    SideJoin voltage, current;
    std::uint64_t cycle = 0, cycles = 0;
    std::string failure;
};

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
std::string namedRecordingFailure(const Result_Reader& result, RecordingShelf& shelf, bool voltage, const std::vector<std::string>& names)
{
    const std::string name = namedRecording(result, voltage, names);
    if (name.empty()) return {};
    for (RecordingShelf::Entry& entry : shelf.entries())
        if (entry.path.filename() == name) {
            if (shelf.outline(entry)) return {};
            return fmt::format("cannot read {}: {}", name, entry.outline_failure);
        }
    const std::filesystem::path named = shelf.folder() / name;
    std::error_code error;
    if (std::filesystem::exists(named, error)) {
        try {
            IAB_VMN_File recording(named.string(), noProgress(), IAB_VMN_File::Samples::Skipped);
        } catch (const std::exception& e) {
            return fmt::format("cannot read {}: {}", name, e.what());
        }
        return {};
    }
    return fmt::format("{} recording missing: {} is not in {}", voltage ? "voltage" : "current", name, shelf.folder().string());
}

SideJoin joinSide(const Result_Reader& result, RecordingShelf& shelf, bool voltage, const std::vector<std::string>& recording_names,
                  std::string& failure)
{
    const char* side = voltage ? "voltage" : "current";
    const unsigned short serial = result.getSerialNumber(voltage);
    const HighPrecisionTime time = result.getStartTime(voltage);
    bool tried = false;
    for (RecordingShelf::Entry& entry : shelf.entries()) {
        if (!mayHoldResult(result, voltage, entry.voltage, entry.serial, entry.named)) continue;
        tried = true;
        const IAB_VMN_File* recording = shelf.outline(entry);
        if (!recording) continue;
        for (std::uint64_t start = 0; start < entry.starts.size(); ++start) {
            const RecordingShelf::Entry::Start& span = entry.starts[start];
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
    if (std::string named = namedRecordingFailure(result, shelf, voltage, recording_names); !named.empty()) {
        failure = std::move(named);
        return {};
    }
    if (!tried) {
        failure = fmt::format("{} recording missing: no {} file of receiver {} in {}", side, voltage ? ".vmn" : ".iab",
                              receiverName(result.getUserSerialNumber(voltage), serial), shelf.folder().string());
        return {};
    }
    std::vector<std::string> names;
    for (const RecordingShelf::Entry& entry : shelf.entries())
        if (mayHoldResult(result, voltage, entry.voltage, entry.serial, entry.named)) names.push_back(entry.path.filename().string());
    failure = fmt::format("no {} start at {} in {}", side, timeText(time), fmt::join(names, ", "));
    return {};
}

Join joinResult(const Result_Reader& result, RecordingShelf& shelf, const std::vector<std::string>& recording_names)
{
    Join join;
    join.voltage = joinSide(result, shelf, true, recording_names, join.failure);
    if (!join.voltage.entry) return join;
    join.current = joinSide(result, shelf, false, recording_names, join.failure);
    if (!join.current.entry) return join;
    try {
        join.cycle = result.getPeriod(true);
        const HighPrecisionTime period = result.getSampleTime(true);
        for (const SideJoin* side : {&join.voltage, &join.current})
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
    for (const SideJoin* side : {&join.voltage, &join.current})
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

// One channel's samples of the injection, with their overload flags.
struct ChannelSamples {
    std::vector<double> values;
    std::unique_ptr<bool[]> overloads;
    std::size_t size = 0, capacity = 0;
};

// Every channel of a piece of one start, row by row, filled once for all the results that
// read that start (the channels of one injection are the results of one start).
class StartRows {
public:
    bool holds(const IAB_VMN_File* recording, std::uint64_t start, std::uint64_t first, std::uint64_t count) const
    {
        return recording == m_recording && start == m_start && first >= m_first && first + count <= m_first + m_count;
    }
    void fill(const IAB_VMN_File& recording, std::uint64_t start, std::uint64_t first, std::uint64_t count)
    {
        m_recording = &recording;
        m_start = start;
        m_first = first;
        m_count = count;
        m_channels = recording.getNChannels(start);
        const std::size_t size = count * m_channels;
        m_values.resize(size);
        if (size > m_flags_capacity) {
            m_flags = std::make_unique<bool[]>(size);
            m_flags_capacity = size;
        }
        recording.fillStart(start, first, count, m_values, std::span<bool>(m_flags.get(), size), {});
    }
    void column(std::uint64_t channel, std::uint64_t first, std::uint64_t count, ChannelSamples& out) const
    {
        out.values.resize(count);
        if (count > out.capacity) {
            out.overloads = std::make_unique<bool[]>(count);
            out.capacity = count;
        }
        out.size = count;
        const std::size_t row = first - m_first;
        for (std::uint64_t k = 0; k < count; ++k) {
            out.values[k] = m_values[(row + k) * m_channels + channel];
            out.overloads[k] = m_flags[(row + k) * m_channels + channel];
        }
    }

private:
    const IAB_VMN_File* m_recording = nullptr;
    std::uint64_t m_start = 0, m_first = 0, m_count = 0, m_channels = 0;
    std::vector<double> m_values;
    std::unique_ptr<bool[]> m_flags;
    std::size_t m_flags_capacity = 0;
};

// The on-time window where Vp and I are read: the result's voltage delay and end, kept inside
// the pulse (the end is that of the 8-second cycle, which outlasts shorter pulses).
std::pair<std::size_t, std::size_t> onWindow(const Result_Reader& result, std::size_t pulse)
{
    std::size_t last = std::min<std::size_t>(result.getVEnd(), pulse);
    if (last == 0) last = pulse;
    std::size_t first = std::min<std::size_t>(result.getVDelay(), last);
    if (first >= last) first = last / 2;
    return {first, last};
}

// The samples of one start that the results of a group read.
struct Span {
    const RecordingShelf::Entry* entry = nullptr;
    std::uint64_t start = 0, first = 0, last = 0;
};

// The samples a result needs of one side: from the rows already filled when they hold them,
// else from rows filled for the group's span of that start (or the result's own samples).
void readSide(const SideJoin& side, std::uint64_t count, StartRows& rows, const Span& span, ChannelSamples& out)
{
    const IAB_VMN_File& recording = *side.entry->full;
    if (!rows.holds(&recording, side.start, side.offset, count)) {
        std::uint64_t first = side.offset, last = side.offset + count;
        if (span.entry == side.entry && span.start == side.start) {
            first = std::min(first, span.first);
            last = std::max(last, span.last);
        }
        rows.fill(recording, side.start, first, last - first);
    }
    rows.column(side.channel, side.offset, count, out);
}

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
};

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
    cutHalfCycles(v.values, std::span<const bool>(v.overloads.get(), v.size), join.cycle, join.cycles, options.estimator, options.trim,
                  v_halves, rows.scratch);
    cutHalfCycles(i.values, std::span<const bool>(i.overloads.get(), i.size), join.cycle, join.cycles, options.estimator, options.trim,
                  i_halves, rows.scratch);
    out.halves_used = v_halves.used;
    out.halves_dropped = v_halves.dropped;
    if (v_halves.used == 0 || i_halves.used == 0) {
        out.failure = fmt::format("every half cycle of the {} holds an overloaded sample", v_halves.used == 0 ? "voltage" : "current");
        return out;
    }
    stackHalfCycles(v_halves, options.estimator, options.trim, out.stack, rows.scratch);
    stackHalfCycles(i_halves, options.estimator, options.trim, rows.i_stack, rows.scratch);
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

// Runs `work(i)` for i in [0, items) on `threads` threads; each item counts for what `work`
// returns, `count` in all. The calling thread reports progress as items finish and stops the
// others when the sink asks to.
template <typename Work>
void inParallel(std::size_t items, std::size_t count, unsigned int threads, ProgressCallback& progress, unsigned int progress_base, Work work)
{
    std::atomic<std::size_t> next{0}, done{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable finished;
    const auto worker = [&] {
        for (std::size_t i; !stop && (i = next++) < items;) {
            // The last item wakes the reporting thread at once: a small survey would otherwise
            // wait out its tick, longer than the work itself.
            if ((done += work(i)) == count) {
                const std::lock_guard lock(mutex);
                finished.notify_all();
            }
        }
    };
    std::vector<std::jthread> pool;
    const unsigned int n = std::max(1u, std::min<unsigned int>(threads, static_cast<unsigned int>(std::min<std::size_t>(items, 64))));
    for (unsigned int t = 0; t < n; ++t) pool.emplace_back(worker);
    std::size_t shown = 0;
    while (done < count && !stop) {
        {
            std::unique_lock lock(mutex);
            finished.wait_for(lock, std::chrono::milliseconds(20), [&] { return done >= count; });
        }
        if (progress.isCancelled()) stop = true;
        if (const std::size_t now = done; now != shown) {
            progress.setPosition(progress_base + static_cast<unsigned int>(now));
            shown = now;
        }
    }
    pool.clear();
    if (stop) throw Interrupted();
    progress.setPosition(progress_base + static_cast<unsigned int>(count));
}

// The results by the voltage start they read, so that each start is filled once; results
// that were not joined go alone. A start's group is cut where its span would pass
// s_max_group_values values, so that a long start holding many injections is filled in pieces.
constexpr std::uint64_t s_max_group_values = std::uint64_t{1} << 22;

std::vector<std::vector<std::size_t>> groupsByStart(const std::vector<Join>& joins)
{
    std::vector<std::size_t> order(joins.size());
    for (std::size_t r = 0; r < order.size(); ++r) order[r] = r;
    const auto key = [&](std::size_t r) {
        const Join& j = joins[r];
        return std::tuple(j.failure.empty() ? j.voltage.entry : nullptr, j.voltage.start, j.voltage.offset, r);
    };
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
    std::vector<std::vector<std::size_t>> groups;
    std::uint64_t first = 0;
    for (const std::size_t r : order) {
        const Join& j = joins[r];
        bool joins_last = false;
        if (!groups.empty() && j.failure.empty()) {
            const Join& last = joins[groups.back().front()];
            const std::uint64_t channels = j.voltage.entry->outline ? j.voltage.entry->starts[j.voltage.start].channels : 1;
            joins_last = last.failure.empty() && last.voltage.entry == j.voltage.entry && last.voltage.start == j.voltage.start &&
                         (j.voltage.offset + j.cycle * j.cycles - first) * channels <= s_max_group_values;
        }
        if (!joins_last) {
            groups.emplace_back();
            first = j.voltage.offset;
        }
        groups.back().push_back(r);
    }
    return groups;
}

// The spans of the voltage and current starts a group reads (the current start of its first
// result: the others read the same start, or fill their own samples).
void spans(const std::vector<Join>& joins, const std::vector<std::size_t>& group, GroupRows& rows)
{
    const Join& head = joins[group.front()];
    if (!head.failure.empty()) return;
    rows.v_span = {head.voltage.entry, head.voltage.start, head.voltage.offset, head.voltage.offset};
    rows.i_span = {head.current.entry, head.current.start, head.current.offset, head.current.offset};
    for (const std::size_t r : group) {
        const Join& j = joins[r];
        const std::uint64_t count = j.cycle * j.cycles;
        for (const auto& [side, span] : {std::pair{&j.voltage, &rows.v_span}, std::pair{&j.current, &rows.i_span}})
            if (side->entry == span->entry && side->start == span->start) {
                span->first = std::min(span->first, side->offset);
                span->last = std::max(span->last, side->offset + count);
            }
    }
}

} // namespace

std::filesystem::path recordingFolder(const std::filesystem::path& result_file, const ReprocessOptions& options)
{
    return options.recordings.empty() ? companionFolder(result_file) : options.recordings;
}

void checkReprocessOptions(const ReprocessOptions& options)
{
    checkTrim(options.trim);
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
    RecordingShelf shelf(recordingFolder(result_file, options));
    std::vector<Join> joins;
    joins.reserve(results.size());
    for (const Result_Reader* result : results) {
        joins.push_back(joinResult(*result, shelf, options.recording_names));
        if (progress.isCancelled()) throw Interrupted();
    }
    std::vector<RecordingShelf::Entry*> needed;
    for (const Join& join : joins)
        if (join.failure.empty())
            for (RecordingShelf::Entry* entry : {join.voltage.entry, join.current.entry})
                if (std::find(needed.begin(), needed.end(), entry) == needed.end()) needed.push_back(entry);
    if (times) times->join_s = secondsSince(phase);

    phase = Clock::now();
    progress.setRange(0, static_cast<unsigned int>(needed.size() + results.size()), 1);
    inParallel(needed.size(), needed.size(), threads, progress, 0, [&](std::size_t n) -> std::size_t {
        RecordingShelf::Entry& entry = *needed[n];
        try {
            entry.full = std::make_unique<IAB_VMN_File>(entry.path.string());
        } catch (const std::exception& error) {
            entry.failure = fmt::format("cannot read {}: {}", entry.path.filename().string(), error.what());
        }
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
        spans(joins, groups[g], rows);
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
