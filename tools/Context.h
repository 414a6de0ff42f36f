#pragma once

#include <host/ProgressCallback.h>

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

namespace ertkit_cli {

// What every command shares: the error stream, the count of failed files and whether
// progress may be shown. A failure is one line "ertkit: FILE: message"; the command goes on
// with its next file and the process ends with a non-zero status.
class Context {
public:
    explicit Context(std::ostream& err);

    bool quiet = false;

    // Runs `work` for one file and reports whatever it throws against that file.
    // Returns true when the work finished.
    bool forFile(const std::string& file, const std::function<void()>& work);
    void fail(const std::string& file, const std::string& message);

    // A progress bar on stderr when it is a terminal and --quiet was not given; otherwise a
    // sink that shows nothing.
    std::unique_ptr<ProgressCallback> progress(const std::string& label) const;
    // The same for reading a recording: its count of pages is shown as a share of its bytes.
    std::unique_ptr<ProgressCallback> recordingProgress(const std::string& label, const std::string& path) const;

    int failures() const { return m_failures; }
    int exitStatus() const { return m_failures == 0 ? 0 : 1; }

private:
    std::ostream& m_err;
    int m_failures = 0;
};

} // namespace ertkit_cli
