// Four ~62 MB three-channel recordings, each constructed as IAB_VMN_File and filled with
// fillData over every channel: one after another on one thread, then on four threads at once,
// one reader each. The readers share nothing but the allocator, the memory bus and the cores,
// so the speed-up shows how much of that the reader leaves to parallel work.
//
// The same rounds are also run constructing the readers alone, without filling: the fill writes
// 8 bytes per value to the caller's memory, as much as the machine's memory takes from one
// thread, so that part cannot scale on a machine whose memory bandwidth does not grow with
// threads; constructing alone shows whether the reader itself holds the threads back.
//
// The floor (ValueFloor.h) is run the same way: the least work any reader keeping the values
// in memory does, read and widened on one thread and on four. How far it scales is how far
// such work scales on the machine, whatever the reader.
//
// The time reported is that of the four threads. Counters: MB/s of the four files on one
// thread and on four; `speedup_4_threads` = time on one thread / time on four threads (at most
// the number of cores, 2 on the development machine); `construct_speedup_4_threads` the same
// for constructing alone; `floor_speedup_4_threads` the same for the floor.

#include <fullwave/IAB_VMN_File.h>

#include <writers/FullWavePages.h>

#include <benchmark/benchmark.h>

#include "ValueFloor.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr int s_files = 4;

// 3,750,000 samples: 117,188 pages of 32 blocks, 61.9 MB per file. ERTKIT_BENCH_SAMPLES asks
// for fewer samples per file, so that a profiler finishes in reasonable time.
std::uint32_t sampleCount()
{
    const char* asked = std::getenv("ERTKIT_BENCH_SAMPLES");
    return asked ? static_cast<std::uint32_t>(std::strtoul(asked, nullptr, 10)) : 3'750'000u;
}

const std::vector<std::string>& recordingPaths()
{
    static const std::vector<std::string> paths = [] {
        std::vector<std::string> out;
        for (int i = 0; i < s_files; ++i) {
            const auto name = "ertkit-threads-vp1-" + std::to_string(i) + "@120523_143015.vmn";
            out.push_back((std::filesystem::temp_directory_path() / name).string());
            ertkit_writers::ConfigFields setUp;
            ertkit_writers::RecordingBuilder builder;
            builder.start(setUp, 0, sampleCount(),
                          [i](std::uint32_t s, unsigned int c) { return static_cast<float>((s % 1000) * (c + 1) + i); });
            builder.save(out.back());
        }
        return out;
    }();
    return paths;
}

double seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

void constructOnly(const std::string& path)
{
    const IAB_VMN_File file(path);
    benchmark::DoNotOptimize(file.getNStarts());
}

void readFloor(const std::string& path)
{
    const unsigned int channels = ertkit_writers::ConfigFields{}.n_channel;
    const ertkit_bench::ValueFloor file(path, channels);
    std::vector<double> values;
    for (unsigned int channel = 0; channel < channels; ++channel) {
        file.fill(channel, values);
        benchmark::DoNotOptimize(values.data());
        benchmark::ClobberMemory();
    }
}

void readWhole(const std::string& path)
{
    const IAB_VMN_File file(path);
    std::vector<double> values;
    for (std::uint64_t start = 0; start < file.getNStarts(); ++start)
        for (std::uint64_t channel = 0; channel < file.getNChannels(start); ++channel) {
            file.fillData(start, channel, values);
            benchmark::DoNotOptimize(values.data());
        }
}

using Read = void (*)(const std::string&);

double oneThread(const std::vector<std::string>& paths, Read read)
{
    const auto t0 = std::chrono::steady_clock::now();
    for (const std::string& path : paths) read(path);
    return seconds(std::chrono::steady_clock::now() - t0);
}

double fourThreads(const std::vector<std::string>& paths, Read read)
{
    const auto t0 = std::chrono::steady_clock::now();
    {
        std::vector<std::jthread> threads;
        for (const std::string& path : paths) threads.emplace_back(read, std::cref(path));
    }
    return seconds(std::chrono::steady_clock::now() - t0);
}

// One round on one thread and on four, in the order asked: {time on one, time on four}.
std::pair<double, double> round(const std::vector<std::string>& paths, Read read, bool one_first)
{
    if (one_first) {
        const double one = oneThread(paths, read);
        return {one, fourThreads(paths, read)};
    }
    const double four = fourThreads(paths, read);
    return {oneThread(paths, read), four};
}

void BM_FourReadersOnOneThreadVersusFour(benchmark::State& state)
{
    const std::vector<std::string>& paths = recordingPaths();
    double megabytes = 0;
    for (const std::string& path : paths) megabytes += static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    double one = 0, four = 0, construct_one = 0, construct_four = 0, floor_one = 0, floor_four = 0;
    bool one_first = true;
    for (auto _ : state) {
        // Alternating which runs first keeps either from always finding the heap the other left.
        const auto [t_one, t_four] = round(paths, readWhole, one_first);
        const auto [c_one, c_four] = round(paths, constructOnly, one_first);
        const auto [f_one, f_four] = round(paths, readFloor, one_first);
        one_first = !one_first;
        floor_one += f_one;
        floor_four += f_four;
        one += t_one;
        four += t_four;
        construct_one += c_one;
        construct_four += c_four;
        state.SetIterationTime(t_four);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["one_thread_MBps"] = megabytes * n / one;
    state.counters["four_threads_MBps"] = megabytes * n / four;
    state.counters["speedup_4_threads"] = one / four;
    state.counters["construct_speedup_4_threads"] = construct_one / construct_four;
    state.counters["floor_speedup_4_threads"] = floor_one / floor_four;
}

BENCHMARK(BM_FourReadersOnOneThreadVersusFour)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(8);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const std::string& path : recordingPaths()) std::filesystem::remove(path);
    return 0;
}
