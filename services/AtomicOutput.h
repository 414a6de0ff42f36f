#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace ertkit {

// A file that could not be written: "cannot write PATH: reason" with, where the system gave
// one, its error number, so that a front end can raise its own kind of error for it.
class WriteError : public std::runtime_error {
public:
    WriteError(const std::filesystem::path& path, const std::string& message, int error_number = 0);
    const std::filesystem::path& path() const { return m_path; }
    int errorNumber() const { return m_error_number; }

private:
    std::filesystem::path m_path;
    int m_error_number;
};

// Throws WriteError, naming `destination`, when it could not be written: a folder, a folder
// that does not exist or that we may not write in, a device we may not write to. For the
// checks worth making before long work (reading inputs, a download) whose result would be lost.
void checkWritable(const std::filesystem::path& destination);

// Whether two paths name one file: the same device and inode, links followed, when both exist;
// otherwise the same path once made absolute and normalised (links followed as far as they go).
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// Throws std::invalid_argument when `output` is the same file as one of `inputs` (by identity:
// device and inode, links followed): writing it would destroy what is to be read.
void refuseInputAsOutput(const std::filesystem::path& output, const std::vector<std::string>& inputs);

// An output file that appears whole or not at all. Everything is written under a temporary
// name in the destination's folder (same file system, so the final rename is atomic) and
// renamed over the destination by commit(); a destination already there stays untouched until
// then. Without commit() the temporary file is removed.
//
// Only a regular file is replaced that way. A symbolic link keeps its place and the file it
// names is replaced; a destination that is not a regular file (a pipe, a terminal, a device
// such as /dev/null) is written through: the temporary file, in the system's temporary folder,
// is copied into it by commit(). So is the file standard output goes to (/dev/stdout), through
// standard output itself, after what the process wrote there before.
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
    // A failed write is kept with the system's reason, which commit() reports.
    std::ostream& stream();

    // For writers that open the file by path and report nothing when they cannot (the
    // library's): creates the temporary file empty, so that a destination that cannot be
    // written fails here with the system's error number. Returns temporaryPath().
    const std::filesystem::path& create();

    // Closes the stream (if one was opened), runs `check` on the finished temporary file,
    // which throws to refuse it, and renames it into place (or copies it into a destination
    // written through). Throws WriteError when the stream failed at any point or nothing was
    // written, and Interrupted once the front end was asked to stop (Interruption.h).
    void commit(const std::function<void(const std::filesystem::path&)>& check = {});

    // commit() in two halves, for outputs that appear together (OutputGroup): finish() does
    // all that may fail with the temporary file (closing, checking), publish() puts it in place.
    void finish(const std::function<void(const std::filesystem::path&)>& check = {});
    void publish();
    // Whether publish() copies into the destination (a pipe, a device) rather than renaming.
    bool writtenThrough() const { return m_through; }

private:
    void track();
    void copyIntoDestination() const;

    std::filesystem::path m_destination;
    std::filesystem::path m_target; // what the rename replaces: the destination, or the file its link names
    bool m_through = false;
    std::filesystem::path m_temporary;
    int m_fd = -1;
    std::unique_ptr<class FileBuffer> m_buffer;
    std::ostream m_stream{nullptr};
    bool m_opened = false;
    bool m_finished = false;
    bool m_tracked = false;
    bool m_committed = false;
};

} // namespace ertkit
