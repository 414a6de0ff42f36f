#include <services/OutputGroup.h>

#include <stdexcept>
#include <sys/stat.h>

namespace ertkit {

AtomicOutput& OutputGroup::add(const std::filesystem::path& destination, Check check)
{
    // A device such as /dev/null may take several outputs; a file holds only one.
    struct stat st {};
    const bool device = ::stat(destination.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
    for (const Entry& entry : m_outputs)
        if (!device && sameFile(entry.output->destination(), destination))
            throw std::invalid_argument("it is given for two outputs: give each output its own file");
    m_outputs.push_back({std::make_unique<AtomicOutput>(destination), std::move(check)});
    return *m_outputs.back().output;
}

void OutputGroup::commit(const std::function<void()>& before_publish)
{
    for (Entry& entry : m_outputs) entry.output->finish(entry.check);
    if (before_publish) before_publish();
    for (const bool through : {true, false})
        for (Entry& entry : m_outputs)
            if (entry.output->writtenThrough() == through) entry.output->publish();
}

} // namespace ertkit
