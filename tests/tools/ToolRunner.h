#pragma once

#include "support/TestSupport.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ertkit_tools_test {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the ertkit executable with `args` in `folder`, capturing both output streams.
// `shell_prefix` runs first in the same shell (for limits such as ulimit).
ToolRun runTool(const std::vector<std::string>& args, const std::filesystem::path& folder,
                const std::string& shell_prefix = "");

// Lines of a text, without their line ends.
std::vector<std::string> lines(const std::string& text);
// The fields of one line between separators.
std::vector<std::string> split(const std::string& line, char separator);
// The index of the column `name` in a CSV header, its size when there is none.
std::size_t columnOf(const std::vector<std::string>& header, const std::string& name);
std::size_t occurrences(const std::string& text, const std::string& what);
using ertkit_test::readText;

// Whether a text is well-formed XML: an empty string, or what is wrong and where.
std::string xmlProblem(const std::string& text);

} // namespace ertkit_tools_test

namespace ertkit_tools_test {

// The ertkit executable running in the background (meter-sim, or a command to interrupt), its
// standard output and error going to files; stopped with SIGTERM when destroyed.
class BackgroundTool {
public:
    BackgroundTool(const std::vector<std::string>& args, const std::filesystem::path& folder);
    ~BackgroundTool();
    BackgroundTool(const BackgroundTool&) = delete;
    BackgroundTool& operator=(const BackgroundTool&) = delete;

    // The first line of its output, waiting for it at most `seconds`; empty on time-out.
    std::string firstLine(double seconds = 10.0) const;
    // Stops it with `signal` and returns its exit status.
    int stop(int signal = 15);
    // What it wrote on its standard error so far.
    std::string errText() const;
    // Waits until it has written at least `bytes` in all (to any file, terminal or pipe, as the
    // system counts them); false when it has not within `seconds` (a safeguard against a hung
    // test, not a timing).
    bool waitUntilWritten(std::uint64_t bytes, double seconds = 120.0) const;

private:
    int m_pid = -1;
    std::filesystem::path m_out;
    std::filesystem::path m_err;
};

} // namespace ertkit_tools_test

namespace ertkit_tools_test {

// Files closed after writing in a folder, as the system tells them (inotify): a test learns
// that the tool has reached a point (a temporary file finished) without sleeping. Watch
// before starting the tool.
class ClosedFileWatch {
public:
    explicit ClosedFileWatch(const std::filesystem::path& folder);
    ~ClosedFileWatch();
    ClosedFileWatch(const ClosedFileWatch&) = delete;
    ClosedFileWatch& operator=(const ClosedFileWatch&) = delete;

    // Waits until a file whose name holds `part` is closed after writing; false when none is
    // within `seconds` (a safeguard against a hung test, not a timing).
    bool wait(const std::string& part, double seconds = 120.0);

private:
    int m_fd = -1;
};

} // namespace ertkit_tools_test
