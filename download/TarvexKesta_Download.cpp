// The download exchange with the meter: handshake, record transfer with checksums and
// acknowledgements, or one raw full-wave transfer.

#include <download/TarvexKesta_File.h>

#include <download/LinkWatch.h>

#include <host/ProgressCallback.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <exception>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int s_handshake_timeout_ms = 20000;
constexpr int s_transfer_timeout_ms = 1000;
constexpr std::uint32_t s_end_index = 0xFFFFFFFF;
constexpr std::size_t s_name_bytes = 11;

bool isRawVersion(int version)
{
    return version == TarvexKesta_File::RAW_DOWNLOAD_VERSION || version == TarvexKesta_File::CURRAW_DOWNLOAD_VERSION;
}

bool sizeFitsVersion(int version, std::uint32_t size)
{
    if (version == 1) return size == TarvexKesta_File::TMeasure::s_summed_size;
    if (version == 2 || version == 3) return size == TarvexKesta_File::TZMeasure::s_summed_size;
    return isRawVersion(version);
}

// Removes the temporary file of a raw transfer if the transfer fails before it does so itself.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : m_path(std::move(path)) {}
    ~TemporaryFile()
    {
        std::error_code ignored;
        if (!m_removed) std::filesystem::remove(m_path, ignored);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::string& path() const { return m_path; }
    void remove()
    {
        std::filesystem::remove(m_path);
        m_removed = true;
    }

private:
    std::string m_path;
    bool m_removed = false;
};

// Holds the folder of the raw transfer's file for this process: the file's name is fixed, so two
// downloads at once (two meters, or two test programs) would write and read each other's.
// Advisory and bounded: a holder that never lets go (a stopped process) is waited for only so
// long (a request to stop is seen while waiting), and a folder that cannot be locked is used as
// before, so the download never hangs on it. The folder is made when missing and removed, if
// nothing else is in it, before the lock is let go; a process that then gets the lock finds it
// holds a removed folder, and makes the folder again.
class FolderLock {
public:
    explicit FolderLock(std::filesystem::path folder) : m_folder(std::move(folder))
    {
        for (int attempt = 0; attempt < s_attempts; ++attempt) {
            std::error_code ignored;
            std::filesystem::create_directory(m_folder, ignored);
            m_fd = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (m_fd < 0) continue; // removed between the two: make it again
            if (!lock()) return;
            m_locked = stillThere();
            if (m_locked) return;
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~FolderLock()
    {
        // Only an empty folder is removed: anything else in it is not ours.
        if (m_locked) ::rmdir(m_folder.c_str());
        if (m_fd >= 0) ::close(m_fd); // closing lets go of the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    static constexpr std::chrono::seconds s_longest_wait{10};
    static constexpr int s_attempts = 5;

    // False when the lock could not be had in time: the folder is then used unlocked.
    bool lock()
    {
        const auto give_up = std::chrono::steady_clock::now() + s_longest_wait;
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= give_up) return false;
            try {
                LinkWatch::checkCancelled();
            } catch (...) {
                ::close(m_fd); // the destructor of an unfinished object does not run
                throw;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    // Whether the locked folder is still the one its path names.
    bool stillThere() const
    {
        struct stat held{}, named{};
        return ::fstat(m_fd, &held) == 0 && ::stat(m_folder.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
               held.st_ino == named.st_ino;
    }

    std::filesystem::path m_folder;
    int m_fd = -1;
    bool m_locked = false;
};

} // namespace

void TarvexKesta_File::download(unsigned int first, unsigned int last, ProgressCallback& progress, std::string name)
{
    if (!openLink() || !m_port->isPortComOpen()) return;

    std::string system = "Unknown system, try a lower speed rate ";
    std::string speed(40, ' ');
    m_tab_tzmeasure.clear();
    m_tab_tmeasure.clear();
    progress.setTextId(static_cast<std::uint32_t>(s_synchronization_text_id));
    try {
        m_port->setBaud(system, speed);
        progress.setFormattedText(static_cast<std::uint32_t>(s_connected_to_at_text_id), system, speed);
        const int version = handshake(first, last);
        if (isRawVersion(version)) {
            receiveRaw(progress);
            return;
        }
        sendName(std::move(name));
        progress.setPosition(0);
        progress.setRange(0, last - first + 1, 1);
        receiveRecords(first, last, progress);
    } catch (const std::exception& e) {
        m_on_error(progress.getErrorCode(), e.what());
        endAfterFailure();
    } catch (...) {
        m_on_error(progress.getErrorCode(), std::string());
        endAfterFailure();
    }
}

bool TarvexKesta_File::openLink()
{
    if (m_port_type == TPortVirt::USB) {
        if (!initUSB() && m_port) m_port->close();
        return m_port != nullptr;
    }
    if (m_port_type == TPortVirt::WIFI) return initWifi();
    return false;
}

int TarvexKesta_File::handshake(unsigned int first, unsigned int last)
{
    const LinkWatch& watch = LinkWatch::current();
    int wait = m_link.scaled(s_handshake_timeout_ms);
    if (watch.bounds_handshake) wait = static_cast<int>(std::min<long long>(wait, watch.silence_limit.count()));
    // A short word from a device that went away is a hang-up, not a meter that never answered.
    const auto failed = [this](const char* text) { return std::runtime_error(m_port->deviceHasGone() ? LinkLost::s_device_gone : text); };
    std::uint32_t version = 0;
    std::uint32_t size = 0;
    if (!receiveWord(version, wait)) throw failed("Time out version ???");
    if (!receiveWord(size, wait)) throw failed("Time out size ???");
    const int signed_version = static_cast<int>(version);
    if (!sizeFitsVersion(signed_version, size)) throw std::runtime_error("Bad Version, Upload and Install new version.");
    sendWord(first);
    sendWord(last);
    m_version = signed_version;
    return signed_version;
}

void TarvexKesta_File::sendWord(std::uint32_t word)
{
    for (int shift = 0; shift < 32; shift += 8) m_port->putCom(static_cast<unsigned char>(word >> shift));
}

void TarvexKesta_File::sendName(std::string name)
{
    if (name == "*") name.clear();
    // A name of up to 10 characters goes with its terminating NUL; a longer one is cut to 11
    // bytes without it.
    const char* text = name.c_str();
    for (std::size_t i = 0; i < s_name_bytes && i <= name.size(); ++i) {
        m_port->putCom(static_cast<unsigned char>(text[i]));
        if (text[i] == '\0') break;
    }
}

bool TarvexKesta_File::receiveWord(std::uint32_t& word, int timeout_ms)
{
    return readWord(word, timeout_ms) == 4;
}

int TarvexKesta_File::readWord(std::uint32_t& word, int timeout_ms)
{
    unsigned char bytes[4];
    const int got = m_port->readBufferTimed(bytes, 4, timeout_ms);
    if (got == 4) word = TPortVirt::decodeWord(bytes);
    return got;
}

void TarvexKesta_File::dropAndRetry(int sleep_ms)
{
    m_link.pauseFor(sleep_ms);
    m_port->clearRxBuffer();
}

void TarvexKesta_File::receiveRecords(unsigned int first, unsigned int last, ProgressCallback& progress)
{
    const bool v1 = m_version == 1;
    TMeasure measure{};
    TZMeasure zmeasure{};
    void* const record = v1 ? static_cast<void*>(&measure) : static_cast<void*>(&zmeasure);
    const int record_size = static_cast<int>(v1 ? TMeasure::s_size : TZMeasure::s_size);
    const TMeasureHead& head = v1 ? measure.head : zmeasure.head;
    const int transfer_wait = m_link.scaled(s_transfer_timeout_ms);
    const auto longest_wait = std::max<long long>(transfer_wait, LinkWatch::current().silence_limit.count());

    // The meter answers each acknowledge at once: from here on, a silence longer than the
    // host's limit means it has gone (docs/link-protocol.md).
    m_port->watchSilence();
    m_link.pauseFor(300);
    unsigned char acknowledge = OLD_DATADOWNLOAD;
    std::uint32_t remembered_checksum = 0;
    // A meter slower than the wait for an index answers every acknowledge, the repeated ones
    // too, in turn: each "send it again" after a wait brings one more copy of a record already
    // taken. Departing on purpose from the plain exchange, which keeps every copy whose sum is
    // right, a record index is kept once: a copy is neither stored nor acknowledged (an
    // acknowledge would only ask for one more sending), and it lengthens the wait for the next
    // index to twice the meter's pace, so that no more copies are asked for. Only an index
    // accepted acknowledges "next", once, so the meter never skips a record.
    std::optional<std::uint32_t> last_accepted;
    int index_wait = transfer_wait;
    auto last_sending = m_port->now();
    bool ask = true;
    for (;;) {
        if (ask) m_port->putCom(acknowledge);
        ask = true;
        acknowledge = OLD_DATADOWNLOAD;
        std::uint32_t index = 0;
        const int index_bytes = readWord(index, index_wait);
        if (index_bytes != 4) {
            m_link.pauseFor(200);
            // Nothing of a sending came within the wait: nothing spoilt is waiting to be
            // dropped, and what came during the pause is a whole answer, to be read rather
            // than dropped and asked for again.
            if (index_bytes == 0) ask = !m_port->hasInput();
            else m_port->clearRxBuffer();
            continue;
        }
        if (index == s_end_index || index > last) return;
        const auto arrived = m_port->now();
        const auto pace = arrived - last_sending;
        last_sending = arrived;
        const unsigned int relative = index - first;
        std::uint32_t time_stamp = 0; // version 2 carries none: its measures keep 0
        if ((m_version == 3 && !receiveWord(time_stamp, transfer_wait)) ||
            m_port->readBufferTimed(record, record_size, transfer_wait) != record_size) {
            dropAndRetry(1000);
            continue;
        }
        std::uint32_t checksum = 0;
        if (!receiveWord(checksum, transfer_wait)) {
            dropAndRetry(500);
            continue;
        }
        if (last_accepted && index <= *last_accepted) {
            const auto twice_pace = 2 * std::chrono::ceil<std::chrono::milliseconds>(pace).count();
            index_wait = static_cast<int>(std::clamp<long long>(twice_pace, index_wait, longest_wait));
            ask = false;
            continue;
        }
        const std::uint32_t sum = v1 ? measure.byteSum() : zmeasure.byteSum();
        const bool accepted = sum == checksum || checksum == remembered_checksum;
        if (!accepted) remembered_checksum = checksum;
        if (accepted || head.isEmptySlot()) {
            progress.setPosition(relative);
            acknowledge = NEW_DATADOWNLOAD;
            last_accepted = index;
        }
        if (!accepted || head.isEmptySlot()) continue;
        if (v1) {
            m_tab_tmeasure.push_back(measure);
        } else {
            zmeasure.time_stamp = time_stamp;
            m_tab_tzmeasure.push_back(zmeasure);
        }
    }
}

void TarvexKesta_File::receiveRaw(ProgressCallback& progress)
{
    bool complete = false;
    m_port->xbtCLoadBuffer(complete, progress);
    // The folder is <temporary folder>/Kelmor and the file Kelmor/tmp, joined with the native
    // separator.
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "Kelmor";
    // Declared first, so the file is gone before the folder is removed and the lock let go.
    const FolderLock lock(folder);
    TemporaryFile file((folder / "tmp").string());
    m_port->saveToFile(file.path());
    m_raw_stream.str(std::string());
    m_raw_stream.clear();
    m_port->copyStream(m_raw_stream);
    importRawFile(file.path());
    file.remove();
    m_port->putCom(END_BYTE);
    m_port->close();
}

void TarvexKesta_File::endAfterFailure()
{
    m_port->putCom(END_BYTE);
    m_port->close();
}
