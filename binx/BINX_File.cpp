#include <binx/BINX_File.h>

#include <binx/BinaryInput.h>
#include <binx/RecordSlabs.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace {

const char* const s_incomplete_file = "incomplete file";

// Stream buffer of a whole-file read or write: large enough that the byte-by-byte reading
// of the names and of the records seldom reaches the system.
constexpr std::size_t s_stream_buffer_size = 1 << 16;

// No record is shorter than its fixed part (version, times, results, stack).
constexpr std::uint64_t s_smallest_record_bytes = 3480;

// Beyond this, a name length is checked against what the file still holds before the
// name is sized, so that a damaged length cannot claim gigabytes.
constexpr std::uint32_t s_short_name = 4096;

bool hasBinxExtension(const std::string& path)
{
    std::string extension = path.substr(path.size() - 4); // std::out_of_range on shorter paths
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == "binx";
}

// A stored name: its n bytes, read one at a time after a check each. A name that would
// run past the end of the file fails as that check would, before it is sized.
void readName(binx_io::BinaryInput& io, std::uint32_t size, std::string& name)
{
    if (size > s_short_name && size > io.remaining() + 1) io.fail();
    name.assign(size, '\0');
    io.readBytes(name.data(), size);
}

// A name list: the count is checked against the bytes left (each entry takes at least its
// 4-byte length) before room is reserved.
void readNames(binx_io::BinaryInput& io, std::uint32_t count, std::vector<std::string>& names, bool zero_terminated)
{
    names.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, io.remaining() / 4)));
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto size = io.get<std::uint32_t>();
        std::string& name = names.emplace_back();
        readName(io, size, name);
        if (zero_terminated && !name.empty()) name.pop_back();
    }
}

} // namespace

BINX_File::BINX_File() : Result_FileImpl<BINX_File>(std::string()) {}

BINX_File::BINX_File(const std::string& path, ProgressCallback& progress) : Result_FileImpl<BINX_File>(path)
{
    try {
        read(path, progress);
    } catch (...) {
        deleteRecords();
        throw;
    }
}

BINX_File::BINX_File(std::istream& stream, const std::string& path, ProgressCallback& progress)
    : Result_FileImpl<BINX_File>(path)
{
    try {
        read(stream, progress);
    } catch (...) {
        deleteRecords();
        throw;
    }
}

BINX_File::BINX_File(const std::string& path) : Result_FileImpl<BINX_File>(path)
{
    DummyProgressCallback progress;
    *this = BINX_File(path, progress);
}

BINX_File::BINX_File(BINX_File&& other) noexcept : Result_FileImpl<BINX_File>(other)
{
    *this = std::move(other);
}

BINX_File& BINX_File::operator=(BINX_File&& other) noexcept
{
    if (this == &other) return *this;
    deleteRecords();
    Result_FileImpl<BINX_File>::operator=(other);
    m_version = other.m_version;
    m_header_byte = other.m_header_byte;
    m_header_text = other.m_header_text;
    m_folder_buffer = other.m_folder_buffer;
    m_n_file_names_iab_vmn = other.m_n_file_names_iab_vmn;
    m_n_file_names_project = other.m_n_file_names_project;
    m_file_names_iab_vmn = std::move(other.m_file_names_iab_vmn);
    m_file_names_project = std::move(other.m_file_names_project);
    m_n_records = other.m_n_records;
    m_tab_measure = std::move(other.m_tab_measure);
    m_results = std::move(other.m_results);
    m_software = other.m_software;
    m_software_version = other.m_software_version;
    m_folder_path = std::move(other.m_folder_path);
    other.m_file_names_iab_vmn.clear();
    other.m_file_names_project.clear();
    other.m_tab_measure.clear();
    other.m_results.clear();
    other.m_folder_path.clear();
    return *this;
}

BINX_File::~BINX_File()
{
    deleteRecords();
}

void BINX_File::deleteRecords()
{
    for (BINX_Data* data : m_tab_measure) delete data;
    m_tab_measure.clear();
    m_results.clear();
}

std::string BINX_File::getFullPath(unsigned int i) const
{
    // The folder is kept as the host wrote it, with its own separators.
    return m_folder_path + "\\" + m_file_names_iab_vmn.at(i);
}

void BINX_File::read(const std::string& path, ProgressCallback& progress)
{
    progress.setTextId(static_cast<std::uint32_t>(Result_Reader::s_reading_file_text_id));
    progress.setRange(10000, 0, 1);
    progress.setPosition(0);
    if (!hasBinxExtension(path)) throw std::runtime_error("invalid file extension");

    std::vector<char> buffer(s_stream_buffer_size);
    std::ifstream in;
    in.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    in.open(path, std::ios::binary); // a file that cannot be opened fails the first check
    readFrom(in, progress);
}

void BINX_File::read(std::istream& stream, ProgressCallback& progress)
{
    progress.setTextId(static_cast<std::uint32_t>(Result_Reader::s_reading_file_text_id));
    progress.setRange(10000, 0, 1);
    progress.setPosition(0);
    // The records read from a file stream; this one reads through the caller's buffer (only
    // the stream's own buffer is the file stream's, and it stays closed and unused).
    std::ifstream in;
    in.std::ios::rdbuf(stream.rdbuf());
    struct PassState {
        std::istream& to;
        std::ifstream& from;
        ~PassState() { to.setstate(from.rdstate()); }
    } pass{stream, in};
    readFrom(in, progress);
}

void BINX_File::readFrom(std::ifstream& in, ProgressCallback& progress)
{
    binx_io::BinaryInput io(in, s_incomplete_file);

    m_version = static_cast<Version>(io.get<std::uint32_t>());
    io.read(m_header_byte);
    if (m_version >= 6) {
        io.readUnchecked(m_software);
        for (short& number : m_software_version) io.readUnchecked(number);
    }
    std::uint32_t size = 0;
    io.readUnchecked(size);
    m_header_text.fill(0);
    io.readBytes(m_header_text.data(), std::min<std::size_t>(size, m_header_text.size()));
    size = 0;
    io.readUnchecked(size);
    m_folder_buffer.fill(0);
    io.readBytes(m_folder_buffer.data(), std::min<std::size_t>(size, m_folder_buffer.size()));
    m_folder_path.assign(m_folder_buffer.data(), ::strnlen(m_folder_buffer.data(), m_folder_buffer.size()));

    io.read(m_n_file_names_iab_vmn);
    readNames(io, m_n_file_names_iab_vmn, m_file_names_iab_vmn, false);
    io.readUnchecked(m_n_file_names_project);
    readNames(io, m_n_file_names_project, m_file_names_project, true);
    progress.step();

    io.readUnchecked(m_n_records);
    const auto room = std::min<std::uint64_t>(m_n_records, io.remaining() / s_smallest_record_bytes + 1);
    m_tab_measure.reserve(static_cast<std::size_t>(room));
    m_results.reserve(static_cast<std::size_t>(room));
    binx_detail::RecordSlabs slabs(sizeof(BINX_Data), room);
    for (std::uint32_t i = 0; i < m_n_records && in.good(); ++i) {
        std::unique_ptr<BINX_Data> data;
        try {
            data.reset(new (slabs) BINX_Data(in, m_file_names_iab_vmn));
        } catch (...) {
            break; // a damaged record ends the file; the records before it stay
        }
        insertRecord(m_tab_measure.size(), data.get());
        data.release();
        progress.step();
    }
}

void BINX_File::insertRecord(std::size_t index, BINX_Data* data)
{
    const auto at = static_cast<std::ptrdiff_t>(index);
    m_tab_measure.insert(m_tab_measure.begin() + at, data);
    try {
        m_results.insert(m_results.begin() + at, data);
    } catch (...) {
        m_tab_measure.erase(m_tab_measure.begin() + at);
        throw;
    }
}

void BINX_File::eraseRecord(std::size_t index)
{
    const auto at = static_cast<std::ptrdiff_t>(index);
    m_tab_measure.erase(m_tab_measure.begin() + at);
    m_results.erase(m_results.begin() + at);
}
