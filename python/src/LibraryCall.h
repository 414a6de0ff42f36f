#pragma once

// How every Python entry point runs library code: the GIL is released for the work, progress
// goes to an optional Python callable, log lines are passed on to Python's `logging` once the
// work is over, and the library's exceptions become Python exceptions.

#include <host/ProgressCallback.h>

#include <pybind11/pybind11.h>

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace ertkit_py {

namespace py = pybind11;

// A file that could be opened but does not hold what its format requires. Raised in Python as
// ertkit.FormatError, a ValueError, with the library's own message.
class FormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A download that did not complete; raised as ertkit.DownloadError, an OSError.
class DownloadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Text stored in a file, as str: bytes that are not UTF-8 come through as surrogate escapes
// (os.fsencode gives them back), as Python does for file names.
py::str storedText(const std::string& text);
py::list storedTexts(const std::vector<std::string>& texts);

// Raises ValueError with a message that may carry a path in any bytes.
[[noreturn]] void raiseValueError(const std::string& message);

// Progress of library work, forwarded to a Python callable as callable(done, total). By
// default done and total are the first range the library announces (a download counts
// records; later ranges, such as the conversion's, do not move the total); measure()
// replaces them by a position in units the user sees (bytes of the file read). The callable
// is called at most about a hundred times, with done never going back, and once more with
// (total, total) by finish() when the work completed. It runs with the GIL held; if it
// raises, the library is asked to stop and the exception is raised again once the work has
// returned. Ctrl-C (any pending signal handler that raises) stops the work the same way: the
// handlers are run at least every 50 ms of work.
class PyProgress final : public ProgressCallback {
public:
    explicit PyProgress(py::object callable);
    ~PyProgress() override;

    // done = position(steps), where steps counts the library's step() calls, out of total.
    void measure(std::uint64_t total, std::function<std::uint64_t(std::uint64_t)> position);

    bool isCancelled() override;
    void setRange(unsigned int first, unsigned int second, unsigned int step) override;
    void setPosition(unsigned int position) override;
    void step() override;

    // Reports (total, total) unless the work was stopped or left incomplete; call with the GIL
    // held.
    void finish();
    // The work ended without doing all of it (a download that failed): finish() reports nothing.
    void incomplete() { m_incomplete = true; }
    // Raises what the callable (or a signal handler) raised; call with the GIL held.
    void rethrowFailure();

private:
    std::uint64_t done() const;
    void report(bool last);
    void pollSignals();
    void fail();

    py::object m_callable;
    std::function<std::uint64_t(std::uint64_t)> m_measure;
    std::uint64_t m_low = 0;
    std::uint64_t m_total = 0;
    std::uint64_t m_position = 0;
    std::uint64_t m_step = 1;
    std::uint64_t m_steps = 0;
    std::uint64_t m_reported = 0;
    bool m_any_reported = false;
    bool m_range_set = false;
    bool m_incomplete = false;
    bool m_cancelled = false;
    std::chrono::steady_clock::time_point m_last_poll;
    std::exception_ptr m_failure;
};

// Passes the log lines the library wrote so far to the "ertkit" logger of Python's logging
// module; call with the GIL held.
void flushLogLines();
void installLogSink();

// Runs work(progress) with the GIL released; `context` says whether a failure of the library
// means a bad file (every standard exception becomes FormatError) or a bad request (standard
// exceptions keep pybind11's usual mapping: out_of_range to IndexError, invalid_argument to
// ValueError...).
enum class Failure { BadFile, BadRequest };

// Runs work(progress) with `progress` prepared by the caller (measured, or not).
template <typename Work>
auto runLibrary(PyProgress& progress, Failure context, Work&& work)
{
    using Result = decltype(work(std::declval<ProgressCallback&>()));
    struct Flush {
        ~Flush() { flushLogLines(); }
    } flush;
    try {
        if constexpr (std::is_void_v<Result>) {
            {
                py::gil_scoped_release release;
                work(static_cast<ProgressCallback&>(progress));
            }
            progress.rethrowFailure();
            progress.finish();
        } else {
            Result result = [&] {
                py::gil_scoped_release release;
                return work(static_cast<ProgressCallback&>(progress));
            }();
            progress.rethrowFailure();
            progress.finish();
            return result;
        }
    } catch (const py::error_already_set&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const FormatError&) {
        throw;
    } catch (const DownloadError&) {
        throw;
    } catch (const std::exception& e) {
        // A stop the callable asked for explains whatever the library threw on its way out.
        progress.rethrowFailure();
        if (context == Failure::BadFile) throw FormatError(e.what());
        throw;
    }
}

template <typename Work>
auto runLibrary(const py::object& progress_callable, Failure context, Work&& work)
{
    PyProgress progress(progress_callable);
    return runLibrary(progress, context, std::forward<Work>(work));
}

template <typename Work>
auto runLibrary(Failure context, Work&& work)
{
    return runLibrary(py::none(), context, std::forward<Work>(work));
}

void bindLibraryCall(py::module_& m);

} // namespace ertkit_py
