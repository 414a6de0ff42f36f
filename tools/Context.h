#pragma once

#include <host/ProgressCallback.h>
#include <host/Result_File.h>

#include <services/LogSummary.h>

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

namespace ertkit_cli {

// What every command shares: the error stream, the count of failed files and whether
// progress may be shown. A failure is one line "ertkit: FILE: message"; the command goes on
// with its next file and the process ends with a non-zero status. The library's log lines
// come here too, summarised by kind for each file (LogSummary); --quiet leaves out all but
// errors. Once the tool is interrupted, failures are counted but not shown: the tool says so
// once, at the end.
class Context {
public:
    explicit Context(std::ostream& err);
    ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    bool quiet = false;

    // Runs `work` for one file and reports whatever it throws against that file, after the
    // summary of the log lines it caused. Returns true when the work finished.
    bool forFile(const std::string& file, const std::function<void()>& work);
    void fail(const std::string& file, const std::string& message);
    // A failure that names its file in its own words.
    void fail(const std::string& message);

    // A progress bar on stderr when it is a terminal and --quiet was not given; otherwise a
    // sink that shows nothing.
    std::unique_ptr<ProgressCallback> progress(const std::string& label) const;
    // The same for reading a recording: its count of pages is shown as a share of its bytes.
    std::unique_ptr<ProgressCallback> recordingProgress(const std::string& label, const std::string& path) const;

    // Reads a result file with a progress bar "reading NAME".
    std::unique_ptr<Result_File> readResults(const std::string& path) const;

    // Shows a progress bar complete (TerminalProgress::finish); other sinks need nothing.
    static void finish(ProgressCallback& progress);

    int failures() const { return m_failures; }
    // 130 once interrupted (the one line saying so is written here), else 1 if anything failed.
    int exitStatus();

private:
    void log(VELTLogger::Level level, const std::string& line);
    void flushLog();

    std::ostream& m_err;
    int m_failures = 0;
    ertkit::LogSummary m_summary;
    VELTLogger::Sink m_previous_sink;
};

} // namespace ertkit_cli
