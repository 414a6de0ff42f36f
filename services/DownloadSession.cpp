#include <services/DownloadSession.h>

#include <services/AtomicOutput.h>
#include <services/DownloadFailureText.h>
#include <services/ReceiverTime.h>

#include <download/LinkWatch.h>
#include <download/TPortUSB.h>

#include <stdexcept>
#include <stdlib.h>

namespace ertkit {

// The download object, with the time stamps of its measures in view.
class DownloadSession::Transfer : public TarvexKesta_File {
public:
    template <typename... Arguments>
    explicit Transfer(LinkSettings link, Arguments&&... arguments) : TarvexKesta_File(std::forward<Arguments>(arguments)...)
    {
        m_link = std::move(link);
    }
    const std::vector<TZMeasure>& stampedMeasures() const { return m_tab_tzmeasure; }
    std::size_t measureCount() const { return m_tab_tzmeasure.size() + m_tab_tmeasure.size(); }
    // Version 2 records carry no time stamp.
    bool stamped() const { return m_version != 2; }
};

DownloadSession::DownloadSession(std::string device) : DownloadSession(LinkSettings{std::move(device), nullptr, nullptr, 1.0})
{
}

DownloadSession::DownloadSession(LinkSettings link) : m_silence_limit(LinkWatch::s_default_silence_limit)
{
    m_transfer = std::make_unique<Transfer>(std::move(link),
        // Nobody is there to plug a meter in: a port that cannot be found is not tried again.
        [](TPortVirt::TypePort) { return false; },
        [this] { m_failures.push_back({true, 0, portFailureText(TPortUSB::lastOpenFailure().device, TPortUSB::lastOpenFailure().error)}); }, [] { return true; },
        [this](int code, std::string message) { m_failures.push_back({false, code, std::move(message)}); }, TPortVirt::USB, "ertkit");
}

DownloadSession::~DownloadSession() = default;

void DownloadSession::fetch(unsigned int first, unsigned int last, const std::string& name, ProgressCallback& progress)
{
    m_slots_asked = last >= first ? std::uint64_t{last} - first + 1 : 0;
    LinkWatch watch;
    watch.silence_limit = m_silence_limit;
    watch.bounds_handshake = m_limit_set;
    watch.cancelled = [this, &progress] { return m_cancelled = m_cancelled || progress.isCancelled(); };
    const ScopedLinkWatch watching(std::move(watch));
    m_transfer->download(first, last, progress, name);
}

std::size_t DownloadSession::measureCount() const
{
    return m_transfer->measureCount();
}

bool DownloadSession::hasRecording() const
{
    return m_transfer->isContainFW();
}

BINX_File DownloadSession::measures(ProgressCallback& progress) const
{
    BINX_File file(*m_transfer, progress);
    // The library's conversion takes the stamps as seconds from its own time origin; they
    // count from the receivers' origin. Records of stamped measures come first, in order.
    // A record without a stamp keeps the number that means "no time", not the origin's date.
    const auto& stamped = m_transfer->stampedMeasures();
    for (std::size_t i = 0; i < std::min(stamped.size(), file.getDatas().size()); ++i)
        file.getDatas()[i]->startTimeV = m_transfer->stamped() ? HighPrecisionTime::convertDateTime(receiverTime(stamped[i].time_stamp)) : 0.0;
    return file;
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
