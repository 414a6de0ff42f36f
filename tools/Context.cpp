#include "Context.h"

#include "TerminalProgress.h"

#include <services/FileOpening.h>

#include <exception>
#include <filesystem>
#include <ostream>
#include <unistd.h>

namespace ertkit_cli {

Context::Context(std::ostream& err) : m_err(err) {}

bool Context::forFile(const std::string& file, const std::function<void()>& work)
{
    try {
        work();
        return true;
    } catch (const std::exception& e) {
        fail(file, e.what());
    } catch (...) {
        fail(file, "unknown error");
    }
    return false;
}

void Context::fail(const std::string& file, const std::string& message)
{
    ++m_failures;
    m_err << "ertkit: " << file << ": " << message << std::endl;
}

std::unique_ptr<ProgressCallback> Context::progress(const std::string& label) const
{
    if (quiet || isatty(STDERR_FILENO) == 0) return std::make_unique<DummyProgressCallback>();
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

} // namespace ertkit_cli
