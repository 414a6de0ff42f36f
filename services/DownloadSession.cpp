#include <services/DownloadSession.h>

#include <services/AtomicOutput.h>

#include <download/TPortUSB.h>

#include <mutex>
#include <stdexcept>
#include <stdlib.h>

namespace ertkit {

namespace {

// The port layer's device setting, held for one download and then put back.
class DeviceFor {
public:
    explicit DeviceFor(const std::string& device) : m_lock(mutex()), m_previous(TPortUSB::devicePath()) { TPortUSB::setDevicePath(device); }
    ~DeviceFor() { TPortUSB::setDevicePath(m_previous); }
    DeviceFor(const DeviceFor&) = delete;
    DeviceFor& operator=(const DeviceFor&) = delete;

private:
    static std::mutex& mutex()
    {
        static std::mutex m;
        return m;
    }
    std::lock_guard<std::mutex> m_lock;
    std::string m_previous;
};

} // namespace

DownloadSession::DownloadSession(std::string device) : m_device(std::move(device))
{
    m_transfer = std::make_unique<TarvexKesta_File>(
        // Nobody is there to plug a meter in: a port that cannot be found is not tried again.
        [](TPortVirt::TypePort) { return false; }, [this] { m_failures.push_back({true, 0, "cannot open the port"}); },
        [] { return true; }, [this](int code, std::string message) { m_failures.push_back({false, code, std::move(message)}); },
        TPortVirt::USB, "ertkit");
}

DownloadSession::~DownloadSession() = default;

void DownloadSession::fetch(unsigned int first, unsigned int last, const std::string& name, ProgressCallback& progress)
{
    const DeviceFor device(m_device);
    m_transfer->download(first, last, progress, name);
}

BINX_File DownloadSession::measures(ProgressCallback& progress) const
{
    return BINX_File(*m_transfer, progress);
}

std::filesystem::path DownloadSession::writeRecording(const std::filesystem::path& output) const
{
    const std::filesystem::path target = std::filesystem::path(output).replace_extension(m_transfer->isV() ? ".vmn" : ".iab");
    AtomicOutput out(target);
    m_transfer->writeFullWave(out.create());
    out.commit([&](const std::filesystem::path& written) {
        if (std::filesystem::file_size(written) == 0) throw WriteError(target, "cannot write " + target.string() + ": nothing written");
    });
    return target;
}

TemporaryFolder::TemporaryFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "ertkit-download-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
    m_path = pattern;
}

TemporaryFolder::~TemporaryFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

} // namespace ertkit
