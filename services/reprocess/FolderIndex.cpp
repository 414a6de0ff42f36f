#include <services/reprocess/FolderIndex.h>

#include <services/FileOpening.h>

#include <fullwave/IAB_VMN_File.h>

#include <fmt/format.h>

#include <algorithm>
#include <system_error>

namespace ertkit {

bool mayHoldResult(const Result_Reader& result, bool voltage, bool is_vmn, unsigned short serial, const HighPrecisionTime& named)
{
    if (is_vmn != voltage || serial != result.getSerialNumber(voltage)) return false;
    const HighPrecisionTime time = result.getStartTime(voltage);
    return !(time < named && HighPrecisionTime::s_day < HighPrecisionTime::absDiff(named, time));
}

FolderIndex::Entry::Entry() = default;
FolderIndex::Entry::Entry(Entry&&) noexcept = default;
FolderIndex::Entry& FolderIndex::Entry::operator=(Entry&&) noexcept = default;
FolderIndex::Entry::~Entry() = default;

FolderIndex::FolderIndex(const std::filesystem::path& folder) : m_folder(folder)
{
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(folder, error)) {
        const std::string extension = lowerExtension(item.path());
        if ((extension != ".vmn" && extension != ".iab") || !item.is_regular_file(error)) continue;
        Entry entry;
        unsigned short user_serial = 0;
        try {
            IAB_VMN_File::GetSerials(item.path().string(), entry.serial, user_serial, entry.voltage, entry.named);
        } catch (const std::exception&) {
            continue;
        }
        entry.path = item.path();
        m_entries.push_back(std::move(entry));
    }
    std::sort(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) {
        return b.named < a.named || (a.named == b.named && a.path < b.path);
    });
}

const IAB_VMN_File* FolderIndex::outline(Entry& entry)
{
    if (!entry.outline && !entry.unreadable) {
        try {
            entry.outline = std::make_unique<IAB_VMN_File>(entry.path.string(), noProgress(), IAB_VMN_File::Samples::Skipped);
            const IAB_VMN_File& recording = *entry.outline;
            entry.starts.reserve(recording.getNStarts());
            for (std::uint64_t start = 0; start < recording.getNStarts(); ++start)
                entry.starts.push_back({recording.getStartTime(start), recording.getSampleTime(start), recording.getNsample(start),
                                        recording.getNChannels(start)});
        } catch (const std::exception& error) {
            entry.unreadable = true;
            entry.outline_failure = error.what();
        }
    }
    return entry.outline.get();
}

bool FolderIndex::readWhole(Entry& entry)
{
    if (entry.full) return true;
    if (!entry.failure.empty()) return false;
    try {
        entry.full = std::make_unique<IAB_VMN_File>(entry.path.string());
    } catch (const std::exception& error) {
        entry.failure = fmt::format("cannot read {}: {}", entry.path.filename().string(), error.what());
    }
    return entry.full != nullptr;
}

} // namespace ertkit
