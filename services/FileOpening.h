#pragma once

#include <host/IV_File_Reader.h>
#include <host/Result_File.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ertkit {

enum class FileKind { Recording, Results };

// A path's extension in lower case, dot included: extensions are matched whatever their case.
std::string lowerExtension(const std::filesystem::path& path);

// What a path holds, judged by its extension as a host does: the registered extensions, plus
// the raw recording forms (.irw, .vrw) that the full-wave reader takes but the registries do
// not announce. Empty for any other extension.
std::optional<FileKind> fileKind(const std::string& path);

// The files of a folder that are recordings by their extensions (fileKind), links followed:
// what a command looking for recordings there may read, and so must never write. None when
// the folder cannot be listed.
std::vector<std::filesystem::path> recordingsIn(const std::filesystem::path& folder);

// Opens through the host registries; raw recordings through the full-wave reader itself.
// Before the readers see it, a path that names no file, a folder or a file we may not read
// throws std::runtime_error saying so ("no such file", "it is a folder, not a file", the
// system's reason), where the readers would each word it their own way. A recording name whose
// serial numbers or date are not numbers throws std::invalid_argument saying which form is
// expected. A BINX file that ends (or is damaged) before the records its header announces
// opens with the records before, and a warning on the library's log says where it ends.
std::unique_ptr<IV_File_Reader> openRecording(const std::string& path, ProgressCallback& progress);
std::unique_ptr<Result_File> openResults(const std::string& path, ProgressCallback& progress);

// The bytes of a recording the full-wave reader has read by the time it reports `steps`
// progress steps: it counts without announcing a total, one step per 100 pages.
std::uint64_t recordingBytesRead(std::uint64_t steps);

} // namespace ertkit
