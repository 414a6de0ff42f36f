#pragma once

#include <host/IV_File_Reader.h>
#include <host/Result_Reader.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace ertkit {

// The full-wave recording a result was computed from, found beside its result file. The join
// rule: a recording of the result's side (voltage: .vmn, current: .iab) whose name carries
// the result's serial number; in it, the start whose start time is within a second of the
// result's, and the result's receiver channel of that start. Recordings are tried from the
// latest whose name's time is not after the result's, so a folder of many recordings opens
// few. Neither the stored names nor the stored folder are used: result files keep the folder
// of the instrument's computer, and legacy ones name recordings that were later merged.
struct CompanionStart {
    std::unique_ptr<IV_File_Reader> recording;
    std::filesystem::path path;
    std::uint64_t start = 0;
    std::uint64_t channel = 0;
};
// Whether a recording may hold a result's start, by its name alone: of the result's side and
// receiver serial, and not named more than a day after the result's time (names carry the
// receiver's local clock, at most a day from UTC).
bool mayHoldResult(const Result_Reader& result, bool voltage, bool is_vmn, unsigned short serial, const HighPrecisionTime& named);

// The folder whose recordings a result file's companions are looked for in: the file's own.
std::filesystem::path companionFolder(const std::filesystem::path& result_file);

std::optional<CompanionStart> findCompanionStart(const Result_Reader& result, const std::filesystem::path& result_file, bool voltage);

// The stacked half cycle of a channel, repeated with the opposite sign as the result files
// store it: each sample k of the first half of the cycle averaged over the whole cycles of
// the start as (v[k] - v[k + half]) / 2, which takes the self potential out. `cycle` is the
// length of one injection cycle in samples; the start is taken to begin with a cycle. Empty
// when the start holds no whole cycle.
std::vector<double> stackedCycle(const IV_File_Reader& recording, std::uint64_t start, std::uint64_t channel, std::uint64_t cycle);

} // namespace ertkit
