// Reading a ~100 MB three-channel recording, compared in the same run with a raw
// sequential read of the same bytes.
//
// Counters: MB/s of the raw read, of constructing IAB_VMN_File, and of fillData over every
// channel of every start; `construct_over_raw` and `fill_over_raw` are the times of those
// steps divided by the raw read's time (1.0 would be as fast as reading the bytes).

#include <fullwave/IAB_VMN_File.h>

#include <writers/FullWavePages.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

// 200,000 data pages of 32 blocks: 105.6 MB. ERTKIT_BENCH_SAMPLES asks for fewer, so that a
// profiler such as callgrind finishes in reasonable time.
std::uint32_t sampleCount()
{
    const char* asked = std::getenv("ERTKIT_BENCH_SAMPLES");
    return asked ? static_cast<std::uint32_t>(std::strtoul(asked, nullptr, 10)) : 6'400'000u;
}

const std::string& recordingPath()
{
    static const std::string path = [] {
        const std::string p = (std::filesystem::temp_directory_path() / "ertkit-bench-vp1-2@120523_143015.vmn").string();
        ertkit_writers::ConfigFields setUp;
        ertkit_writers::RecordingBuilder builder;
        builder.start(setUp, 0, sampleCount(), [](std::uint32_t s, unsigned int c) { return static_cast<float>((s % 1000) * (c + 1)); });
        builder.save(p);
        return p;
    }();
    return path;
}

double seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

void BM_ReaderVersusRawRead(benchmark::State& state)
{
    const std::string& path = recordingPath();
    const double megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    std::vector<char> buffer(std::filesystem::file_size(path));
    double raw = 0, construct = 0, fill = 0;
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
        raw += seconds(t1 - t0);
        construct += seconds(t2 - t1);
        fill += seconds(t3 - t2);
        state.SetIterationTime(seconds(t2 - t1));
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["raw_MBps"] = megabytes * n / raw;
    state.counters["construct_MBps"] = megabytes * n / construct;
    state.counters["fill_MBps"] = megabytes * n / fill;
    state.counters["construct_over_raw"] = construct / raw;
    state.counters["fill_over_raw"] = fill / raw;
}

BENCHMARK(BM_ReaderVersusRawRead)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove(recordingPath());
    return 0;
}
