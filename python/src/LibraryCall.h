#pragma once

// How every Python entry point runs library code: the GIL is released for the work, progress
// goes to an optional Python callable, log lines are passed on to Python's `logging` once the
// work is over, and the library's exceptions become Python exceptions.

#include <host/ProgressCallback.h>

#include <pybind11/pybind11.h>

#include <exception>
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

// Raises the OSError (FileNotFoundError, PermissionError, IsADirectoryError...) that opening
// `path` for reading gives, before the library sees the path and reports it in its own words.
void requireReadableFile(const std::string& path);

// Progress of library work, forwarded to a Python callable as callable(done, total), where
// done counts from 0 and total is the size of the range the library announced. The callable
// runs with the GIL held; if it raises, the library is asked to stop and the exception is
// raised again once the work has returned. Ctrl-C stops the work the same way.
class PyProgress final : public ProgressCallback {
public:
    explicit PyProgress(py::object callable);
    ~PyProgress() override;

    bool isCancelled() override { return m_cancelled; }
    void setRange(unsigned int first, unsigned int second, unsigned int step) override;
    void setPosition(unsigned int position) override;
    void step() override;

    // Raises what the callable raised; call with the GIL held.
    void rethrowFailure();

private:
    void report();

    py::object m_callable;
    unsigned long long m_low = 0;
    unsigned long long m_total = 0;
    unsigned long long m_position = 0;
    unsigned long long m_step = 1;
    bool m_cancelled = false;
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

template <typename Work>
auto runLibrary(const py::object& progress_callable, Failure context, Work&& work)
{
    using Result = decltype(work(std::declval<ProgressCallback&>()));
    PyProgress progress(progress_callable);
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
        } else {
            Result result = [&] {
                py::gil_scoped_release release;
                return work(static_cast<ProgressCallback&>(progress));
            }();
            progress.rethrowFailure();
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
auto runLibrary(Failure context, Work&& work)
{
    return runLibrary(py::none(), context, std::forward<Work>(work));
}

void bindLibraryCall(py::module_& m);

} // namespace ertkit_py
