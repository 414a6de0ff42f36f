#include "LibraryCall.h"

#include <services/AtomicOutput.h>
#include <services/LogSummary.h>

#include <host/VELTLogger.h>

#include <deque>
#include <filesystem>
#include <mutex>

namespace ertkit_py {

py::str storedText(const std::string& text)
{
    PyObject* decoded = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "surrogateescape");
    if (decoded == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(decoded);
}

py::list storedTexts(const std::vector<std::string>& texts)
{
    py::list out;
    for (const std::string& text : texts) out.append(storedText(text));
    return out;
}

void raiseValueError(const std::string& message)
{
    PyErr_SetObject(PyExc_ValueError, storedText(message).ptr());
    throw py::error_already_set();
}

PyProgress::PyProgress(py::object callable) : m_callable(std::move(callable)), m_last_poll(std::chrono::steady_clock::now()) {}

PyProgress::~PyProgress() = default;

void PyProgress::measure(std::uint64_t total, std::function<std::uint64_t(std::uint64_t)> position)
{
    m_total = total;
    m_measure = std::move(position);
}

bool PyProgress::isCancelled()
{
    pollSignals();
    return m_cancelled;
}

void PyProgress::setRange(unsigned int first, unsigned int second, unsigned int step)
{
    if (m_measure || m_range_set) return;
    m_range_set = true;
    m_low = std::min(first, second);
    m_total = std::max(first, second) - m_low;
    m_step = step;
    m_position = 0;
}

void PyProgress::setPosition(unsigned int position)
{
    if (!m_measure) m_position = position >= m_low ? position - m_low : 0;
    report(false);
}

void PyProgress::step()
{
    ++m_steps;
    m_position += m_step;
    report(false);
}

std::uint64_t PyProgress::done() const
{
    return std::min(m_measure ? m_measure(m_steps) : m_position, m_total);
}

void PyProgress::report(bool last)
{
    if (m_cancelled) return;
    if (!m_measure && !m_range_set) {
        // Nothing to show before the library says how much there is.
        pollSignals();
        return;
    }
    const std::uint64_t now = last ? m_total : done();
    // At most about a hundred calls: the first, one per hundredth of the total, the last.
    const std::uint64_t stride = std::max<std::uint64_t>(1, m_total / 100);
    if (m_any_reported && (now <= m_reported || (!last && now < m_reported + stride))) {
        pollSignals();
        return;
    }
    m_reported = now;
    m_any_reported = true;
    m_last_poll = std::chrono::steady_clock::now();
    py::gil_scoped_acquire gil;
    try {
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
        if (!m_callable.is_none()) m_callable(now, m_total);
    } catch (const py::error_already_set&) {
        fail();
    }
}

void PyProgress::pollSignals()
{
    if (m_cancelled) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - m_last_poll < std::chrono::milliseconds(50)) return;
    m_last_poll = now;
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) fail();
}

void PyProgress::fail()
{
    // Called with the GIL held, with a Python error set or a py::error_already_set in flight.
    m_failure = PyErr_Occurred() != nullptr ? std::make_exception_ptr(py::error_already_set()) : std::current_exception();
    m_cancelled = true;
}

void PyProgress::finish()
{
    if (!m_incomplete) report(true);
}

void PyProgress::rethrowFailure()
{
    if (m_failure) {
        std::exception_ptr failure = std::exchange(m_failure, nullptr);
        std::rethrow_exception(failure);
    }
}

namespace {

// Lines wait here until the Python side can take them: the library logs with the GIL released
// and under the logger's lock, so calling into Python from the sink could deadlock.
struct LogBuffer {
    static constexpr std::size_t s_max_lines = 10000;
    std::mutex mutex;
    std::deque<std::pair<VELTLogger::Level, std::string>> lines;
    unsigned long long dropped = 0;
    ertkit::LogSummary summary; // lines of a kind beyond the first few are counted, not kept
};

LogBuffer& logBuffer()
{
    static LogBuffer* buffer = new LogBuffer; // never destroyed: the sink may outlive the module
    return *buffer;
}

int pythonLevel(VELTLogger::Level level)
{
    switch (level) {
    case VELTLogger::Level::Error: return 40;
    case VELTLogger::Level::Warning: return 30;
    case VELTLogger::Level::Debug: return 10;
    }
    return 30;
}

} // namespace

void installLogSink()
{
    VELTLogger::setSink([](VELTLogger::Level level, const std::string& line) {
        LogBuffer& buffer = logBuffer();
        std::lock_guard<std::mutex> lock(buffer.mutex);
        if (!buffer.summary.admit(level, line)) return;
        if (buffer.lines.size() < LogBuffer::s_max_lines)
            buffer.lines.emplace_back(level, line);
        else
            ++buffer.dropped;
    });
}

void flushLogLines()
{
    std::deque<std::pair<VELTLogger::Level, std::string>> lines;
    unsigned long long dropped = 0;
    {
        LogBuffer& buffer = logBuffer();
        std::lock_guard<std::mutex> lock(buffer.mutex);
        lines.swap(buffer.lines);
        for (auto& summary : buffer.summary.close()) lines.emplace_back(summary.level, std::move(summary.text));
        dropped = std::exchange(buffer.dropped, 0);
    }
    if (lines.empty() && dropped == 0) return;
    // Logging must never replace the exception or the result of the call it follows.
    PyObject *type, *value, *trace;
    PyErr_Fetch(&type, &value, &trace);
    try {
        py::object logger = py::module_::import("logging").attr("getLogger")("ertkit");
        for (const auto& [level, text] : lines) logger.attr("log")(pythonLevel(level), text);
        if (dropped != 0) logger.attr("log")(30, std::to_string(dropped) + " more log lines were dropped");
    } catch (const py::error_already_set&) {
    }
    PyErr_Restore(type, value, trace);
}

void bindLibraryCall(py::module_& m)
{
    auto& format_error = py::register_exception<FormatError>(m, "FormatError", PyExc_ValueError);
    format_error.doc() = "A file that could be opened but is not a valid file of its format.";
    auto& download_error = py::register_exception<DownloadError>(m, "DownloadError", PyExc_OSError);
    download_error.doc() = "A download from the meter that did not complete.";
    // A file that cannot be written is an OSError, of the subclass the system's reason picks.
    // The library's messages may carry a path in any bytes: they come through as str with
    // surrogate escapes, as Python gives file names.
    static PyObject* format_type = format_error.ptr();
    static PyObject* download_type = download_error.ptr();
    py::register_exception_translator([](std::exception_ptr failure) {
        try {
            if (failure) std::rethrow_exception(failure);
        } catch (const FormatError& e) {
            PyErr_SetObject(format_type, storedText(e.what()).ptr());
        } catch (const DownloadError& e) {
            PyErr_SetObject(download_type, storedText(e.what()).ptr());
        } catch (const ertkit::WriteError& e) {
            if (e.errorNumber() == 0) {
                PyErr_SetString(PyExc_OSError, e.what());
                return;
            }
            errno = e.errorNumber();
            PyErr_SetFromErrnoWithFilename(PyExc_OSError, e.path().c_str());
        }
    });
    installLogSink();
}

} // namespace ertkit_py
