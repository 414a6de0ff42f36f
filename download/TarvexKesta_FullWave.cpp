// The full-wave side of a download: the recording a raw transfer brought, its measure pages,
// and writing it out as a recording the full-wave reader opens.

#include <download/TarvexKesta_File.h>

#include <fullwave/IAB_VMN_RawPage.h>

#include <array>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace {

constexpr std::size_t s_page_size = IAB_VMN_RawPage::s_size_in_bytes;
constexpr std::size_t s_page_header_size = 16;
constexpr std::size_t s_page_name_size = 11;
constexpr std::size_t s_page_stamp_offset = 12;

// A measure page carries the name in bytes 1-11, the time stamp in 12-15 and the summed part
// of the record from byte 16 on.
TarvexKesta_File::TZMeasure measureFromPage(const std::array<char, s_page_size>& page)
{
    TarvexKesta_File::TZMeasure measure{};
    std::memcpy(measure.head.name, page.data() + 1, s_page_name_size);
    measure.head.name[s_page_name_size] = '\0';
    measure.time_stamp = little_endian::load<decltype(measure.time_stamp)>(page.data() + s_page_stamp_offset);
    std::memcpy(reinterpret_cast<char*>(&measure) + TarvexKesta_File::TZMeasure::s_summed_offset,
                page.data() + s_page_header_size, TarvexKesta_File::TZMeasure::s_summed_size);
    return measure;
}

} // namespace

bool TarvexKesta_File::isContainFW() const
{
    return m_version == RAW_DOWNLOAD_VERSION || m_version == CURRAW_DOWNLOAD_VERSION;
}

bool TarvexKesta_File::isV() const
{
    return m_version == RAW_DOWNLOAD_VERSION;
}

void TarvexKesta_File::writeFullWave(std::filesystem::path path) const
{
    if (!isContainFW()) return;
    path.replace_extension(isV() ? ".vmn" : ".iab");
    std::ofstream out(path.string(), std::ios::binary | std::ios::trunc);
    // Inserting the buffer reads it to its end: a second call writes an empty file.
    out << m_raw_stream.rdbuf();
}

void TarvexKesta_File::importRawFile(std::string path)
{
    if (path.empty()) throw std::runtime_error("filename is empty");
    if (!std::filesystem::exists(path)) throw std::runtime_error(path + " not exist");
    std::ifstream in(path, std::ios::binary);
    m_tab_tzmeasure.clear();
    // Pages are read in turn into one buffer: the same bytes as seeking to each page start.
    std::array<char, s_page_size> page{};
    const std::size_t needed = s_page_header_size + TZMeasure::s_summed_size;
    for (;;) {
        in.read(page.data(), static_cast<std::streamsize>(page.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got < s_page_header_size) break;
        if (page[0] != CTRL_USED || got < needed) continue;
        const TZMeasure measure = measureFromPage(page);
        if (!measure.head.isEmptySlot()) m_tab_tzmeasure.push_back(measure);
    }
}
