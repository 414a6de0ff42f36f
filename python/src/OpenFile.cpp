#include "OpenFile.h"

#include "BinCore.h"
#include "BinxCore.h"
#include "LibraryCall.h"
#include "Reading.h"
#include "RecordingCore.h"

#include <host/Registry.h>

#include <pybind11/stl.h>

#include <optional>

namespace ertkit_py {

namespace {

py::object binxCore(std::unique_ptr<BINX_File> file)
{
    return py::cast(std::make_shared<BinxCore>(std::move(file)));
}

py::object binCore(std::unique_ptr<BIN_File> file)
{
    return py::cast(BinCore(std::shared_ptr<BIN_File>(std::move(file))));
}

py::object openBytesAs(Format format, const char* data, std::size_t size, const std::string& name, const py::object& progress)
{
    switch (format) {
    case Format::Binx: return binxCore(readResults<BINX_File>(data, size, name, progress));
    case Format::Bin: return binCore(readResults<BIN_File>(data, size, name, progress));
    case Format::Iab:
    case Format::Vmn: break;
    }
    return py::cast(RecordingCore(readRecording(data, size, name, format == Format::Vmn, progress)));
}

// A pipe, a FIFO or a device, read as it comes by the reader of `format`.
py::object openSourceAs(Format format, SourceBuffer& source, const std::string& path, const py::object& progress)
{
    switch (format) {
    case Format::Binx: return binxCore(readResults<BINX_File>(source, path, progress));
    case Format::Bin: return binCore(readResults<BIN_File>(source, path, progress));
    case Format::Iab:
    case Format::Vmn: break;
    }
    return py::cast(RecordingCore(readRecording(source, path, format == Format::Vmn, progress)));
}

py::object openFile(const std::string& path, const py::object& progress, const std::optional<std::string>& kind,
                    std::uint64_t max_bytes)
{
    const OpenedPath opened = openPath(path, max_bytes);
    const std::optional<Format> named = formatOfName(path);
    const std::optional<Format> format = kind ? formatOfKind(*kind) : named;
    if (!format) raiseValueError("no reader takes the extension of " + path + " (kind= names the format)");
    if (opened.stream && format == named && (format == Format::Iab || format == Format::Vmn))
        return py::cast(RecordingCore(readNamedRecording(*opened.stream, path, progress), path));
    if (opened.stream) return openSourceAs(*format, *opened.stream, path, progress);
    if (format != named) {
        // The kind overrides the name: the bytes go to the reader the kind names.
        const FileBytes bytes = FileBytes::load(path);
        return openBytesAs(*format, bytes.data(), bytes.size(), path, progress);
    }
    switch (*format) {
    case Format::Binx: return binxCore(readResults<BINX_File>(path, progress));
    case Format::Bin: return binCore(readResults<BIN_File>(path, progress));
    case Format::Iab:
    case Format::Vmn: break;
    }
    return py::cast(RecordingCore(readRecording(path, progress), path));
}

py::object openBytes(const py::buffer& buffer, const std::optional<std::string>& name, const std::optional<std::string>& kind,
                     const py::object& progress)
{
    const std::optional<Format> format = kind ? formatOfKind(*kind) : name ? formatOfName(*name) : std::nullopt;
    if (!format) raiseValueError("bytes need kind= to say what they hold (iab, vmn, irw, vrw, binx or bin)");
    const PythonBytes bytes(buffer);
    return openBytesAs(*format, bytes.data(), bytes.size(), name.value_or(std::string()), progress);
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
    m.def("open_file", &openFile, py::arg("path"), py::arg("progress") = py::none(), py::arg("kind") = py::none(),
          py::arg("max_bytes") = kDefaultSourceLimit,
          "Opens a file through the reader its extension (or `kind`) picks; a path that is not a regular file is "
          "read as it comes, up to max_bytes.");
    m.attr("DEFAULT_MAX_BYTES") = kDefaultSourceLimit;
    m.def("open_bytes", &openBytes, py::arg("data"), py::arg("name") = py::none(), py::arg("kind") = py::none(),
          py::arg("progress") = py::none(), "Reads a file's bytes with the reader `kind` (or the name's extension) picks.");
    m.def("file_readers", [] { return registrations(host::registry().fileReaders()); },
          "(type name, extensions) of every registered time-series reader.");
    m.def("result_readers", [] { return registrations(host::registry().resultReaders()); },
          "(type name, extensions) of every registered result-file reader.");
}

} // namespace ertkit_py
