// Reading a ~100 MB recording of 3 and of 8 channels, compared in the same run with a raw
// sequential read of the same bytes into a reused buffer.
//
// Counters: MB/s of the raw read, of constructing IAB_VMN_File, of fillData over every channel
// of every start (one reused vector) and of fillStart of every start (values, overload and PPS
// flags, into one buffer per start); `construct_over_raw`, `fill_over_raw` and
// `fillstart_over_raw` are the times of those steps divided by the raw read's time (1.0 would
// be as fast as reading the bytes).

#include <fullwave/IAB_VMN_File.h>

#include <writers/FullWavePages.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <vector>

namespace {

// About 105.6 MB whatever the channel count. ERTKIT_BENCH_SAMPLES asks for a number of
// 3-channel samples (fewer channels per sample, more samples), so that a profiler such as
// callgrind finishes in reasonable time.
std::uint64_t sampleCount(unsigned int channels)
{
    const char* asked = std::getenv("ERTKIT_BENCH_SAMPLES");
    const std::uint64_t three = asked ? std::strtoull(asked, nullptr, 10) : 6'400'000u;
    const std::uint64_t pages = three / ertkit_writers::blocksPerPage(3);
    return pages * ertkit_writers::blocksPerPage(channels);
}

const std::string& recordingPath(unsigned int channels)
{
    static std::map<unsigned int, std::string> paths;
    auto [at, made] = paths.try_emplace(channels);
    if (made) {
        at->second = (std::filesystem::temp_directory_path() /
                      ("ertkit-bench-" + std::to_string(channels) + "ch-vp1-2@120523_143015.vmn"))
                         .string();
        ertkit_writers::ConfigFields setUp;
        setUp.n_channel = channels;
        ertkit_writers::RecordingBuilder builder;
        builder.start(setUp, 0, sampleCount(channels),
                      [](std::uint32_t s, unsigned int c) { return static_cast<float>((s % 1000) * (c + 1)); });
        builder.save(at->second);
    }
    return at->second;
}

double seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

void BM_ReaderVersusRawRead(benchmark::State& state)
{
    const std::string& path = recordingPath(static_cast<unsigned int>(state.range(0)));
    const double megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    std::vector<char> buffer(std::filesystem::file_size(path));
    double raw = 0, construct = 0, fill = 0, fill_start = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        {
            std::ifstream in(path, std::ios::binary);
            in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            benchmark::DoNotOptimize(buffer.data());
        }
        auto t1 = std::chrono::steady_clock::now();
        const IAB_VMN_File file(path);
        auto t2 = std::chrono::steady_clock::now();
        std::vector<double> values;
        for (std::uint64_t start = 0; start < file.getNStarts(); ++start)
            for (std::uint64_t channel = 0; channel < file.getNChannels(start); ++channel) {
                file.fillData(start, channel, values);
                benchmark::DoNotOptimize(values.data());
            }
        auto t3 = std::chrono::steady_clock::now();
        for (std::uint64_t start = 0; start < file.getNStarts(); ++start) {
            const std::size_t cells = file.getNsample(start) * file.getNChannels(start);
            const auto rows = std::make_unique_for_overwrite<double[]>(cells);
            const auto flags = std::make_unique_for_overwrite<bool[]>(cells);
            const auto pps = std::make_unique_for_overwrite<bool[]>(file.getNsample(start));
            file.fillStart(start, {rows.get(), cells}, {flags.get(), cells}, {pps.get(), file.getNsample(start)});
            benchmark::DoNotOptimize(rows.get());
        }
        auto t4 = std::chrono::steady_clock::now();
        raw += seconds(t1 - t0);
        construct += seconds(t2 - t1);
        fill += seconds(t3 - t2);
        fill_start += seconds(t4 - t3);
        state.SetIterationTime(seconds(t2 - t1));
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["raw_MBps"] = megabytes * n / raw;
    state.counters["construct_MBps"] = megabytes * n / construct;
    state.counters["fill_MBps"] = megabytes * n / fill;
    state.counters["fillstart_MBps"] = megabytes * n / fill_start;
    state.counters["construct_over_raw"] = construct / raw;
    state.counters["fill_over_raw"] = fill / raw;
    state.counters["fillstart_over_raw"] = fill_start / raw;
}

BENCHMARK(BM_ReaderVersusRawRead)->ArgName("channels")->Arg(3)->Arg(8)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (unsigned int channels : {3u, 8u}) std::filesystem::remove(recordingPath(channels));
    return 0;
}
