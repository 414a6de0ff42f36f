#include "Context.h"

#include "TerminalProgress.h"
#include "TerminalText.h"

#include <services/FileOpening.h>
#include <services/Interruption.h>

#include <exception>
#include <filesystem>
#include <ostream>
#include <unistd.h>

namespace ertkit_cli {

namespace {

// Shows nothing, but asks the work to stop once the tool is interrupted.
class SilentProgress final : public ProgressCallback {
public:
    bool isCancelled() override { return ertkit::interruptionSignal() != 0; }
};

} // namespace

Context::Context(std::ostream& err) : m_err(err)
{
    m_previous_sink = VELTLogger::setSink([this](VELTLogger::Level level, const std::string& line) { log(level, line); });
}

Context::~Context()
{
    flushLog();
    VELTLogger::setSink(m_previous_sink);
}

void Context::log(VELTLogger::Level level, const std::string& line)
{
    if (level == VELTLogger::Level::Debug || (quiet && level != VELTLogger::Level::Error)) return;
    if (ertkit::interruptionSignal() != 0 || !m_summary.admit(level, line)) return;
    // On a terminal the line replaces a progress bar being drawn, which comes back at its next update.
    if (isatty(STDERR_FILENO) != 0) m_err << "\r\x1b[K";
    m_err << VELTLogger::levelName(level) << ": " << printableLine(line) << std::endl;
}

void Context::flushLog()
{
    for (const auto& line : m_summary.close()) m_err << VELTLogger::levelName(line.level) << ": " << printableLine(line.text) << std::endl;
}

bool Context::forFile(const std::string& file, const std::function<void()>& work)
{
    bool done = false;
    std::string failure;
    try {
        work();
        done = true;
    } catch (const std::exception& e) {
        failure = ertkit::explainedFailure(e.what());
    } catch (...) {
        failure = "unknown error";
    }
    flushLog();
    if (!done) fail(file, failure);
    return done;
}

void Context::fail(const std::string& file, const std::string& message)
{
    fail(file + ": " + message);
}

void Context::fail(const std::string& message)
{
    ++m_failures;
    if (ertkit::interruptionSignal() == 0) m_err << "ertkit: " << printableLine(message) << std::endl;
}

int Context::exitStatus()
{
    if (ertkit::interruptionSignal() != 0) {
        m_err << "ertkit: interrupted; nothing written" << std::endl;
        return 130;
    }
    return m_failures == 0 ? 0 : 1;
}

void Context::finish(ProgressCallback& progress)
{
    if (auto* terminal = dynamic_cast<TerminalProgress*>(&progress)) terminal->finish();
}

std::unique_ptr<ProgressCallback> Context::progress(const std::string& label) const
{
    if (quiet || isatty(STDERR_FILENO) == 0) return std::make_unique<SilentProgress>();
    return std::make_unique<TerminalProgress>(m_err, label);
}

std::unique_ptr<ProgressCallback> Context::recordingProgress(const std::string& label, const std::string& path) const
{
    auto progress = this->progress(label);
    std::error_code error;
    const std::uintmax_t bytes = std::filesystem::file_size(path, error);
    if (auto* terminal = dynamic_cast<TerminalProgress*>(progress.get()); terminal != nullptr && !error)
        terminal->countShareOf(bytes, ertkit::recordingBytesRead);
    return progress;
}

std::unique_ptr<Result_File> Context::readResults(const std::string& path) const
{
    const auto bar = progress("reading " + std::filesystem::path(path).filename().string());
    auto results = ertkit::openResults(path, *bar);
    finish(*bar);
    return results;
}

} // namespace ertkit_cli
