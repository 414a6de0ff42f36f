#include "OpenFile.h"

#include "BinCore.h"
#include "BinxCore.h"
#include "LibraryCall.h"
#include "RecordingCore.h"

#include <services/FileOpening.h>

#include <host/Registry.h>

#include <pybind11/stl.h>

namespace ertkit_py {

namespace {

py::object openRecording(const std::string& path, const py::object& progress)
{
    auto reader = runLibrary(progress, Failure::BadFile, [&](ProgressCallback& p) {
        return std::shared_ptr<IV_File_Reader>(ertkit::openRecording(path, p));
    });
    auto recording = std::dynamic_pointer_cast<const IAB_VMN_File>(reader);
    if (!recording) throw py::type_error("no Python class for the reader " + reader->getTypeName());
    return py::cast(RecordingCore(std::move(recording)));
}

py::object openResults(const std::string& path, const py::object& progress)
{
    std::unique_ptr<Result_File> results = runLibrary(progress, Failure::BadFile, [&](ProgressCallback& p) {
        return ertkit::openResults(path, p);
    });
    if (auto* binx = dynamic_cast<BINX_File*>(results.get())) {
        results.release();
        return py::cast(std::make_shared<BinxCore>(std::unique_ptr<BINX_File>(binx)));
    }
    if (auto* bin = dynamic_cast<BIN_File*>(results.get())) {
        results.release();
        return py::cast(BinCore(std::shared_ptr<BIN_File>(bin)));
    }
    throw py::type_error("no Python class for the reader " + results->getTypeName());
}

py::object openFile(const std::string& path, const py::object& progress)
{
    requireReadableFile(path);
    const auto kind = ertkit::fileKind(path);
    if (!kind) throw py::value_error("no reader takes the extension of " + path);
    return *kind == ertkit::FileKind::Recording ? openRecording(path, progress) : openResults(path, progress);
}

py::list registrations(const std::vector<host::Registration>& entries)
{
    py::list out;
    for (const host::Registration& entry : entries) out.append(py::make_tuple(entry.type_name, entry.extensions));
    return out;
}

} // namespace

void bindOpenFile(py::module_& m)
{
    m.def("open_file", &openFile, py::arg("path"), py::arg("progress") = py::none(),
          "Opens a file through the reader registered for its extension.");
    m.def("file_readers", [] { return registrations(host::registry().fileReaders()); },
          "(type name, extensions) of every registered time-series reader.");
    m.def("result_readers", [] { return registrations(host::registry().resultReaders()); },
          "(type name, extensions) of every registered result-file reader.");
}

} // namespace ertkit_py
