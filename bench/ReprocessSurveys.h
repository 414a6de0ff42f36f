#pragma once

// The surveys the reprocessing benchmarks work on, made the way a user makes them with the
// tool: `ertkit sample` writes a survey's recordings and its BINX file, `ertkit merge` joins
// BINX files. Shared by reprocess_bench and reprocess_probe.
//
// A large survey is made in one of two ways, each with every record joining a recording that
// is read once. Every sample shares the same receivers, names and start times, so the
// recordings of several seeds cannot lie in one folder:
// - merged: one sample's BINX merged with itself until it holds the records asked for, written
//   beside (not into) the sample's folder; every copy joins the same four recordings, so the
//   recordings are few for the records, as in a survey that measures one line many times;
// - lines: one sample per seed, each in a folder of its own with its own BINX, as a survey of
//   many lines brings them back; four recordings per line, so the recordings' share is that of
//   a survey whose every injection is measured once.

#include <binx/BINX_File.h>
#include <generators/SampleFiles.h>
#include <services/BinxOutput.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace ertkit_bench {

struct ReprocessSurvey {
    std::filesystem::path binx;       // the result file to reprocess
    std::filesystem::path recordings; // the folder of its recordings
};

// `ertkit sample FOLDER --seed SEED --electrodes ELECTRODES`.
inline ReprocessSurvey writeSampleSurvey(const std::filesystem::path& folder, std::uint32_t seed, int electrodes)
{
    const ertkit::generators::SampleSurvey survey(seed, electrodes);
    const ertkit::generators::SampleFiles files = ertkit::generators::writeSampleFiles(survey, folder, noProgress());
    return {folder / files.binx, folder};
}

// Takes the records past the first `records` out of `file`.
inline void keepFirst(BINX_File& file, std::size_t records)
{
    while (file.getDatas().size() > records) {
        const auto last = static_cast<unsigned int>(file.getDatas().size() - 1);
        const BINX_Data* const removed = file.getDatas()[last];
        file.removeData(last);
        delete removed;
    }
}

// The sample (seed, electrodes) in `folder`/recordings, and its BINX merged with itself as
// `ertkit merge` does, cut to `records` records, in `folder`/survey.binx.
inline ReprocessSurvey writeMergedSurvey(const std::filesystem::path& folder, std::uint32_t seed, int electrodes, std::size_t records)
{
    const ReprocessSurvey sample = writeSampleSurvey(folder / "recordings", seed, electrodes);
    BINX_File merged(sample.binx.string());
    if (merged.getDatas().empty()) throw std::runtime_error("the sample has no record");
    while (merged.getDatas().size() < records) {
        BINX_File copy(sample.binx.string());
        merged.addBinxFile(&copy);
    }
    keepFirst(merged, records);
    const std::filesystem::path binx = folder / "survey.binx";
    ertkit::writeBinx(merged, binx, {}, false);
    return {binx, sample.recordings};
}

// Samples of seeds 1, 2, ... in `folder`/line1, line2, ... until they hold `records` records;
// the last line's BINX is cut to make the count.
inline std::vector<ReprocessSurvey> writeLinesSurvey(const std::filesystem::path& folder, int electrodes, std::size_t records)
{
    std::vector<ReprocessSurvey> lines;
    for (std::size_t held = 0; held < records;) {
        const auto seed = static_cast<std::uint32_t>(lines.size() + 1);
        lines.push_back(writeSampleSurvey(folder / ("line" + std::to_string(seed)), seed, electrodes));
        BINX_File line(lines.back().binx.string());
        if (line.getDatas().empty()) throw std::runtime_error("a sample has no record");
        if (held + line.getDatas().size() > records) {
            keepFirst(line, records - held);
            ertkit::writeBinx(line, lines.back().binx, {}, false);
        }
        held += line.getDatas().size();
    }
    return lines;
}

} // namespace ertkit_bench
