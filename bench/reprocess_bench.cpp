// Reprocessing results from their recordings (ertkit::reprocess): the sample survey (seed 1,
// 16 electrodes) and a 50,000-record survey made in two ways (ReprocessSurveys.h), with each
// stacking estimator, beside the reads the reprocessing cannot do without, measured in the
// same run:
// - merged: the 64-electrode sample's BINX merged with itself; every record joins the
//   sample's four recordings (9.8 MB), read once each;
// - lines: 87 lines of 64 electrodes (seeds 1 to 87), each a BINX and four recordings in a
//   folder of its own, reprocessed one after the other; 348 recordings (0.85 GB).
//
// Counters:
//   records_per_s          results reprocessed per second (failed joins included; `failed`
//                          counts them, 0 expected)
//   join_share, read_share, compute_share
//                          the phases' part of reprocess()'s time (ReprocessTimes)
//   recordings_read        recordings read in all per iteration
//   raw_read_ms            reading the recordings' bytes whole into new memory, one after another
//   header_open_ms         opening them header-only (IAB_VMN_File, samples skipped)
//   complete_open_ms       opening them whole, one after another on one thread
//   read_over_raw          the read phase / raw_read_ms
//   read_over_complete_open
//                          the read phase (parallel, one thread per core) / complete_open_ms
// The baselines are timed in the same loop as reprocess(), iteration by iteration.

#include <services/Reprocessing.h>

#include <binx/BINX_File.h>
#include <fullwave/IAB_VMN_File.h>

#include "ReprocessSurveys.h"
#include "support/TestSupport.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kLargeRecords = 50'000;

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

enum class Arrangement { Sample, Merged, Lines };

struct BenchSurvey {
    ertkit_test::TempDir dir;
    std::vector<ertkit_bench::ReprocessSurvey> pairs;
    std::vector<std::unique_ptr<BINX_File>> files;
    std::vector<std::filesystem::path> recordings;
    std::size_t records = 0;

    explicit BenchSurvey(Arrangement arrangement)
    {
        switch (arrangement) {
        case Arrangement::Sample: pairs.push_back(ertkit_bench::writeSampleSurvey(dir.path(), 1, 16)); break;
        case Arrangement::Merged: pairs.push_back(ertkit_bench::writeMergedSurvey(dir.path(), 1, 64, kLargeRecords)); break;
        case Arrangement::Lines: pairs = ertkit_bench::writeLinesSurvey(dir.path(), 64, kLargeRecords); break;
        }
        for (const auto& pair : pairs) {
            files.push_back(std::make_unique<BINX_File>(pair.binx.string()));
            records += files.back()->getDatas().size();
            for (const auto& item : std::filesystem::directory_iterator(pair.recordings)) {
                const std::string extension = item.path().extension().string();
                if (extension == ".vmn" || extension == ".iab") recordings.push_back(item.path());
            }
        }
    }
};

// Made on first use, so that a filtered run writes only the survey it reprocesses.
BenchSurvey& survey(Arrangement arrangement)
{
    static std::map<Arrangement, std::unique_ptr<BenchSurvey>> made;
    std::unique_ptr<BenchSurvey>& s = made[arrangement];
    if (!s) s = std::make_unique<BenchSurvey>(arrangement);
    return *s;
}

void readWhole(const std::filesystem::path& path)
{
    const auto size = static_cast<std::size_t>(std::filesystem::file_size(path));
    const std::unique_ptr<char[]> bytes(new char[size]);
    std::ifstream in(path, std::ios::binary);
    in.read(bytes.get(), static_cast<std::streamsize>(size));
    benchmark::DoNotOptimize(bytes.get());
}

struct Baselines {
    double raw = 0.0, header_open = 0.0, complete_open = 0.0;
};

void measureBaselines(const BenchSurvey& s, Baselines& totals)
{
    const auto t0 = Clock::now();
    for (const auto& path : s.recordings) readWhole(path);
    const auto t1 = Clock::now();
    for (const auto& path : s.recordings) {
        const IAB_VMN_File outline(path.string(), noProgress(), IAB_VMN_File::Samples::Skipped);
        benchmark::DoNotOptimize(outline.getNStarts());
    }
    const auto t2 = Clock::now();
    for (const auto& path : s.recordings) {
        const IAB_VMN_File whole(path.string());
        benchmark::DoNotOptimize(whole.getNStarts());
    }
    const auto t3 = Clock::now();
    totals.raw += seconds(t1 - t0);
    totals.header_open += seconds(t2 - t1);
    totals.complete_open += seconds(t3 - t2);
}

void BM_Reprocess(benchmark::State& state, Arrangement arrangement)
{
    BenchSurvey& s = survey(arrangement);
    ertkit::ReprocessOptions options;
    options.estimator = static_cast<ertkit::StackEstimator>(state.range(0));
    ertkit::ReprocessTimes phases;
    Baselines baselines;
    double total = 0.0;
    std::size_t failed = 0, recordings_read = 0;
    for (auto _ : state) {
        failed = recordings_read = 0;
        for (std::size_t p = 0; p < s.pairs.size(); ++p) {
            options.recordings = s.pairs[p].recordings;
            ertkit::ReprocessTimes times;
            const auto t0 = Clock::now();
            const std::vector<ertkit::Reprocessed> out = ertkit::reprocess(s.files[p]->getResults(), s.pairs[p].binx, options, noProgress(), &times);
            total += seconds(Clock::now() - t0);
            phases.join_s += times.join_s;
            phases.read_s += times.read_s;
            phases.compute_s += times.compute_s;
            recordings_read += times.recordings_read;
            failed += static_cast<std::size_t>(std::count_if(out.begin(), out.end(), [](const ertkit::Reprocessed& r) { return !r.ok; }));
        }
        measureBaselines(s, baselines);
    }
    const double n = static_cast<double>(state.iterations());
    state.SetLabel(ertkit::stackEstimatorName(options.estimator));
    state.counters["records"] = static_cast<double>(s.records);
    state.counters["failed"] = static_cast<double>(failed);
    state.counters["records_per_s"] = static_cast<double>(s.records) * n / total;
    state.counters["join_share"] = phases.join_s / total;
    state.counters["read_share"] = phases.read_s / total;
    state.counters["compute_share"] = phases.compute_s / total;
    state.counters["recordings_read"] = static_cast<double>(recordings_read);
    state.counters["raw_read_ms"] = 1000.0 * baselines.raw / n;
    state.counters["header_open_ms"] = 1000.0 * baselines.header_open / n;
    state.counters["complete_open_ms"] = 1000.0 * baselines.complete_open / n;
    state.counters["read_over_raw"] = phases.read_s / baselines.raw;
    state.counters["read_over_complete_open"] = phases.read_s / baselines.complete_open;
}

void BM_ReprocessSample(benchmark::State& state)
{
    BM_Reprocess(state, Arrangement::Sample);
}

void BM_ReprocessMerged(benchmark::State& state)
{
    BM_Reprocess(state, Arrangement::Merged);
}

void BM_ReprocessLines(benchmark::State& state)
{
    BM_Reprocess(state, Arrangement::Lines);
}

constexpr int kMean = static_cast<int>(ertkit::StackEstimator::Mean);
constexpr int kMedian = static_cast<int>(ertkit::StackEstimator::Median);
constexpr int kTrimmed = static_cast<int>(ertkit::StackEstimator::Trimmed);

} // namespace

#define ERTKIT_ESTIMATORS(bench)                                                                                            \
    BENCHMARK(bench)->Arg(kMean)->Arg(kMedian)->Arg(kTrimmed)->ArgName("estimator")->Unit(benchmark::kMillisecond)->UseRealTime()
ERTKIT_ESTIMATORS(BM_ReprocessSample);
ERTKIT_ESTIMATORS(BM_ReprocessMerged);
ERTKIT_ESTIMATORS(BM_ReprocessLines);

BENCHMARK_MAIN();
