// ertkit.download: a download from the meter (services/DownloadSession.h) as a BINX file and,
// for a raw transfer, the full-wave recording the meter sent.

#include "Download.h"

#include "BinxCore.h"
#include "LibraryCall.h"
#include "RecordingCore.h"

#include <services/DownloadFailureText.h>
#include <services/DownloadSession.h>

#include <pybind11/stl.h>

#include <chrono>
#include <filesystem>
#include <optional>

namespace ertkit_py {

namespace {

// The recording of a raw transfer, written where asked (its extension set by the kind of
// receiver) or into a temporary folder, and read back.
py::object fullWave(const ertkit::DownloadSession& session, const py::object& path)
{
    if (!session.hasRecording()) return py::none();
    std::optional<ertkit::TemporaryFolder> folder;
    std::filesystem::path target;
    if (path.is_none()) {
        folder.emplace();
        target = folder->path() / "download";
    } else {
        target = path.cast<std::string>();
    }
    return py::cast(RecordingCore::read(session.writeRecording(target).string(), py::none()));
}

py::tuple downloadFromMeter(const std::string& port, unsigned int first, unsigned int last, const std::string& name,
                            const py::object& progress, const py::object& full_wave_path, const py::object& timeout)
{
    ertkit::DownloadSession session(port);
    if (!timeout.is_none())
        session.setSilenceLimit(std::chrono::milliseconds(static_cast<long long>(timeout.cast<double>() * 1000.0)));
    PyProgress reporter(progress);
    std::unique_ptr<BINX_File> binx = runLibrary(reporter, Failure::BadRequest, [&](ProgressCallback& p) {
        session.fetch(first, last, name, p);
        if (!session.failures().empty()) reporter.incomplete();
        // The conversion is quick and counts measures again: the progress stays the download's.
        return std::make_unique<BINX_File>(session.measures(noProgress()));
    });
    // In the tool's words (services/DownloadFailureText.h): each failure's, and each with its code.
    py::list errors;
    py::list texts;
    for (const auto& failure : session.failures()) {
        errors.append(py::make_tuple(failure.code, storedText(ertkit::downloadFailureWords(failure))));
        texts.append(storedText(ertkit::downloadFailureText(failure)));
    }
    py::object recording = session.failures().empty() ? fullWave(session, full_wave_path) : py::none();
    return py::make_tuple(std::make_shared<BinxCore>(std::move(binx)), recording, errors, texts);
}

} // namespace

void bindDownload(py::module_& m)
{
    m.def("download", &downloadFromMeter, py::arg("port"), py::arg("first"), py::arg("last"), py::arg("name"),
          py::arg("progress") = py::none(), py::arg("full_wave_path") = py::none(), py::arg("timeout") = py::none(),
          "Downloads measures first..last: (BINX core, recording core or None, [(code, message)], [failure text]).");
}

} // namespace ertkit_py
