#pragma once

// How the extension gives a file's bytes to the shared openFile (services/FileOpening.h), from
// a path, a pipe or a device, or bytes, with progress in bytes of the file. Recordings from a
// path go through the reader's path constructor; BINX and BIN files are mapped and read
// through the readers' stream constructors, which read the bytes exactly as the path
// constructors read the file, so that the read position is the progress.

#include "ByteSource.h"
#include "LibraryCall.h"
#include "SourceStream.h"

#include <services/FileOpening.h>

#include <pybind11/pybind11.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>

namespace ertkit_py {

namespace py = pybind11;

using ertkit::FileFormat;
using ertkit::OpenedFile;

// The format a kind names: an extension with or without its dot, in any case ("vmn", ".binx",
// "IRW"...). Raises ValueError for anything else.
FileFormat formatOfKind(const std::string& kind);

// A pipe, a FIFO or a device, read through its SourceBuffer by work(stream, progress): progress
// counts the bytes read (the total is unknown), a stop the caller asks for (Ctrl-C, a progress
// callable that raises) breaks off any wait for data, and a source cut at its limit or by a
// read error raises its OSError, whatever the reader made of the bytes before.
template <typename Work>
auto readSource(SourceBuffer& source, const std::string& path, const py::object& progress, Work&& work)
{
    std::istream in(&source);
    PyProgress measured(progress);
    measured.measure(0, [&source](std::uint64_t) { return source.position(); });
    source.stopWhen([&measured] { return measured.isCancelled(); });
    struct Forget {
        SourceBuffer& source;
        ~Forget() { source.stopWhen({}); }
    } forget{source};
    try {
        auto result = runLibrary(measured, Failure::BadFile, [&](ProgressCallback& p) { return work(in, p); });
        source.raiseIfCut(path);
        return result;
    } catch (const FormatError&) {
        source.raiseIfCut(path);
        throw;
    }
}

// Bytes that stay where they are, read as `format` under `name` (see ertkit::ByteSource).
OpenedFile readBytes(const char* data, std::size_t size, const std::string& name, FileFormat format, bool named,
                     const py::object& progress);

// A path read as `kind`, or as its name says without one (ValueError when no reader takes
// it): a regular file as described above, anything else as it comes, up to `limit` bytes.
// Raises the OSError opening the path gives. `named` tells whether the format was the name's.
struct PathFile {
    OpenedFile file;
    bool named;
};
PathFile readPath(const std::string& path, std::optional<FileFormat> kind, const py::object& progress,
                  std::uint64_t limit = kDefaultSourceLimit, IAB_VMN_File::Samples samples = IAB_VMN_File::Samples::Kept);

// The reader of a file a class of the package opens by its path (Recording(path),
// BinxFile(path)...): through readPath when the name is of the reader's format, else through
// the path constructor, which refuses the path in the library's own words.
template <typename Reader>
std::unique_ptr<Reader> readAs(const std::string& path, const py::object& progress,
                               IAB_VMN_File::Samples samples = IAB_VMN_File::Samples::Kept)
{
    const auto named = ertkit::formatOfName(path);
    bool takes = false;
    if constexpr (std::is_same_v<Reader, IAB_VMN_File>)
        takes = named && ertkit::kindOf(*named) == ertkit::FileKind::Recording;
    else
        takes = named == (std::is_same_v<Reader, BINX_File> ? FileFormat::Binx : FileFormat::Bin);
    if (takes) return std::get<std::unique_ptr<Reader>>(std::move(readPath(path, named, progress, kDefaultSourceLimit, samples).file.reader));
    requireReadableFile(path);
    return runLibrary(progress, Failure::BadFile, [&](ProgressCallback& p) { return std::make_unique<Reader>(path, p); });
}

} // namespace ertkit_py
