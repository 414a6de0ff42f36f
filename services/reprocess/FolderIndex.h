#pragma once

#include <host/HighPrecisionTime.h>
#include <host/Result_Reader.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class IAB_VMN_File;

namespace ertkit {

// Whether a recording may hold a result's start, by its name alone: of the result's side and
// receiver serial, and not named more than a day after the result's time (names carry the
// receiver's local clock, at most a day from UTC).
bool mayHoldResult(const Result_Reader& result, bool voltage, bool is_vmn, unsigned short serial, const HighPrecisionTime& named);

// The recordings of a folder, listed once by name (side, receiver serial, time); each is opened
// header-only when a join first needs its starts, and read whole once when a result needs its
// samples.
class FolderIndex {
public:
    struct Entry {
        Entry();
        Entry(Entry&&) noexcept;
        Entry& operator=(Entry&&) noexcept;
        ~Entry();

        std::filesystem::path path;
        bool voltage = false;
        unsigned short serial = 0;
        HighPrecisionTime named;
        std::unique_ptr<IAB_VMN_File> outline;
        // Each start's time, period, samples and channels, taken once: every result scans them.
        struct Start {
            HighPrecisionTime begins, period;
            std::uint64_t samples = 0, channels = 0;
        };
        std::vector<Start> starts;
        bool unreadable = false;
        std::string outline_failure; // why the header-only read failed
        std::unique_ptr<IAB_VMN_File> full;
        std::string failure; // why the whole read failed
    };

    // Latest name first, so that a result finds the recording started last before it.
    explicit FolderIndex(const std::filesystem::path& folder);

    const std::filesystem::path& folder() const { return m_folder; }
    std::vector<Entry>& entries() { return m_entries; }

    // The recording's header, read on first use; null when it cannot be read (outline_failure).
    const IAB_VMN_File* outline(Entry& entry);
    // The whole recording, read once; false when it cannot be read (failure says why).
    bool readWhole(Entry& entry);

private:
    std::filesystem::path m_folder;
    std::vector<Entry> m_entries;
};

} // namespace ertkit
