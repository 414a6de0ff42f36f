#include <host/Registry.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace host {

namespace {

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

template <typename Entries>
auto findEntry(const Entries& entries, const std::string& path)
{
    const std::string lower = lowerCase(path);
    return std::find_if(entries.begin(), entries.end(), [&](const auto& entry) {
        const auto& extensions = entry.registration.extensions;
        return std::any_of(extensions.begin(), extensions.end(), [&](const std::string& ext) { return endsWith(lower, lowerCase(ext)); });
    });
}

template <typename Entries>
std::vector<Registration> registrationsOf(const Entries& entries)
{
    std::vector<Registration> out;
    out.reserve(entries.size());
    for (const auto& entry : entries) out.push_back(entry.registration);
    return out;
}

} // namespace

Registry& registry()
{
    static Registry instance;
    return instance;
}

std::uint64_t Registry::addFileReader(std::string type_name, std::vector<std::string> extensions, IV_File_Reader::Factory factory)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::uint64_t id = m_next_id++;
    m_file_readers.push_back({{id, std::move(type_name), std::move(extensions)}, factory});
    return id;
}

std::uint64_t Registry::addResultReader(std::string type_name, std::vector<std::string> extensions, Result_File::Factory factory)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::uint64_t id = m_next_id++;
    m_result_readers.push_back({{id, std::move(type_name), std::move(extensions)}, factory});
    return id;
}

std::vector<Registration> Registry::fileReaders() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return registrationsOf(m_file_readers);
}

std::vector<Registration> Registry::resultReaders() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return registrationsOf(m_result_readers);
}

std::optional<Registration> Registry::findFileReader(const std::string& path) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = findEntry(m_file_readers, path);
    if (it == m_file_readers.end()) return std::nullopt;
    return it->registration;
}

std::optional<Registration> Registry::findResultReader(const std::string& path) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = findEntry(m_result_readers, path);
    if (it == m_result_readers.end()) return std::nullopt;
    return it->registration;
}

std::unique_ptr<IV_File_Reader> Registry::openFileReader(const std::string& path, ProgressCallback& progress) const
{
    IV_File_Reader::Factory factory = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = findEntry(m_file_readers, path);
        if (it == m_file_readers.end()) throw std::invalid_argument("no time-series reader for " + path);
        factory = it->factory;
    }
    return std::unique_ptr<IV_File_Reader>(factory(path, progress));
}

std::unique_ptr<Result_File> Registry::openResultFile(const std::string& path, ProgressCallback& progress) const
{
    Result_File::Factory factory = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = findEntry(m_result_readers, path);
        if (it == m_result_readers.end()) throw std::invalid_argument("no result reader for " + path);
        factory = it->factory;
    }
    return std::unique_ptr<Result_File>(factory(path, progress));
}

} // namespace host
