#pragma once

#include <host/IV_File_Reader.h>
#include <host/Result_File.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace host {

// The host side of reader registration: what the library announced at load time, and how
// a host application finds the reader for a path by its extension (case-insensitive).
struct Registration {
    std::uint64_t id;
    std::string type_name;
    std::vector<std::string> extensions;
};

class Registry {
public:
    std::uint64_t addFileReader(std::string type_name, std::vector<std::string> extensions, IV_File_Reader::Factory factory);
    std::uint64_t addResultReader(std::string type_name, std::vector<std::string> extensions, Result_File::Factory factory);

    std::vector<Registration> fileReaders() const;
    std::vector<Registration> resultReaders() const;

    // The registration whose extensions end the path, if any.
    std::optional<Registration> findFileReader(const std::string& path) const;
    std::optional<Registration> findResultReader(const std::string& path) const;

    // Opens a path through its registration; throws std::invalid_argument when no
    // registration takes the extension, and passes on whatever the reader throws.
    std::unique_ptr<IV_File_Reader> openFileReader(const std::string& path, ProgressCallback& progress) const;
    std::unique_ptr<Result_File> openResultFile(const std::string& path, ProgressCallback& progress) const;

private:
    template <typename Factory>
    struct Entry {
        Registration registration;
        Factory factory;
    };

    mutable std::mutex m_mutex;
    std::uint64_t m_next_id = 1;
    std::vector<Entry<IV_File_Reader::Factory>> m_file_readers;
    std::vector<Entry<Result_File::Factory>> m_result_readers;
};

// The one registry of the process, usable during static initialisation.
Registry& registry();

} // namespace host
