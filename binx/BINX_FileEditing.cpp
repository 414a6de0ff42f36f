// Writing a BINX file and the editing operations of the host.

#include <binx/BINX_File.h>

#include <binx/BinaryOutput.h>

#include <host/VELT_Utils.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <unordered_map>

namespace {

constexpr std::size_t s_stream_buffer_size = 1 << 16;

// Path indexes are handed over as the host's int; -1 is "no file".
std::uint32_t pathIndex(int value)
{
    return static_cast<std::uint32_t>(value);
}

// The new index of a shifted reference; "no file" stays as it is.
int shifted(std::uint32_t index, std::size_t offset)
{
    return static_cast<int>(index == BINX_Data::NO_PATH ? index : index + static_cast<std::uint32_t>(offset));
}

} // namespace

void BINX_File::writeToFile(std::string path, bool hide, unsigned int first, int last, bool skip_ignored) const
{
    std::vector<char> buffer(s_stream_buffer_size);
    std::ofstream out;
    out.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    out.open(path, std::ios::binary | std::ios::trunc);
    writeToStream(out, first, last, skip_ignored);
    out.close();
    if (hide) VELT_Utils::hideFile(path);
}

void BINX_File::writeToStream(std::ostream& out, unsigned int first, int last, bool skip_ignored) const
{
    const auto n = static_cast<std::int64_t>(m_tab_measure.size());
    std::int64_t end = last;
    if (end < 0 || end >= n) end = n - 1;
    // Compared as unsigned: a first index past the last one starts the range over.
    std::int64_t begin = first;
    if (first > static_cast<unsigned int>(end)) begin = 0;
    auto written = [&](std::int64_t i) { return !(skip_ignored && m_tab_measure[static_cast<std::size_t>(i)]->getIgnore()); };
    std::uint32_t count = 0;
    for (std::int64_t i = begin; i <= end; ++i) count += written(i) ? 1 : 0;

    binx_io::BinaryOutput io(out);
    io.write(static_cast<std::uint32_t>(m_last_version));
    io.write(m_header_byte);
    io.write(m_software);
    for (short number : m_software_version) io.write(number);
    io.write(static_cast<std::uint32_t>(m_header_text.size()));
    io.put(m_header_text.data(), m_header_text.size());
    io.write(static_cast<std::uint32_t>(m_folder_buffer.size()));
    io.put(m_folder_buffer.data(), m_folder_buffer.size());
    io.write(static_cast<std::uint32_t>(m_file_names_iab_vmn.size()));
    for (const auto& name : m_file_names_iab_vmn) io.writeText(name);
    io.write(static_cast<std::uint32_t>(m_file_names_project.size()));
    for (const auto& name : m_file_names_project) {
        io.write(static_cast<std::uint32_t>(name.size() + 1));
        io.put(name.c_str(), name.size() + 1); // with its terminating zero
    }
    io.write(count);
    for (std::int64_t i = begin; i <= end; ++i)
        if (written(i)) m_tab_measure[static_cast<std::size_t>(i)]->writeToFile(out);
}

void BINX_File::checkIndex(unsigned int index) const
{
    if (index >= m_tab_measure.size())
        throw std::out_of_range(std::to_string(index) + " > size m_tab_measure (=" + std::to_string(m_tab_measure.size()) + ")");
}

// A null record is refused: the list would hand it to the host and to the writer.
void BINX_File::addData(BINX_Data* data)
{
    if (data) insertRecord(m_tab_measure.size(), data);
}

void BINX_File::removeData(unsigned int index)
{
    checkIndex(index);
    eraseRecord(index);
}

void BINX_File::replaceData(unsigned int index, BINX_Data* data)
{
    checkIndex(index);
    if (!data) return;
    m_tab_measure[index] = data;
    m_results[index] = data;
}

void BINX_File::replaceData(BINX_Data* data)
{
    if (!data) return;
    const auto same = std::find_if(m_tab_measure.begin(), m_tab_measure.end(), [data](const BINX_Data* d) {
        return d->keyText1 == data->keyText1 && d->keyText2 == data->keyText2 && d->startTimeV == data->startTimeV &&
               d->startTimeI == data->startTimeI && d->chanV == data->chanV && d->chanI == data->chanI;
    });
    if (same == m_tab_measure.end()) addData(data);
    else replaceData(static_cast<unsigned int>(same - m_tab_measure.begin()), data);
}

void BINX_File::addBinxFile(BINX_File* other)
{
    // Merging a file into itself would list every record twice, and free each one twice.
    if (!other || other == this) return;
    if (!m_file_names_iab_vmn.empty() || !m_file_names_project.empty()) {
        setFolderPath(VELT_Utils::getCommonPath(m_folder_path, other->m_folder_path));
        const std::size_t n_recordings = m_file_names_iab_vmn.size();
        const std::size_t n_projects = m_file_names_project.size();
        m_file_names_iab_vmn.insert(m_file_names_iab_vmn.end(), other->m_file_names_iab_vmn.begin(),
                                    other->m_file_names_iab_vmn.end());
        m_file_names_project.insert(m_file_names_project.end(), other->m_file_names_project.begin(),
                                    other->m_file_names_project.end());
        for (unsigned int i = 0; i < other->m_tab_measure.size(); ++i) {
            const BINX_Data& data = *other->m_tab_measure[i];
            other->setIabPathIndex(i, shifted(data.iabPathIndex, n_recordings));
            other->setVmnPathIndex(i, shifted(data.vmnPathIndex, n_recordings));
            other->setProjectPathIndex(i, shifted(data.projectPathIndex, n_projects));
        }
    }
    m_tab_measure.reserve(m_tab_measure.size() + other->m_tab_measure.size());
    m_results.reserve(m_results.size() + other->m_results.size());
    m_tab_measure.insert(m_tab_measure.end(), other->m_tab_measure.begin(), other->m_tab_measure.end());
    m_results.insert(m_results.end(), other->m_tab_measure.begin(), other->m_tab_measure.end());
    // The records are this file's now: the other file lets go of them without freeing them.
    other->m_tab_measure.clear();
    other->m_results.clear();
}

void BINX_File::mergeDuplicateFileNames()
{
    for (auto* names : {&m_file_names_iab_vmn, &m_file_names_project}) {
        std::unordered_map<std::string, std::uint32_t> first;
        std::vector<std::uint32_t> place(names->size());
        std::vector<std::string> kept;
        for (std::size_t i = 0; i < names->size(); ++i) {
            const auto [found, fresh] = first.try_emplace((*names)[i], static_cast<std::uint32_t>(kept.size()));
            if (fresh) kept.push_back((*names)[i]);
            place[i] = found->second;
        }
        if (kept.size() == names->size()) continue;
        const auto follow = [&place](std::uint32_t& index) {
            if (index < place.size()) index = place[index];
        };
        for (BINX_Data* record : m_tab_measure) {
            if (names == &m_file_names_iab_vmn) {
                follow(record->iabPathIndex);
                follow(record->vmnPathIndex);
            } else {
                follow(record->projectPathIndex);
            }
        }
        *names = std::move(kept);
    }
}

unsigned int BINX_File::addFileNameProject(std::string name)
{
    const auto found = std::find(m_file_names_project.begin(), m_file_names_project.end(), name);
    if (found != m_file_names_project.end()) return static_cast<unsigned int>(found - m_file_names_project.begin());
    m_file_names_project.push_back(std::move(name));
    ++m_n_file_names_project;
    return static_cast<unsigned int>(m_file_names_project.size() - 1);
}

void BINX_File::setFolderPath(std::string path)
{
    m_folder_path = std::move(path);
    m_folder_buffer.fill(0);
    std::memcpy(m_folder_buffer.data(), m_folder_path.data(), std::min(m_folder_path.size(), m_folder_buffer.size()));
}

void BINX_File::setIabPathIndex(unsigned int index, int path_index)
{
    checkIndex(index);
    m_tab_measure[index]->iabPathIndex = pathIndex(path_index);
}

void BINX_File::setVmnPathIndex(unsigned int index, int path_index)
{
    checkIndex(index);
    m_tab_measure[index]->vmnPathIndex = pathIndex(path_index);
}

void BINX_File::setProjectPathIndex(unsigned int index, int path_index)
{
    checkIndex(index);
    m_tab_measure[index]->projectPathIndex = pathIndex(path_index);
}
