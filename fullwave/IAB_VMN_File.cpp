// Reading a recording: the page walk that groups pages into starts.

#include <fullwave/IAB_VMN_File.h>

#include <fullwave/BlockRun.h>
#include <fullwave/IAB_VMN_FileStorage.h>
#include <fullwave/PageStream.h>
#include <host/VELTLogger.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace {

std::string streamPath(unsigned short serial, unsigned short user_serial, bool is_vmn)
{
    return std::to_string(serial) + "-" + std::to_string(user_serial) + (is_vmn ? ".vmn" : ".iab");
}

// The page name: the name field up to its first zero byte.
std::string_view pageName(const IAB_VMN_RawPage& raw)
{
    const char* name = raw.data() + 1;
    const void* zero = std::memchr(name, 0, 11);
    return std::string_view(name, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - name) : 11);
}

// A configuration page decoded, or nullptr for any other kind of page. Data pages never get
// here; a page of unknown kind is reported by the page factory as it is everywhere.
std::unique_ptr<IAB_VMN_FileHeader> decodeConfiguration(const IAB_VMN_RawPage& raw, bool is_vmn)
{
    if (raw.bytes[0] == static_cast<unsigned char>(IAB_VMN_PageHeader::s_ctrl_raw)) return nullptr;
    std::unique_ptr<IAB_VMN_FilePage> page(IAB_VMN_FilePage::buildPage(raw, true, is_vmn));
    if (!page->get_header().isRawCfg()) return nullptr;
    return std::unique_ptr<IAB_VMN_FileHeader>(static_cast<IAB_VMN_FileHeader*>(page.release()));
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
std::string expectedDataName(const IAB_VMN_FileHeader& header)
{
    return header.get_header().hasRawCfgName() ? std::string() : header.get_header().get_name();
}

} // namespace

IAB_VMN_File::IAB_VMN_File(const std::string& path) : IAB_VMN_File(path, noProgress()) {}

IAB_VMN_File::IAB_VMN_File(const std::string& path, ProgressCallback& progress) : IAB_VMN_File(path, progress, Samples::Kept) {}

IAB_VMN_File::IAB_VMN_File(const std::string& path, ProgressCallback& progress, Samples samples)
    : IV_File_ReaderImpl<IAB_VMN_File>(path), m_storage(std::make_unique<Storage>())
{
    if (samples == Samples::Skipped) m_storage->store.skipValues();
    HighPrecisionTime dropped;
    GetSerials(path, m_serial, m_user_serial, is_vmn, dropped);
    // The pages are read in large chunks straight into the reader's own buffer.
    std::ifstream stream(path, std::ios::binary);
    if (!stream.is_open()) throw std::invalid_argument("cannot open file " + path);
    Init(stream, progress);
}

IAB_VMN_File::IAB_VMN_File(std::istream& stream, unsigned short serial, unsigned short user_serial, bool is_vmn_)
    : IAB_VMN_File(stream, serial, user_serial, is_vmn_, noProgress())
{
}

IAB_VMN_File::IAB_VMN_File(std::istream& stream, unsigned short serial, unsigned short user_serial, bool is_vmn_,
                           ProgressCallback& progress)
    : IAB_VMN_File(stream, serial, user_serial, is_vmn_, progress, Samples::Kept)
{
}

IAB_VMN_File::IAB_VMN_File(std::istream& stream, unsigned short serial, unsigned short user_serial, bool is_vmn_,
                           ProgressCallback& progress, Samples samples)
    : IV_File_ReaderImpl<IAB_VMN_File>(streamPath(serial, user_serial, is_vmn_)),
      is_vmn(is_vmn_),
      m_serial(serial),
      m_user_serial(user_serial),
      m_storage(std::make_unique<Storage>())
{
    if (samples == Samples::Skipped) m_storage->store.skipValues();
    Init(stream, progress);
}

IAB_VMN_File::IAB_VMN_File(IAB_VMN_File&& other) noexcept
    : IV_File_ReaderImpl<IAB_VMN_File>(other),
      is_vmn(other.is_vmn),
      m_serial(other.m_serial),
      m_user_serial(other.m_user_serial),
      m_storage(std::move(other.m_storage))
{
}

IAB_VMN_File& IAB_VMN_File::operator=(IAB_VMN_File&& other) noexcept
{
    if (this != &other) {
        IV_File_ReaderImpl<IAB_VMN_File>::operator=(other);
        is_vmn = other.is_vmn;
        m_serial = other.m_serial;
        m_user_serial = other.m_user_serial;
        m_storage = std::move(other.m_storage);
    }
    return *this;
}

IAB_VMN_File::~IAB_VMN_File() = default;

const IAB_VMN_File::Storage& IAB_VMN_File::storage() const
{
    static const Storage none;
    return m_storage ? *m_storage : none;
}

void IAB_VMN_File::Init(std::istream& stream, ProgressCallback& progress)
{
    progress.setTextId(static_cast<std::uint32_t>(IV_File_Reader::s_reading_file_page_text_id));
    progress.setRange(10000, 0, 1);
    progress.setPosition(0);

    // The pages come in large chunks; a walk that stops before the end of the stream puts the
    // stream back after the last page it took, as reading page by page would leave it.
    PageStream pages(stream);
    struct RewindUnlessDone {
        PageStream& pages;
        ~RewindUnlessDone() { pages.rewind(); }
    } rewind{pages};
    Storage& kept = *m_storage;
    kept.store.reserveFor(pages.remainingBytes());

    const IAB_VMN_RawPage* raw = pages.next();
    if (!raw) throw std::runtime_error("cannot read file");
    PageCounter counter(progress);
    if (progress.isCancelled()) return;

    std::unique_ptr<IAB_VMN_FileHeader> header;
    while (!(header = decodeConfiguration(*raw, is_vmn))) {
        VELTLogger::warning() << "found page before first header" << std::endl;
        if (!stream.good() || !(raw = pages.next())) throw std::runtime_error("cannot read file first header");
        if (progress.isCancelled()) return;
        counter.pageRead();
    }

    std::string expected_name = expectedDataName(*header);
    kept.starts.push_back({std::move(header)});

    while (stream.good()) {
        raw = pages.next();
        if (!raw) {
            VELTLogger::debug() << "page " << counter.pages() << " from file: \"" << getPath() << "\" is not complete" << std::endl;
            break;
        }
        if (progress.isCancelled()) break;
        counter.pageRead();
        if (raw->bytes[0] == static_cast<unsigned char>(IAB_VMN_PageHeader::s_ctrl_raw)) {
            appendDataPage(*raw, expected_name);
        } else if ((header = decodeConfiguration(*raw, is_vmn))) {
            expected_name = expectedDataName(*header);
            kept.starts.push_back({std::move(header)});
        }
    }
    kept.store.finish();
    kept.page_objects = OnDemandSlots<IAB_VMN_FileData>(kept.store.pages());
}

std::int32_t IAB_VMN_File::dataPageDate(const IAB_VMN_RawPage& raw) const
{
    const std::int32_t date = raw.signedWord(3);
    // Only voltage recordings with dates from before the GPS roll-over fix can be moved; the
    // page header decides for those few.
    if (!is_vmn || date < 0 || date >= IAB_VMN_PageHeader::s_date_comp_bug_gps) return date;
    return static_cast<std::int32_t>(IAB_VMN_PageHeader(raw, true).get_date());
}

void IAB_VMN_File::appendDataPage(const IAB_VMN_RawPage& raw, const std::string& expected_name)
{
    std::vector<Start_>& starts = m_storage->starts;
    IAB_VMN_SampleStore& store = m_storage->store;
    if (!expected_name.empty() && pageName(raw) != expected_name)
        throw std::logic_error("corrupted file : header and data are not related");
    const std::uint32_t head = raw.word(fullwave_blocks::kFirstWord);
    const unsigned int channels = fullwave_blocks::channelsOf(head);
    // A page whose blocks do not match the header's channel count is dropped silently.
    if (channels != starts.back().header->get_n_channel()) return;

    const std::uint32_t first = fullwave_blocks::numberOf(head);
    if (starts.back().n_pages == 0) {
        if (first > 1) throw std::logic_error("corrupted file : sample numbering does not start at 0 or 1");
    } else {
        const Start_& current = starts.back();
        const std::uint64_t next = std::uint64_t{current.first_number} + current.n_samples;
        if (first < next) throw std::logic_error("corrupted file : samples do not follow each others");
        // A gap in the numbering: the samples after it form a new start of the same set-up.
        if (first > next) starts.push_back({std::make_unique<IAB_VMN_FileHeader>(*current.header)});
    }

    Start_& s = starts.back();
    if (s.n_pages == 0) {
        store.beginRun(channels);
        s.first_page = store.pages();
        s.first_sample = store.samples();
        s.first_value = store.values();
        s.first_number = first;
        s.n_channels = channels;
    }
    s.n_samples += store.append(raw, dataPageDate(raw));
    ++s.n_pages;
}
