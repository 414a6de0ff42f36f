#pragma once

#include <host/IV_File_Reader.h>
#include <host/Result_File.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace ertkit {

enum class FileKind { Recording, Results };

// What a path holds, judged by its extension as a host does: the registered extensions, plus
// the raw recording forms (.irw, .vrw) that the full-wave reader takes but the registries do
// not announce. Empty for any other extension.
std::optional<FileKind> fileKind(const std::string& path);

// Opens through the host registries; raw recordings through the full-wave reader itself.
std::unique_ptr<IV_File_Reader> openRecording(const std::string& path, ProgressCallback& progress);
std::unique_ptr<Result_File> openResults(const std::string& path, ProgressCallback& progress);

// The bytes of a recording the full-wave reader has read by the time it reports `steps`
// progress steps: it counts without announcing a total, one step per 100 pages.
std::uint64_t recordingBytesRead(std::uint64_t steps);

} // namespace ertkit
