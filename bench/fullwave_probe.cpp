// One measurement of the full-wave reader per process, printed as one JSON line. A fresh
// process per measurement gives every step a clean heap and a peak resident size of its own,
// which a loop inside one process cannot. compare_fullwave.py runs it in interleaved rounds
// beside a numpy decoder of the same files.
//
//   fullwave_probe make PATH CHANNELS MB   writes a recording of about MB megabytes (10^6 bytes):
//                                          one start of CHANNELS channels
//   fullwave_probe raw PATH                reads the file whole into new memory with read()
//   fullwave_probe construct PATH          constructs IAB_VMN_File
//   fullwave_probe fill PATH               constructs it, then fillData of every channel of every
//                                          start into one reused vector
//   fullwave_probe fillstart PATH          constructs it, then fillStart of every start (values
//                                          only) into a new buffer per start, all kept to the end
//   fullwave_probe floor PATH CHANNELS     the least any reader keeping the values in memory does
//                                          (ValueFloor.h): read them, widen each channel into one
//                                          reused vector
//   fullwave_probe dump PATH OUT           writes every start's samples, as fillData gives them,
//                                          to OUT (row-major float64, starts one after another)
//                                          and their PPS flags to OUT.pps (one byte each)
//
// The measuring modes print {"mode", "seconds", "vmhwm_kb", "baseline_kb"}: the wall time of the
// step, and VmHWM (peak resident set) after the step and just before it.

#include <fullwave/IAB_VMN_File.h>

#include <writers/FullWavePages.h>

#include <benchmark/benchmark.h>

#include "PeakMemory.h"
#include "ValueFloor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace {

using ertkit_bench::peakResidentKb;
using Clock = std::chrono::steady_clock;

// fillStart is newer than the rest of the reader: the fillstart mode switches itself on when the
// member exists, so that the probe also builds, and measures the rest, against a library without it.
template <typename File>
concept HasFillStart = requires(const File& file, std::span<double> values, std::span<bool> flags) {
    file.fillStart(std::uint64_t{}, values, flags, flags);
};

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

void report(const char* mode, double step_seconds, long baseline_kb, const std::string& extra = {})
{
    std::printf("{\"mode\": \"%s\", \"seconds\": %.6f, \"vmhwm_kb\": %ld, \"baseline_kb\": %ld%s}\n", mode, step_seconds,
                peakResidentKb(), baseline_kb, extra.c_str());
}

// What a receiver sees during a survey, in millivolts: a square-wave injection, 2 s on and 2 s
// off with the polarity reversed every cycle, the off-time decaying as the ground discharges,
// plus a slow drift and a little noise that differs in every sample and channel, so that no
// two stored values are alike by accident.
float signal(std::uint32_t sample, unsigned int channel)
{
    const auto phase = static_cast<double>(sample % 800);
    const double primary = 1200.0 / (channel + 1);
    const double on = phase < 200 ? 1.0 : phase >= 400 && phase < 600 ? -1.0 : 0.0;
    const double off = phase >= 200 && phase < 400 ? std::exp((200 - phase) / 40.0)
                       : phase >= 600             ? -std::exp((600 - phase) / 40.0)
                                                  : 0.0;
    std::uint32_t h = sample * 2654435761u ^ (channel + 1) * 0x9E3779B9u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    const double noise = static_cast<double>(h & 0xFFFF) / 65536.0 - 0.5;
    return static_cast<float>(primary * (on + 0.08 * off) + 15.0 * std::sin(sample * 1e-4 + channel) + noise);
}

int make(const std::string& path, unsigned int channels, double megabytes)
{
    if (channels < 1 || channels > 15) throw std::invalid_argument("CHANNELS must be 1 to 15");
    const auto pages = static_cast<std::uint64_t>(megabytes * 1e6 / IAB_VMN_RawPage::s_size_in_bytes);
    const std::uint64_t samples = (pages < 2 ? 1 : pages - 1) * ertkit_writers::blocksPerPage(channels);
    // Sample numbers have 24 bits; one start cannot hold more.
    if (samples >= (1u << 24)) throw std::invalid_argument("too many megabytes for one start of this many channels");
    ertkit_writers::ConfigFields setUp;
    setUp.n_channel = channels;
    ertkit_writers::RecordingBuilder builder;
    builder.start(setUp, 0, samples, signal);
    builder.save(path);
    std::printf("{\"mode\": \"make\", \"bytes\": %zu, \"samples\": %llu, \"channels\": %u}\n", builder.data().size(),
                static_cast<unsigned long long>(samples), channels);
    return 0;
}

int raw(const std::string& path)
{
    const long baseline = peakResidentKb();
    const auto t0 = Clock::now();
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) throw std::system_error(errno, std::generic_category(), path);
    struct stat info {};
    ::fstat(fd, &info);
    const auto size = static_cast<std::size_t>(info.st_size);
    const auto buffer = std::make_unique_for_overwrite<char[]>(size);
    for (std::size_t done = 0; done < size;) {
        const ssize_t got = ::read(fd, buffer.get() + done, size - done);
        if (got <= 0) throw std::system_error(errno, std::generic_category(), "read " + path);
        done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    report("raw", seconds(Clock::now() - t0), baseline);
    return 0;
}

int construct(const std::string& path)
{
    const long baseline = peakResidentKb();
    const auto t0 = Clock::now();
    const IAB_VMN_File file(path);
    const auto t1 = Clock::now();
    report("construct", seconds(t1 - t0), baseline, ", \"starts\": " + std::to_string(file.getNStarts()));
    return 0;
}

int fill(const std::string& path)
{
    const long baseline = peakResidentKb();
    const auto t0 = Clock::now();
    const IAB_VMN_File file(path);
    const auto t1 = Clock::now();
    std::vector<double> values;
    for (std::uint64_t start = 0; start < file.getNStarts(); ++start)
        for (std::uint64_t channel = 0; channel < file.getNChannels(start); ++channel) file.fillData(start, channel, values);
    const auto t2 = Clock::now();
    report("fill", seconds(t2 - t0), baseline,
           ", \"construct_seconds\": " + std::to_string(seconds(t1 - t0)) + ", \"fill_seconds\": " + std::to_string(seconds(t2 - t1)));
    return 0;
}

int floor(const std::string& path, unsigned int channels)
{
    const long baseline = peakResidentKb();
    const auto t0 = Clock::now();
    const ertkit_bench::ValueFloor file(path, channels);
    const auto t1 = Clock::now();
    std::vector<double> values;
    // The floor's fill is inline here: its output must not be left for the optimiser to drop.
    for (unsigned int channel = 0; channel < channels; ++channel) {
        file.fill(channel, values);
        benchmark::DoNotOptimize(values.data());
        benchmark::ClobberMemory();
    }
    const auto t2 = Clock::now();
    report("floor", seconds(t2 - t0), baseline,
           ", \"construct_seconds\": " + std::to_string(seconds(t1 - t0)) + ", \"fill_seconds\": " + std::to_string(seconds(t2 - t1)));
    return 0;
}

template <typename File = IAB_VMN_File>
int fillStart(const std::string& path)
{
    if constexpr (HasFillStart<File>) {
        const long baseline = peakResidentKb();
        const auto t0 = Clock::now();
        const File file(path);
        const auto t1 = Clock::now();
        std::vector<std::unique_ptr<double[]>> starts;
        for (std::uint64_t start = 0; start < file.getNStarts(); ++start) {
            const std::size_t size = file.getNsample(start) * file.getNChannels(start);
            starts.push_back(std::make_unique_for_overwrite<double[]>(size));
            file.fillStart(start, std::span(starts.back().get(), size), {}, {});
        }
        const auto t2 = Clock::now();
        report("fillstart", seconds(t2 - t0), baseline,
               ", \"construct_seconds\": " + std::to_string(seconds(t1 - t0)) + ", \"fill_seconds\": " + std::to_string(seconds(t2 - t1)));
        return 0;
    } else {
        std::fprintf(stderr, "this library has no IAB_VMN_File::fillStart yet\n");
        return 2;
    }
}

// fillStart must give what fillData and fillPPS give, or the comparison with numpy (made on
// the fillData output) would not speak for it. Null when the library has no fillStart.
template <typename File = IAB_VMN_File>
std::string fillStartAgrees(const File& file, std::uint64_t start, const std::vector<double>& rows, const std::vector<bool>& pps)
{
    if constexpr (HasFillStart<File>) {
        std::vector<double> values(rows.size());
        const auto flags = std::make_unique<bool[]>(pps.size());
        file.fillStart(start, values, {}, std::span(flags.get(), pps.size()));
        const bool same = std::memcmp(values.data(), rows.data(), rows.size() * sizeof(double)) == 0 &&
                          std::equal(pps.begin(), pps.end(), flags.get());
        return same ? "true" : "false";
    } else {
        return "null";
    }
}

void appendItem(std::string& list, const std::string& item)
{
    if (!list.empty()) list += ", ";
    list += item;
}

int dump(const std::string& path, const std::string& out)
{
    const IAB_VMN_File file(path);
    std::ofstream values_out(out, std::ios::binary);
    std::ofstream pps_out(out + ".pps", std::ios::binary);
    std::string samples, channels, agrees;
    std::vector<double> channel_values;
    std::vector<bool> pps;
    for (std::uint64_t start = 0; start < file.getNStarts(); ++start) {
        const std::uint64_t n = file.getNsample(start), c = file.getNChannels(start);
        std::vector<double> rows(n * c);
        for (std::uint64_t channel = 0; channel < c; ++channel) {
            file.fillData(start, channel, channel_values);
            for (std::uint64_t k = 0; k < n; ++k) rows[k * c + channel] = channel_values[k];
        }
        file.fillPPS(start, pps);
        values_out.write(reinterpret_cast<const char*>(rows.data()), static_cast<std::streamsize>(rows.size() * sizeof(double)));
        for (const bool flag : pps) pps_out.put(flag ? 1 : 0);
        appendItem(samples, std::to_string(n));
        appendItem(channels, std::to_string(c));
        appendItem(agrees, fillStartAgrees(file, start, rows, pps));
    }
    if (!values_out.flush() || !pps_out.flush()) throw std::runtime_error("cannot write " + out);
    std::printf("{\"mode\": \"dump\", \"samples\": [%s], \"channels\": [%s], \"fillstart_agrees\": [%s]}\n", samples.c_str(),
                channels.c_str(), agrees.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 4 && args[0] == "make") return make(args[1], std::stoul(args[2]), std::stod(args[3]));
        if (args.size() == 2 && args[0] == "raw") return raw(args[1]);
        if (args.size() == 2 && args[0] == "construct") return construct(args[1]);
        if (args.size() == 2 && args[0] == "fill") return fill(args[1]);
        if (args.size() == 2 && args[0] == "fillstart") return fillStart(args[1]);
        if (args.size() == 3 && args[0] == "floor") return floor(args[1], std::stoul(args[2]));
        if (args.size() == 3 && args[0] == "dump") return dump(args[1], args[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fullwave_probe: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: fullwave_probe make PATH CHANNELS MB | raw PATH | construct PATH | fill PATH | fillstart PATH"
                         " | floor PATH CHANNELS | dump PATH OUT\n");
    return 2;
}
