#pragma once

#include <host/Result_Reader.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ertkit {

// The folder whose recordings a result file's companions are looked for in: the file's own.
std::filesystem::path companionFolder(const std::filesystem::path& result_file);

// The stacked signal of a result computed from its voltage recording beside the result file:
// joined as reprocessing joins it (joinResult, the voltage side alone: a start within a second
// of the result's time, or the start running at that time, the injection `offset` samples into
// it) and stacked with the same formula, by the mean (drift removed, overloaded half cycles
// dropped). Neither the stored names nor the stored folder are used: result files keep the
// folder of the instrument's computer, and legacy ones name recordings later merged.
struct CompanionStack {
    std::vector<double> values; // one whole cycle: the stacked half cycle, then it negated; empty when none
    std::filesystem::path recording;
    std::uint64_t start = 0, channel = 0, offset = 0;
    std::string failure; // why there are no values
};
CompanionStack companionStack(const Result_Reader& result, const std::filesystem::path& result_file);

} // namespace ertkit
