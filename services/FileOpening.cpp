#include <services/FileOpening.h>

#include <fullwave/IAB_VMN_File.h>
#include <fullwave/IAB_VMN_RawPage.h>
#include <host/Registry.h>

#include <algorithm>
#include <cctype>

namespace ertkit {

namespace {

bool isRawRecording(const std::string& path)
{
    if (path.size() < 4) return false;
    std::string extension = path.substr(path.size() - 4);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".irw" || extension == ".vrw";
}

} // namespace

std::optional<FileKind> fileKind(const std::string& path)
{
    if (host::registry().findFileReader(path) || isRawRecording(path)) return FileKind::Recording;
    if (host::registry().findResultReader(path)) return FileKind::Results;
    return std::nullopt;
}

std::unique_ptr<IV_File_Reader> openRecording(const std::string& path, ProgressCallback& progress)
{
    if (isRawRecording(path)) return std::make_unique<IAB_VMN_File>(path, progress);
    return host::registry().openFileReader(path, progress);
}

std::unique_ptr<Result_File> openResults(const std::string& path, ProgressCallback& progress)
{
    return host::registry().openResultFile(path, progress);
}

std::uint64_t recordingBytesRead(std::uint64_t steps)
{
    constexpr std::uint64_t pages_per_step = 100;
    return steps * pages_per_step * IAB_VMN_RawPage::s_size_in_bytes;
}

} // namespace ertkit
