#include <services/FileOpening.h>

#include <fullwave/IAB_VMN_PageHeader.h>
#include <fullwave/IAB_VMN_RawPage.h>
#include <host/Registry.h>
#include <host/VELTLogger.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <cctype>
#include <tuple>
#include <utility>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace ertkit {

namespace {

void requireReadableFile(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) throw std::runtime_error("no such file");
        throw std::runtime_error(std::strerror(errno));
    }
    if (S_ISDIR(st.st_mode)) throw std::runtime_error("it is a folder, not a file");
    if (::access(path.c_str(), R_OK) != 0) throw std::runtime_error(std::strerror(errno));
}

// The name parser reports a part that is not a number in the words of the standard
// conversion it uses ("stoul", "stoi"); say what was expected instead.
bool isNumberConversion(const std::exception& e)
{
    const std::string what = e.what();
    return what == "stoul" || what == "stoi" || what == "stol";
}

// A BINX result file named as a recording: the full-wave reader would take its bytes for pages
// and may find nonsense there that looks like starts (dates a century apart, absurd
// temperatures). A recording opens with a configuration or data page, whose first byte says
// which; a BINX file opens with its version, a small little-endian number. A file opening the
// second way and not the first is refused; a recording damaged at its start, or junk, still
// goes to the reader, which says what it finds.
void refuseResultContent(const std::array<unsigned char, 4>& start)
{
    const auto ctrl = static_cast<char>(start[0]);
    if (ctrl == IAB_VMN_PageHeader::s_ctrl_raw_cfg || ctrl == IAB_VMN_PageHeader::s_ctrl_raw) return;
    const std::uint32_t version = start[0] | start[1] << 8 | start[2] << 16 | static_cast<std::uint32_t>(start[3]) << 24;
    if (version >= 1 && version <= static_cast<std::uint32_t>(BINX_File::m_last_version))
        throw std::runtime_error("its content is a BINX result file, not a recording as its extension says (name it .binx to read it)");
}

// Only regular files are looked at: a pipe would lose the bytes read here.
void refuseResultContent(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    std::ifstream in(path, std::ios::binary);
    std::array<unsigned char, 4> start{};
    if (!in.read(reinterpret_cast<char*>(start.data()), start.size())) return;
    refuseResultContent(start);
}

// Bytes that can be read again: looked at, then given back whole.
void refuseResultContent(std::istream& in)
{
    const std::istream::pos_type at = in.tellg();
    if (at == std::istream::pos_type(-1)) return;
    std::array<unsigned char, 4> start{};
    const bool whole = static_cast<bool>(in.read(reinterpret_cast<char*>(start.data()), start.size()));
    in.clear();
    in.seekg(at);
    if (whole) refuseResultContent(start);
}

// A recording's reader, with the name parser's failure, and the reader's fixed messages, said
// in words.
template <typename Open>
auto withOpeningErrors(Open&& open) -> decltype(open())
{
    try {
        return open();
    } catch (const std::exception& e) {
        // The name parser's conversions throw invalid_argument and out_of_range.
        if (dynamic_cast<const std::logic_error*>(&e) != nullptr && isNumberConversion(e))
            throw std::invalid_argument("malformed recording name: a serial number or the date after '@' is not a number "
                                        "(expected for example vp123-4567@120523_143015.vmn)");
        const std::string message = explainedFailure(e.what());
        if (message == e.what()) throw;
        throw std::runtime_error(message);
    }
}

// The serial numbers a name gives when it follows the recording name grammar; (0, 0) for a
// name outside it, or no name: the format has said what the recording is.
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

std::unique_ptr<IAB_VMN_File> readRecording(const ByteSource& source, ProgressCallback& progress, IAB_VMN_File::Samples samples)
{
    if (source.named) refuseResultContent(source.in);
    return withOpeningErrors([&] {
        bool is_vmn = source.format == FileFormat::Vmn;
        unsigned short serial = 0;
        unsigned short user_serial = 0;
        if (source.named)
            IAB_VMN_File::GetSerials(source.name, serial, user_serial, is_vmn);
        else
            std::tie(serial, user_serial) = serialsOfName(source.name, is_vmn);
        return std::make_unique<IAB_VMN_File>(source.in, serial, user_serial, is_vmn, progress, samples);
    });
}

void warnIfCut(const std::string& path, const Result_File& file)
{
    const auto* binx = dynamic_cast<const BINX_File*>(&file);
    if (binx == nullptr) return;
    const std::size_t read = binx->getDatas().size();
    const std::uint32_t announced = binx->getStoredRecordCount();
    if (read >= announced) return;
    // Bytes read without a name are named as such.
    const std::string name = path.empty() ? std::string("the bytes") : VELTLogger::oneLine(path);
    VELTLogger::warning() << name << ": the file ends (or is damaged) in record " << read + 1 << " of the " << announced
                          << " its header announces: " << read << " records read" << std::endl;
}

} // namespace

std::string explainedFailure(const std::string& message)
{
    if (message == "cannot read file first header")
        return "no configuration page anywhere: not a recording, or damaged from its start (" + message + ")";
    if (message == "cannot read file") return "shorter than one page: not a recording (" + message + ")";
    return message;
}

std::string lowerExtension(const std::filesystem::path& path)
{
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

std::vector<std::filesystem::path> recordingsIn(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> found;
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(folder, error)) {
        std::error_code ignored;
        if (item.is_regular_file(ignored) && fileKind(item.path().string()) == FileKind::Recording) found.push_back(item.path());
    }
    return found;
}

OpenedFile openFile(const ByteSource& source, ProgressCallback& progress, IAB_VMN_File::Samples samples)
{
    switch (source.format) {
    case FileFormat::Iab:
    case FileFormat::Vmn: break;
    case FileFormat::Binx: {
        auto file = std::make_unique<BINX_File>(source.in, source.name, progress);
        warnIfCut(source.name, *file);
        return {std::move(file)};
    }
    case FileFormat::Bin: return {std::make_unique<BIN_File>(source.in, source.name, progress)};
    }
    return {readRecording(source, progress, samples)};
}

std::unique_ptr<IV_File_Reader> openRecording(const std::string& path, ProgressCallback& progress, IAB_VMN_File::Samples samples)
{
    requireReadableFile(path);
    refuseResultContent(path);
    // The registry's reader for the extensions it announces; the full-wave reader itself for
    // the raw forms, which it does not, and for an open without samples.
    const bool raw = !host::registry().findFileReader(path) && fileKind(path) == FileKind::Recording;
    return withOpeningErrors([&]() -> std::unique_ptr<IV_File_Reader> {
        if (raw || samples == IAB_VMN_File::Samples::Skipped) return std::make_unique<IAB_VMN_File>(path, progress, samples);
        return host::registry().openFileReader(path, progress);
    });
}

std::unique_ptr<Result_File> openResults(const std::string& path, ProgressCallback& progress)
{
    requireReadableFile(path);
    std::unique_ptr<Result_File> file = host::registry().openResultFile(path, progress);
    warnIfCut(path, *file);
    return file;
}

std::uint64_t recordingBytesRead(std::uint64_t steps)
{
    constexpr std::uint64_t pages_per_step = 100;
    return steps * pages_per_step * IAB_VMN_RawPage::s_size_in_bytes;
}

} // namespace ertkit
