#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace ertkit_cli {

// An output file that appears whole or not at all. Everything is written under a temporary
// name in the destination's folder (same file system, so the final rename is atomic) and
// renamed over the destination by commit(); a destination already there stays untouched until
// then. Without commit() the temporary file is removed.
class AtomicOutput {
public:
    explicit AtomicOutput(std::filesystem::path destination);
    ~AtomicOutput();
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;

    const std::filesystem::path& destination() const { return m_destination; }
    // Hidden and unique, with the destination's extension so that writers which choose the
    // extension themselves keep the name.
    const std::filesystem::path& temporaryPath() const { return m_temporary; }

    // The temporary file opened for binary writing; throws when it cannot be created.
    std::ofstream& stream();

    // Closes the stream (if one was opened), runs `check` on the finished temporary file,
    // which throws to refuse it, and renames it into place. Throws "cannot write ..." when
    // the stream failed at any point.
    void commit(const std::function<void(const std::filesystem::path&)>& check = {});

private:
    std::filesystem::path m_destination;
    std::filesystem::path m_temporary;
    std::ofstream m_stream;
    bool m_opened = false;
    bool m_committed = false;
};

} // namespace ertkit_cli
