#pragma once

// How the extension reads each format, from a path or from bytes, with progress in bytes of
// the file. Recordings from a path go through the reader's path constructor; BINX and BIN
// files are mapped and read through the readers' stream constructors, which read the bytes
// exactly as the path constructors read the file, so that the read position is the progress.

#include "ByteSource.h"
#include "LibraryCall.h"
#include "SourceStream.h"

#include <bin/BIN_File.h>
#include <binx/BINX_File.h>
#include <fullwave/IAB_VMN_File.h>
#include <host/Registry.h>

#include <pybind11/pybind11.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace ertkit_py {

namespace py = pybind11;

enum class Format { Iab, Vmn, Binx, Bin };

// The format a kind names: an extension with or without its dot, in any case ("vmn", ".binx",
// "IRW"...). Raises ValueError for anything else.
Format formatOfKind(const std::string& kind);
// The format of a file by its name's extension, as ertkit.open picks the reader; none when no
// reader takes it.
std::optional<Format> formatOfName(const std::string& name);

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

// Samples::Skipped is the header-only open: every start, header and count, no sample values.
// A path that is not a regular file is read as it comes, up to `limit` bytes.
std::shared_ptr<const IAB_VMN_File> readRecording(const std::string& path, const py::object& progress,
                                                  IAB_VMN_File::Samples samples = IAB_VMN_File::Samples::Kept,
                                                  std::uint64_t limit = kDefaultSourceLimit);
// A recording from a pipe, a FIFO or a device named as one: the name gives the serial numbers
// and the receiver as a path does.
std::shared_ptr<const IAB_VMN_File> readNamedRecording(SourceBuffer& source, const std::string& path,
                                                       const py::object& progress,
                                                       IAB_VMN_File::Samples samples = IAB_VMN_File::Samples::Kept);
// A recording from a pipe, a FIFO or a device that `kind=` names: `path` gives the serial
// numbers as a name of bytes does.
std::shared_ptr<const IAB_VMN_File> readRecording(SourceBuffer& source, const std::string& path, bool is_vmn,
                                                  const py::object& progress,
                                                  IAB_VMN_File::Samples samples = IAB_VMN_File::Samples::Kept);
// `name` gives the serial numbers when it follows the recording name grammar; otherwise they
// are 0 and `is_vmn` says which receiver made the recording.
std::shared_ptr<const IAB_VMN_File> readRecording(const char* data, std::size_t size, const std::string& name, bool is_vmn,
                                                  const py::object& progress);

template <typename File>
std::unique_ptr<File> readResults(const char* data, std::size_t size, const std::string& name, const py::object& progress)
{
    MemoryBuffer buffer(data, size);
    std::istream in(&buffer);
    PyProgress measured(progress);
    measured.measure(size, [&buffer](std::uint64_t) { return buffer.position(); });
    return runLibrary(measured, Failure::BadFile, [&](ProgressCallback& p) { return std::make_unique<File>(in, name, p); });
}

template <typename File>
std::unique_ptr<File> readResults(SourceBuffer& source, const std::string& path, const py::object& progress)
{
    return readSource(source, path, progress, [&](std::istream& in, ProgressCallback& p) { return std::make_unique<File>(in, path, p); });
}

// A path whose extension is the reader's is read from its mapped bytes, or as it comes when it
// is not a regular file (up to `limit` bytes); any other path goes to the path constructor,
// which refuses it in the library's own words.
template <typename File>
std::unique_ptr<File> readResults(const std::string& path, const py::object& progress, std::uint64_t limit = kDefaultSourceLimit)
{
    const auto registration = host::registry().findResultReader(path);
    if (!registration || registration->type_name != File::s_type_name) {
        requireReadableFile(path);
        return runLibrary(progress, Failure::BadFile, [&](ProgressCallback& p) { return std::make_unique<File>(path, p); });
    }
    const OpenedPath opened = openPath(path, limit);
    if (opened.stream) return readResults<File>(*opened.stream, path, progress);
    const FileBytes bytes = FileBytes::load(path);
    return readResults<File>(bytes.data(), bytes.size(), path, progress);
}

} // namespace ertkit_py
