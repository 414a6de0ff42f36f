// Reading a legacy BIN result file: header, companion names, then records to the end.

#include <bin/BIN_File.h>

#include <bin/BIN_Bytes.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <utility>

namespace {

constexpr const char* k_incomplete = "incomplete file";
// Version, header byte, header text, folder and name count come before the names.
constexpr std::uint64_t k_names_offset = 4 + 1 + BIN_File::s_header_text_size + BIN_File::s_folder_size + 2;

bool hasBinExtension(const std::string& path)
{
    if (path.size() < 4) throw std::out_of_range("path too short to carry an extension: " + path);
    std::string extension = path.substr(path.size() - 4);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".bin";
}

// Size of a regular file, 0 for anything else: only a hint that bounds what counts read
// from the file may reserve.
std::uint64_t regularFileSize(const std::string& path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return 0;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

// Offset of the end of a seekable stream, 0 for one that cannot seek: the same hint as the
// size of a regular file, for a stream read from its start.
std::uint64_t streamEnd(std::istream& in)
{
    std::streambuf* buffer = in.rdbuf();
    if (buffer == nullptr) return 0;
    const auto here = buffer->pubseekoff(0, std::ios::cur, std::ios::in);
    if (here < 0) return 0;
    const auto end = buffer->pubseekoff(0, std::ios::end, std::ios::in);
    buffer->pubseekpos(here, std::ios::in);
    return end > 0 ? static_cast<std::uint64_t>(end) : 0;
}

// n bytes, the stream being good before each of them: one read, then the check that would
// have failed before the first byte after a missing one.
void readBytes(std::istream& in, char* destination, std::size_t n)
{
    if (n == 0) return;
    if (!in.good()) throw std::runtime_error(k_incomplete);
    in.read(destination, static_cast<std::streamsize>(n));
    if (static_cast<std::size_t>(in.gcount()) + 1 < n) throw std::runtime_error(k_incomplete);
}

} // namespace

BIN_File::BIN_File(const std::string& path) : BIN_File(path, noProgress()) {}

BIN_File::BIN_File(const std::string& path, ProgressCallback& progress) : Result_FileImpl<BIN_File>(path)
{
    progress.setTextId(static_cast<std::uint32_t>(Result_Reader::s_reading_file_text_id));
    progress.setRange(10000, 0, 1);
    progress.setPosition(0);
    if (!hasBinExtension(path)) throw std::runtime_error("invalid file extension");

    std::ifstream in(path, std::ios::binary);
    read(in, regularFileSize(path), progress);
}

BIN_File::BIN_File(std::istream& stream, const std::string& path, ProgressCallback& progress)
    : Result_FileImpl<BIN_File>(path)
{
    progress.setTextId(static_cast<std::uint32_t>(Result_Reader::s_reading_file_text_id));
    progress.setRange(10000, 0, 1);
    progress.setPosition(0);
    read(stream, streamEnd(stream), progress);
}

void BIN_File::read(std::istream& in, std::uint64_t file_size, ProgressCallback& progress)
{
    readHeader(in);
    readNames(in, file_size);
    try {
        readRecords(in, file_size, progress);
    } catch (...) {
        deleteRecords();
        throw;
    }
}

BIN_File::BIN_File(BIN_File&& other)
    : Result_FileImpl<BIN_File>(other),
      m_version(other.m_version),
      m_header_byte(other.m_header_byte),
      m_header_text(other.m_header_text),
      m_folder_buffer(other.m_folder_buffer),
      m_name_count(other.m_name_count),
      m_file_names(std::exchange(other.m_file_names, {})),
      m_datas(std::exchange(other.m_datas, {})),
      m_results(std::exchange(other.m_results, {})),
      m_folder_path(std::exchange(other.m_folder_path, {}))
{
}

BIN_File& BIN_File::operator=(BIN_File&& other)
{
    if (this == &other) return *this;
    Result_FileImpl<BIN_File>::operator=(std::move(other));
    deleteRecords();
    m_version = other.m_version;
    m_header_byte = other.m_header_byte;
    m_header_text = other.m_header_text;
    m_folder_buffer = other.m_folder_buffer;
    m_name_count = other.m_name_count;
    m_file_names = std::exchange(other.m_file_names, {});
    m_datas = std::exchange(other.m_datas, {});
    m_results = std::exchange(other.m_results, {});
    m_folder_path = std::exchange(other.m_folder_path, {});
    return *this;
}

BIN_File::~BIN_File()
{
    deleteRecords();
}

void BIN_File::deleteRecords()
{
    for (BIN_Data* data : m_datas) delete data;
    m_datas.clear();
    m_results.clear();
}

std::string BIN_File::getFullPath(unsigned int i) const
{
    if (i >= m_file_names.size())
        throw std::out_of_range("file index " + std::to_string(i) + " beyond the " + std::to_string(m_file_names.size()) +
                                " names of the file");
    return m_folder_path + '\\' + m_file_names[i];
}

void BIN_File::readHeader(std::istream& in)
{
    m_version = bin_bytes::readField<std::uint32_t>(in, k_incomplete);
    m_header_byte = bin_bytes::readField<std::uint8_t>(in, k_incomplete);
    if (m_version != s_version || m_header_byte != s_header_byte) throw std::runtime_error("bin file version not implemented");
    readBytes(in, m_header_text.data(), m_header_text.size());
    readBytes(in, m_folder_buffer.data(), m_folder_buffer.size());
    const auto end = std::find(m_folder_buffer.begin(), m_folder_buffer.end(), '\0');
    m_folder_path.assign(m_folder_buffer.begin(), end);
}

// Each name is a 16-bit length and that many bytes, the last one a terminating zero. The
// count is not trusted for the reservation: every entry takes at least its two length bytes.
void BIN_File::readNames(std::istream& in, std::uint64_t file_size)
{
    m_name_count = bin_bytes::readField<std::uint16_t>(in, k_incomplete);
    const std::uint64_t remaining = file_size > k_names_offset ? file_size - k_names_offset : 0;
    m_file_names.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(m_name_count, remaining / 2)));
    for (std::uint16_t i = 0; i < m_name_count; ++i) {
        const auto length = bin_bytes::readField<std::uint16_t>(in, k_incomplete);
        std::string name(length, '\0');
        readBytes(in, name.data(), name.size());
        if (!name.empty()) name.pop_back();
        m_file_names.push_back(std::move(name));
    }
}

// Records follow to the end of the file, which holds no count: the first record that
// cannot be read (normally the one after the last) ends the loop, without error.
void BIN_File::readRecords(std::istream& in, std::uint64_t file_size, ProgressCallback& progress)
{
    const std::streamoff position = in.good() ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (position >= 0 && file_size > static_cast<std::uint64_t>(position)) {
        // A record short of its last field may still be kept, hence the one extra.
        const std::uint64_t most = (file_size - static_cast<std::uint64_t>(position)) / BIN_Data::s_size_in_bytes + 1;
        m_datas.reserve(static_cast<std::size_t>(most));
        m_results.reserve(static_cast<std::size_t>(most));
    }
    for (;;) {
        progress.step();
        if (!in.good()) break;
        std::unique_ptr<BIN_Data> data;
        try {
            data = std::make_unique<BIN_Data>(in, this);
        } catch (...) {
            break;
        }
        m_datas.push_back(data.get());
        m_results.push_back(data.release());
    }
}
