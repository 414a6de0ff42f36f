// Reading a recording: the page walk that groups pages into starts.

#include <fullwave/IAB_VMN_File.h>

#include <host/VELTLogger.h>

#include <fstream>
#include <memory>
#include <stdexcept>

namespace {

std::string streamPath(unsigned short serial, unsigned short user_serial, bool is_vmn)
{
    return std::to_string(serial) + "-" + std::to_string(user_serial) + (is_vmn ? ".vmn" : ".iab");
}

bool readPage(std::istream& stream, IAB_VMN_RawPage& raw)
{
    stream.read(raw.data(), IAB_VMN_RawPage::s_size_in_bytes);
    return static_cast<bool>(stream);
}

// One progress step per 100 pages read.
class PageCounter {
public:
    explicit PageCounter(ProgressCallback& progress) : m_progress(progress) {}
    void pageRead()
    {
        ++m_pages;
        if (++m_since_step == 100) {
            m_progress.step();
            m_since_step = 0;
        }
    }
    unsigned long long pages() const { return m_pages; }

private:
    ProgressCallback& m_progress;
    unsigned long long m_pages = 1;
    unsigned char m_since_step = 1;
};

// The name data pages must carry: none after a standard configuration page.
std::string expectedDataName(const IAB_VMN_FilePage& header)
{
    return header.get_header().hasRawCfgName() ? std::string() : header.get_header().get_name();
}

} // namespace

IAB_VMN_File::IAB_VMN_File(const std::string& path) : IAB_VMN_File(path, noProgress()) {}

IAB_VMN_File::IAB_VMN_File(const std::string& path, ProgressCallback& progress) : IV_File_ReaderImpl<IAB_VMN_File>(path)
{
    HighPrecisionTime dropped;
    GetSerials(path, m_serial, m_user_serial, is_vmn, dropped);
    // A large buffer keeps the 528-byte reads off the system call path.
    std::vector<char> buffer(1 << 16);
    std::ifstream stream;
    stream.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    stream.open(path, std::ios::binary);
    if (!stream.is_open()) throw std::invalid_argument("cannot open file " + path);
    Init(stream, progress);
}

IAB_VMN_File::IAB_VMN_File(std::istream& stream, unsigned short serial, unsigned short user_serial, bool is_vmn_)
    : IAB_VMN_File(stream, serial, user_serial, is_vmn_, noProgress())
{
}

IAB_VMN_File::IAB_VMN_File(std::istream& stream, unsigned short serial, unsigned short user_serial, bool is_vmn_,
                           ProgressCallback& progress)
    : IV_File_ReaderImpl<IAB_VMN_File>(streamPath(serial, user_serial, is_vmn_)),
      is_vmn(is_vmn_),
      m_serial(serial),
      m_user_serial(user_serial)
{
    Init(stream, progress);
}

IAB_VMN_File::IAB_VMN_File(IAB_VMN_File&& other) noexcept
    : IV_File_ReaderImpl<IAB_VMN_File>(other),
      is_vmn(other.is_vmn),
      m_serial(other.m_serial),
      m_user_serial(other.m_user_serial),
      m_starts(std::move(other.m_starts))
{
    other.m_starts.clear();
}

IAB_VMN_File& IAB_VMN_File::operator=(IAB_VMN_File&& other) noexcept
{
    if (this != &other) {
        releasePages();
        IV_File_ReaderImpl<IAB_VMN_File>::operator=(other);
        is_vmn = other.is_vmn;
        m_serial = other.m_serial;
        m_user_serial = other.m_user_serial;
        m_starts = std::move(other.m_starts);
        other.m_starts.clear();
    }
    return *this;
}

IAB_VMN_File::~IAB_VMN_File()
{
    releasePages();
}

void IAB_VMN_File::releasePages() noexcept
{
    for (Start_& s : m_starts) {
        delete s.header;
        for (IAB_VMN_FileData* page : s.pages) delete page;
    }
    m_starts.clear();
}

void IAB_VMN_File::Init(std::istream& stream, ProgressCallback& progress)
{
    // Pages built so far are released if the walk throws: the constructor never completes.
    struct ReleaseOnThrow {
        IAB_VMN_File& file;
        bool armed = true;
        ~ReleaseOnThrow()
        {
            if (armed) file.releasePages();
        }
    } guard{*this};

    progress.setTextId(static_cast<std::uint32_t>(IV_File_Reader::s_reading_file_page_text_id));
    progress.setRange(10000, 0, 1);
    progress.setPosition(0);

    IAB_VMN_RawPage raw;
    if (!readPage(stream, raw)) throw std::runtime_error("cannot read file");
    PageCounter counter(progress);
    if (progress.isCancelled()) {
        guard.armed = false;
        return;
    }
    std::unique_ptr<IAB_VMN_FilePage> page(IAB_VMN_FilePage::buildPage(raw, true, is_vmn));

    while (!page->get_header().isRawCfg()) {
        VELTLogger::warning() << "found page before first header" << std::endl;
        page.reset();
        if (!stream.good() || !readPage(stream, raw)) throw std::runtime_error("cannot read file first header");
        if (progress.isCancelled()) {
            guard.armed = false;
            return;
        }
        counter.pageRead();
        page.reset(IAB_VMN_FilePage::buildPage(raw, true, is_vmn));
    }

    std::string expected_name = expectedDataName(*page);
    m_starts.push_back({static_cast<IAB_VMN_FileHeader*>(page.release()), {}});

    while (stream.good()) {
        if (!readPage(stream, raw)) {
            VELTLogger::debug() << "page " << counter.pages() << " from file: \"" << getPath() << "\" is not complete" << std::endl;
            break;
        }
        if (progress.isCancelled()) {
            guard.armed = false;
            return;
        }
        counter.pageRead();
        page.reset(IAB_VMN_FilePage::buildPage(raw, true, is_vmn));

        if (page->get_header().isRawCfg()) {
            expected_name = expectedDataName(*page);
            m_starts.push_back({static_cast<IAB_VMN_FileHeader*>(page.release()), {}});
        } else if (page->get_header().isRaw()) {
            std::unique_ptr<IAB_VMN_FileData> data(static_cast<IAB_VMN_FileData*>(page.release()));
            appendDataPage(std::move(data), expected_name);
        }
    }
    guard.armed = false;
}

void IAB_VMN_File::appendDataPage(std::unique_ptr<IAB_VMN_FileData> data, const std::string& expected_name)
{
    Start_& current = m_starts.back();
    data->computeOverloads(current.header->get_max_rx());
    if (!expected_name.empty() && data->get_header().get_name() != expected_name)
        throw std::logic_error("corrupted file : header and data are not related");
    // A page whose blocks do not match the header's channel count is dropped silently.
    if (data->getData(0).get_n_channel() != current.header->get_n_channel()) return;

    const unsigned int first = data->getData(0).get_n_10_ms();
    if (current.pages.empty()) {
        if (first > 1) throw std::logic_error("corrupted file : sample numbering does not start at 0 or 1");
        current.pages.push_back(data.release());
        return;
    }
    const IAB_VMN_FileData& previous = *current.pages.back();
    const unsigned long long next = static_cast<unsigned long long>(previous.getData(previous.dataSize() - 1).get_n_10_ms()) + 1;
    if (first < next) throw std::logic_error("corrupted file : samples do not follow each others");
    if (first > next) {
        // A gap in the numbering: the samples after it form a new start of the same set-up.
        const IAB_VMN_FileHeader* header = current.header;
        m_starts.push_back({new IAB_VMN_FileHeader(*header), {}});
    }
    m_starts.back().pages.push_back(data.release());
}
