#include "ToolRunner.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <expat.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <iterator>
#include <memory>
#include <fstream>
#include <sstream>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace ertkit_tools_test {

namespace {

std::string shellQuoted(const std::string& arg)
{
    std::string q = "'";
    for (const char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

} // namespace

ToolRun runTool(const std::vector<std::string>& args, const std::filesystem::path& folder, const std::string& shell_prefix)
{
    const auto out_path = folder / ".tool-stdout", err_path = folder / ".tool-stderr";
    std::string command = fmt::format("cd {} && {}{}exec {}", shellQuoted(folder.string()), shell_prefix,
                                      shell_prefix.empty() ? "" : "; ", shellQuoted(ERTKIT_TOOL_PATH));
    for (const std::string& arg : args) fmt::format_to(std::back_inserter(command), " {}", shellQuoted(arg));
    fmt::format_to(std::back_inserter(command), " >{} 2>{} </dev/null", shellQuoted(out_path.string()), shellQuoted(err_path.string()));
    const int raw = std::system(fmt::format("sh -c {}", shellQuoted(command)).c_str());
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = readText(out_path);
    run.err = readText(err_path);
    std::filesystem::remove(out_path);
    std::filesystem::remove(err_path);
    return run;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

std::vector<std::string> split(const std::string& line, char separator)
{
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, separator);) out.push_back(field);
    return out;
}

std::size_t columnOf(const std::vector<std::string>& header, const std::string& name)
{
    return static_cast<std::size_t>(std::find(header.begin(), header.end(), name) - header.begin());
}

std::size_t occurrences(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::string xmlProblem(const std::string& text)
{
    const std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreate("UTF-8"), XML_ParserFree);
    if (XML_Parse(parser.get(), text.data(), static_cast<int>(text.size()), XML_TRUE) == XML_STATUS_OK) return "";
    return fmt::format("{} at line {}", XML_ErrorString(XML_GetErrorCode(parser.get())), XML_GetCurrentLineNumber(parser.get()));
}

BackgroundTool::BackgroundTool(const std::vector<std::string>& args, const std::filesystem::path& folder)
    : m_out(folder / ".background-stdout"), m_err(folder / ".background-stderr")
{
    std::vector<std::string> argv_text{ERTKIT_TOOL_PATH};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argv_text) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string out = m_out.string(), err = m_err.string(), dir = folder.string();
    m_pid = fork();
    if (m_pid == 0) {
        const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int error_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = open("/dev/null", O_RDWR);
        if (fd < 0 || error_fd < 0 || null < 0 || chdir(dir.c_str()) != 0) _exit(127);
        dup2(fd, STDOUT_FILENO);
        dup2(error_fd, STDERR_FILENO);
        dup2(null, STDIN_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
}

BackgroundTool::~BackgroundTool()
{
    stop();
}

std::string BackgroundTool::firstLine(double seconds) const
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
        const std::string text = readText(m_out);
        if (const auto eol = text.find('\n'); eol != std::string::npos) return text.substr(0, eol);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < end);
    return "";
}

std::string BackgroundTool::errText() const
{
    return readText(m_err);
}

bool BackgroundTool::waitUntilWritten(std::uint64_t bytes, double seconds) const
{
    const std::string io = "/proc/" + std::to_string(m_pid) + "/io";
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
        std::ifstream in(io);
        std::string key;
        std::uint64_t value = 0;
        while (in >> key >> value)
            if (key == "wchar:" && value >= bytes) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

int BackgroundTool::stop(int signal)
{
    if (m_pid <= 0) return -1;
    kill(m_pid, signal);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace ertkit_tools_test

namespace ertkit_tools_test {

ClosedFileWatch::ClosedFileWatch(const std::filesystem::path& folder) : m_fd(inotify_init1(IN_CLOEXEC))
{
    if (m_fd >= 0) inotify_add_watch(m_fd, folder.c_str(), IN_CLOSE_WRITE);
}

ClosedFileWatch::~ClosedFileWatch()
{
    if (m_fd >= 0) close(m_fd);
}

bool ClosedFileWatch::wait(const std::string& part, double seconds)
{
    if (m_fd < 0) return false;
    alignas(inotify_event) char buffer[4096];
    pollfd ready{m_fd, POLLIN, 0};
    while (poll(&ready, 1, static_cast<int>(seconds * 1000)) > 0) {
        const ssize_t got = read(m_fd, buffer, sizeof buffer);
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->len > 0 && std::string(event->name).find(part) != std::string::npos) return true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return false;
}

} // namespace ertkit_tools_test
