#include "Reading.h"

#include <services/FileOpening.h>

#include <host/Registry.h>

#include <algorithm>
#include <cctype>
#include <utility>

namespace ertkit_py {

namespace {

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::optional<Format> formatOfExtension(const std::string& extension)
{
    if (extension == "iab" || extension == "irw") return Format::Iab;
    if (extension == "vmn" || extension == "vrw") return Format::Vmn;
    if (extension == "binx") return Format::Binx;
    if (extension == "bin") return Format::Bin;
    return std::nullopt;
}

// Progress of a recording's page walk in bytes: its steps are whole hundreds of pages.
void measurePages(PyProgress& progress, std::uint64_t size)
{
    progress.measure(size, &ertkit::recordingBytesRead);
}

// The serial numbers a name gives when it follows the recording name grammar; (0, 0) for a
// name outside it (another extension, digits that do not convert): the kind has said what
// the recording is.
std::pair<unsigned short, unsigned short> serialsOfName(const std::string& name, bool is_vmn)
{
    unsigned short serial = 0;
    unsigned short user_serial = 0;
    if (name.empty()) return {0, 0};
    try {
        bool named_vmn = is_vmn;
        IAB_VMN_File::GetSerials(name, serial, user_serial, named_vmn);
    } catch (const std::exception&) {
        return {0, 0};
    }
    return {serial, user_serial};
}

} // namespace

Format formatOfKind(const std::string& kind)
{
    std::string extension = lowerCase(kind);
    if (!extension.empty() && extension.front() == '.') extension.erase(0, 1);
    if (const auto format = formatOfExtension(extension)) return *format;
    throw py::value_error("kind must be one of iab, vmn, irw, vrw, binx, bin; not " + kind);
}

std::optional<Format> formatOfName(const std::string& name)
{
    if (!ertkit::fileKind(name)) return std::nullopt;
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos ? std::nullopt : formatOfExtension(lowerCase(name.substr(dot + 1)));
}

std::shared_ptr<const IAB_VMN_File> readRecording(const std::string& path, const py::object& progress,
                                                  IAB_VMN_File::Samples samples, std::uint64_t limit)
{
    const OpenedPath opened = openPath(path, limit);
    if (opened.stream) return readNamedRecording(*opened.stream, path, progress, samples);
    PyProgress measured(progress);
    measurePages(measured, opened.size.value_or(0));
    return runLibrary(measured, Failure::BadFile,
                      [&](ProgressCallback& p) { return std::make_shared<const IAB_VMN_File>(path, p, samples); });
}

std::shared_ptr<const IAB_VMN_File> readNamedRecording(SourceBuffer& source, const std::string& path,
                                                       const py::object& progress, IAB_VMN_File::Samples samples)
{
    // The name gives the serial numbers as it does to the path constructor, which refuses a
    // name outside the grammar.
    return readSource(source, path, progress, [&](std::istream& in, ProgressCallback& p) {
        unsigned short serial = 0;
        unsigned short user_serial = 0;
        bool is_vmn = false;
        IAB_VMN_File::GetSerials(path, serial, user_serial, is_vmn);
        return std::make_shared<const IAB_VMN_File>(in, serial, user_serial, is_vmn, p, samples);
    });
}

std::shared_ptr<const IAB_VMN_File> readRecording(SourceBuffer& source, const std::string& path, bool is_vmn,
                                                  const py::object& progress, IAB_VMN_File::Samples samples)
{
    const auto [serial, user_serial] = serialsOfName(path, is_vmn);
    return readSource(source, path, progress, [&](std::istream& in, ProgressCallback& p) {
        return std::make_shared<const IAB_VMN_File>(in, serial, user_serial, is_vmn, p, samples);
    });
}

std::shared_ptr<const IAB_VMN_File> readRecording(const char* data, std::size_t size, const std::string& name, bool is_vmn,
                                                  const py::object& progress)
{
    const auto [serial, user_serial] = serialsOfName(name, is_vmn);
    MemoryBuffer buffer(data, size);
    std::istream in(&buffer);
    PyProgress measured(progress);
    measurePages(measured, size);
    return runLibrary(measured, Failure::BadFile, [&](ProgressCallback& p) {
        return std::make_shared<const IAB_VMN_File>(in, serial, user_serial, is_vmn, p);
    });
}

} // namespace ertkit_py
