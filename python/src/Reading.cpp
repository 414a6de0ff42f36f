#include "Reading.h"

#include <utility>

namespace ertkit_py {

namespace {

// Progress of a recording's page walk in bytes: its steps are whole hundreds of pages.
void measurePages(PyProgress& progress, std::uint64_t size)
{
    progress.measure(size, &ertkit::recordingBytesRead);
}

OpenedFile openedRecording(std::unique_ptr<IV_File_Reader> reader)
{
    auto* recording = dynamic_cast<IAB_VMN_File*>(reader.get());
    if (recording == nullptr) throw std::logic_error("a recording's reader of type " + reader->getTypeName());
    reader.release();
    return {std::unique_ptr<IAB_VMN_File>(recording)};
}

} // namespace

FileFormat formatOfKind(const std::string& kind)
{
    if (const auto format = ertkit::formatOfExtension(kind)) return *format;
    throw py::value_error("kind must be one of " + ertkit::extensionChoices(false) + "; not " + kind);
}

OpenedFile readBytes(const char* data, std::size_t size, const std::string& name, FileFormat format, bool named,
                     const py::object& progress)
{
    MemoryBuffer buffer(data, size);
    std::istream in(&buffer);
    PyProgress measured(progress);
    if (ertkit::kindOf(format) == ertkit::FileKind::Recording)
        measurePages(measured, size);
    else
        measured.measure(size, [&buffer](std::uint64_t) { return buffer.position(); });
    return runLibrary(measured, Failure::BadFile,
                      [&](ProgressCallback& p) { return ertkit::openFile({in, name, format, named}, p); });
}

PathFile readPath(const std::string& path, std::optional<FileFormat> kind, const py::object& progress, std::uint64_t limit,
                  IAB_VMN_File::Samples samples)
{
    // Opened first: a path that cannot be is an OSError whatever its name.
    const OpenedPath opened = openPath(path, limit);
    const std::optional<FileFormat> named = ertkit::formatOfName(path);
    const std::optional<FileFormat> format = kind ? kind : named;
    if (!format) raiseValueError("no reader takes the extension of " + path + " (kind= names the format)");
    const bool is_named = format == named;
    if (opened.stream) {
        return {readSource(*opened.stream, path, progress,
                           [&](std::istream& in, ProgressCallback& p) { return ertkit::openFile({in, path, *format, is_named}, p, samples); }),
                is_named};
    }
    if (is_named && ertkit::kindOf(*format) == ertkit::FileKind::Recording) {
        PyProgress measured(progress);
        measurePages(measured, opened.size.value_or(0));
        return {runLibrary(measured, Failure::BadFile,
                           [&](ProgressCallback& p) { return openedRecording(ertkit::openRecording(path, p, samples)); }),
                true};
    }
    const FileBytes bytes = FileBytes::load(path);
    return {readBytes(bytes.data(), bytes.size(), path, *format, is_named, progress), is_named};
}

} // namespace ertkit_py
