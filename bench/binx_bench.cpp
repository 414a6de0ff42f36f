// Writing and reading a 20,000-record version-6 BINX file, and reading a 50,000-record one,
// each compared in the same run with a raw write or read of the same bytes.
//
// Counters: records/s and MB/s of BINX_File::writeToFile and of the reading constructor,
// MB/s of the raw transfers, and `write_over_raw` / `read_over_raw`: the library's time
// divided by the raw transfer's time (1.0 would be as fast as moving the bytes). The raw
// read goes into a buffer reused from one iteration to the next; `read_over_raw_fresh_memory`
// compares with a raw read into newly allocated memory instead, which, like the records a
// read creates, the system must first map in page by page.

#include <binx/BINX_File.h>

#include "support/BinxRecordBuilder.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <vector>

namespace {

// ERTKIT_BENCH_RECORDS gives every file that many records instead, for profiling under callgrind.
int recordsOr(int usual)
{
    const char* asked = std::getenv("ERTKIT_BENCH_RECORDS");
    return asked ? std::atoi(asked) : usual;
}

const int kRecords = recordsOr(20'000);
const int kLargeRecords = recordsOr(50'000);

struct BenchFiles {
    int records;
    ertkit_test::TempDir dir;
    std::string binx = dir.file("bench.binx");
    std::string raw = dir.file("raw.bin");
    BINX_File file;
    std::vector<char> bytes;

    explicit BenchFiles(int n) : records(n)
    {
        file.setFolderPath("D:\\survey\\2024");
        for (int i = 0; i < records; ++i) file.addData(new BINX_Data(ertkit_test::sampleBinxRecord(i % 97)));
        file.writeToFile(binx, false, 0, -1, false);
        bytes.resize(std::filesystem::file_size(binx));
        std::ifstream in(binx, std::ios::binary);
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
};

// Made on first use, so that a filtered run builds only the files it reads.
BenchFiles& files(int records)
{
    static std::map<int, std::unique_ptr<BenchFiles>> made;
    std::unique_ptr<BenchFiles>& f = made[records];
    if (!f) f = std::make_unique<BenchFiles>(records);
    return *f;
}

void readWhole(const std::string& path, char* into, std::size_t size)
{
    std::ifstream in(path, std::ios::binary);
    in.read(into, static_cast<std::streamsize>(size));
    benchmark::DoNotOptimize(into);
}

double seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

void report(benchmark::State& state, const BenchFiles& f, double ours, double raw, const char* ratio_name)
{
    const double n = static_cast<double>(state.iterations());
    const double megabytes = static_cast<double>(f.bytes.size()) / 1e6;
    state.counters["records_per_s"] = f.records * n / ours;
    state.counters["MBps"] = megabytes * n / ours;
    state.counters["raw_MBps"] = megabytes * n / raw;
    state.counters[ratio_name] = ours / raw;
}

void BM_WriteVersusRawWrite(benchmark::State& state)
{
    BenchFiles& f = files(static_cast<int>(state.range(0)));
    double raw = 0, ours = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        {
            std::ofstream out(f.raw, std::ios::binary | std::ios::trunc);
            out.write(f.bytes.data(), static_cast<std::streamsize>(f.bytes.size()));
        }
        const auto t1 = std::chrono::steady_clock::now();
        f.file.writeToFile(f.binx, false, 0, -1, false);
        const auto t2 = std::chrono::steady_clock::now();
        raw += seconds(t1 - t0);
        ours += seconds(t2 - t1);
        state.SetIterationTime(seconds(t2 - t1));
    }
    report(state, f, ours, raw, "write_over_raw");
}

void BM_ReadVersusRawRead(benchmark::State& state)
{
    BenchFiles& f = files(static_cast<int>(state.range(0)));
    std::vector<char> buffer(f.bytes.size());
    double raw = 0, raw_fresh = 0, ours = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        readWhole(f.binx, buffer.data(), buffer.size());
        const auto t1 = std::chrono::steady_clock::now();
        {
            // The same read into memory the process has not touched yet, as the records are.
            const std::unique_ptr<char[]> fresh(new char[f.bytes.size()]);
            readWhole(f.binx, fresh.get(), f.bytes.size());
        }
        const auto t2 = std::chrono::steady_clock::now();
        const BINX_File read(f.binx);
        benchmark::DoNotOptimize(read.getDatas().data());
        const auto t3 = std::chrono::steady_clock::now();
        if (read.getDatas().size() != static_cast<std::size_t>(f.records)) state.SkipWithError("records lost");
        raw += seconds(t1 - t0);
        raw_fresh += seconds(t2 - t1);
        ours += seconds(t3 - t2);
        state.SetIterationTime(seconds(t3 - t2));
    }
    report(state, f, ours, raw, "read_over_raw");
    state.counters["read_over_raw_fresh_memory"] = ours / raw_fresh;
}

// The argument is the number of records; the large read is left out when the environment
// makes it the same size as the first.
void readSizes(benchmark::internal::Benchmark* b)
{
    b->Arg(kRecords);
    if (kLargeRecords != kRecords) b->Arg(kLargeRecords);
}

BENCHMARK(BM_WriteVersusRawWrite)->Arg(kRecords)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_ReadVersusRawRead)->Apply(readSizes)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
BENCHMARK_MAIN();
