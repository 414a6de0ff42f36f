#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>

namespace ertkit {

// A file that could not be written: "cannot write PATH..." with, where the system gave one,
// its error number, so that a front end can raise its own kind of error for it.
class WriteError : public std::runtime_error {
public:
    WriteError(const std::filesystem::path& path, const std::string& message, int error_number = 0);
    const std::filesystem::path& path() const { return m_path; }
    int errorNumber() const { return m_error_number; }

private:
    std::filesystem::path m_path;
    int m_error_number;
};

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

    // The temporary file opened for binary writing; throws WriteError when it cannot be created.
    std::ofstream& stream();

    // For writers that open the file by path and report nothing when they cannot (the
    // library's): creates the temporary file empty, so that a destination that cannot be
    // written fails here with the system's error number. Returns temporaryPath().
    const std::filesystem::path& create();

    // Closes the stream (if one was opened), runs `check` on the finished temporary file,
    // which throws to refuse it, and renames it into place. Throws WriteError when the stream
    // failed at any point or nothing was written.
    void commit(const std::function<void(const std::filesystem::path&)>& check = {});

private:
    std::filesystem::path m_destination;
    std::filesystem::path m_temporary;
    std::ofstream m_stream;
    bool m_opened = false;
    bool m_committed = false;
};

} // namespace ertkit
