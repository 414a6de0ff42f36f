#include <services/CompanionRecordings.h>

#include <services/reprocess/FolderIndex.h>
#include <services/reprocess/Join.h>
#include <services/reprocess/Recompute.h>
#include <services/reprocess/RowCache.h>

namespace ertkit {

std::filesystem::path companionFolder(const std::filesystem::path& result_file)
{
    return result_file.has_parent_path() ? result_file.parent_path() : std::filesystem::path(".");
}

CompanionStack companionStack(const Result_Reader& result, const std::filesystem::path& result_file)
{
    CompanionStack out;
    FolderIndex index(companionFolder(result_file));
    const Join join = joinResult(result, index, {}, JoinSides::VoltageOnly);
    if (!join.failure.empty()) {
        out.failure = join.failure;
        return out;
    }
    FolderIndex::Entry& entry = *join.voltage.entry;
    out.recording = entry.path;
    out.start = join.voltage.start;
    out.channel = join.voltage.channel;
    out.offset = join.voltage.offset;
    if (!index.readWhole(entry)) {
        out.failure = entry.failure;
        return out;
    }
    StartRows rows;
    ChannelSamples samples;
    readSide(join.voltage, join.cycle * join.cycles, rows, Span{}, samples);
    HalfCycles halves;
    std::vector<double> half, scratch;
    if (!stackSide(samples, join.cycle, join.cycles, StackEstimator::Mean, ReprocessOptions{}.trim, halves, half, scratch)) {
        out.failure = "every half cycle of the voltage holds an overloaded sample";
        return out;
    }
    out.values = half;
    for (const double v : half) out.values.push_back(-v);
    return out;
}

} // namespace ertkit
