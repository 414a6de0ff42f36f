#include <services/CompanionRecordings.h>

#include <services/FileOpening.h>

#include <fullwave/IAB_VMN_File.h>

#include <algorithm>
#include <cctype>
#include <system_error>

namespace ertkit {

namespace {

struct Candidate {
    std::filesystem::path path;
    HighPrecisionTime named;
};

std::vector<Candidate> candidates(const Result_Reader& result, const std::filesystem::path& folder, bool voltage)
{
    std::vector<Candidate> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (!entry.is_regular_file(error) || lowerExtension(entry.path()) != (voltage ? ".vmn" : ".iab")) continue;
        unsigned short serial = 0, user_serial = 0;
        bool is_vmn = false;
        HighPrecisionTime named;
        try {
            IAB_VMN_File::GetSerials(entry.path().string(), serial, user_serial, is_vmn, named);
        } catch (const std::exception&) {
            continue;
        }
        if (!mayHoldResult(result, voltage, is_vmn, serial, named)) continue;
        found.push_back({entry.path(), named});
    }
    std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) { return b.named < a.named; });
    return found;
}

} // namespace

bool mayHoldResult(const Result_Reader& result, bool voltage, bool is_vmn, unsigned short serial, const HighPrecisionTime& named)
{
    if (is_vmn != voltage || serial != result.getSerialNumber(voltage)) return false;
    const HighPrecisionTime time = result.getStartTime(voltage);
    return !(time < named && HighPrecisionTime::s_day < HighPrecisionTime::absDiff(named, time));
}

std::filesystem::path companionFolder(const std::filesystem::path& result_file)
{
    return result_file.has_parent_path() ? result_file.parent_path() : std::filesystem::path(".");
}

std::optional<CompanionStart> findCompanionStart(const Result_Reader& result, const std::filesystem::path& result_file, bool voltage)
{
    const HighPrecisionTime time = result.getStartTime(voltage);
    const std::filesystem::path folder = companionFolder(result_file);
    for (const Candidate& candidate : candidates(result, folder, voltage)) {
        std::unique_ptr<IV_File_Reader> recording;
        try {
            recording = std::make_unique<IAB_VMN_File>(candidate.path.string());
        } catch (const std::exception&) {
            continue;
        }
        for (std::uint64_t start = 0; start < recording->getNStarts(); ++start) {
            if (HighPrecisionTime::s_second < HighPrecisionTime::absDiff(recording->getStartTime(start), time)) continue;
            const std::uint64_t channel = result.getChan(voltage);
            if (channel >= recording->getNChannels(start)) continue;
            return CompanionStart{std::move(recording), candidate.path, start, channel};
        }
    }
    return std::nullopt;
}

std::vector<double> stackedCycle(const IV_File_Reader& recording, std::uint64_t start, std::uint64_t channel, std::uint64_t cycle)
{
    std::vector<double> samples;
    recording.fillData(start, channel, samples);
    const std::uint64_t half = cycle / 2;
    const std::uint64_t cycles = cycle == 0 ? 0 : samples.size() / cycle;
    if (half == 0 || cycles == 0) return {};
    std::vector<double> stack(2 * half, 0.0);
    for (std::uint64_t c = 0; c < cycles; ++c)
        for (std::uint64_t k = 0; k < half; ++k) stack[k] += (samples[c * cycle + k] - samples[c * cycle + k + half]) / 2.0;
    for (std::uint64_t k = 0; k < half; ++k) {
        stack[k] /= static_cast<double>(cycles);
        stack[k + half] = -stack[k];
    }
    return stack;
}

} // namespace ertkit
