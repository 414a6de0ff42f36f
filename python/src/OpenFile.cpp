#include "OpenFile.h"

#include "BinCore.h"
#include "BinxCore.h"
#include "LibraryCall.h"
#include "Reading.h"
#include "RecordingCore.h"

#include <pybind11/stl.h>

#include <optional>
#include <variant>

namespace ertkit_py {

namespace {

// The core object of an opened file's kind. A recording opened by its own name keeps that
// name as its path, where a reader given a stream knows none.
py::object coreOf(OpenedFile opened, const std::optional<std::string>& path)
{
    struct Core {
        const std::optional<std::string>& path;
        py::object operator()(std::unique_ptr<IAB_VMN_File>& file) const
        {
            std::shared_ptr<const IAB_VMN_File> shared(std::move(file));
            return py::cast(path ? RecordingCore(std::move(shared), *path) : RecordingCore(std::move(shared)));
        }
        py::object operator()(std::unique_ptr<BINX_File>& file) const { return py::cast(std::make_shared<BinxCore>(std::move(file))); }
        py::object operator()(std::unique_ptr<BIN_File>& file) const { return py::cast(BinCore(std::shared_ptr<BIN_File>(std::move(file)))); }
    };
    return std::visit(Core{path}, opened.reader);
}

py::object openFile(const std::string& path, const py::object& progress, const std::optional<std::string>& kind,
                    std::uint64_t max_bytes)
{
    const std::optional<FileFormat> format = kind ? std::optional<FileFormat>(formatOfKind(*kind)) : std::nullopt;
    PathFile opened = readPath(path, format, progress, max_bytes);
    return coreOf(std::move(opened.file), opened.named ? std::optional<std::string>(path) : std::nullopt);
}

py::object openBytes(const py::buffer& buffer, const std::optional<std::string>& name, const std::optional<std::string>& kind,
                     const py::object& progress)
{
    const std::optional<FileFormat> format = kind ? formatOfKind(*kind) : name ? ertkit::formatOfName(*name) : std::nullopt;
    if (!format) raiseValueError("bytes need kind= to say what they hold (" + ertkit::extensionChoices(false) + ")");
    const PythonBytes bytes(buffer);
    // A name gives a recording its serial numbers only when it follows the grammar.
    return coreOf(readBytes(bytes.data(), bytes.size(), name.value_or(std::string()), *format, false, progress), std::nullopt);
}

py::list readerList(ertkit::FileKind kind)
{
    py::list out;
    for (const ertkit::ReaderExtensions& reader : ertkit::readers(kind)) out.append(py::make_tuple(reader.type_name, reader.extensions));
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
    m.def("file_readers", [] { return readerList(ertkit::FileKind::Recording); },
          "(type name, extensions) of every time-series reader, the raw recording forms included.");
    m.def("result_readers", [] { return readerList(ertkit::FileKind::Results); },
          "(type name, extensions) of every result-file reader.");
}

} // namespace ertkit_py
