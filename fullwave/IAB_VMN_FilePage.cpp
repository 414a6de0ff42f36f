#include <fullwave/IAB_VMN_FilePage.h>

#include <fullwave/BlockRun.h>

#include <host/VELTLogger.h>

#include <cmath>
#include <cstring>
#include <stdexcept>


namespace {

constexpr unsigned int kLastWord = IAB_VMN_RawPage::s_size_in_int - 1;

} // namespace

// ---- IAB_VMN_FilePage ----

IAB_VMN_FilePage::IAB_VMN_FilePage(std::unique_ptr<IAB_VMN_PageHeader> header, bool complete)
    : m_header(std::move(header)), m_complete(complete)
{
}

IAB_VMN_FilePage::IAB_VMN_FilePage(const IAB_VMN_FilePage& other)
    : m_header(std::make_unique<IAB_VMN_PageHeader>(*other.m_header)), m_complete(other.m_complete)
{
}

IAB_VMN_FilePage& IAB_VMN_FilePage::operator=(const IAB_VMN_FilePage& other)
{
    if (this != &other) {
        m_header = std::make_unique<IAB_VMN_PageHeader>(*other.m_header);
        m_complete = other.m_complete;
    }
    return *this;
}

IAB_VMN_FilePage::~IAB_VMN_FilePage() = default;

IAB_VMN_FilePage* IAB_VMN_FilePage::buildPage(const IAB_VMN_RawPage& raw, bool complete, bool is_vmn)
{
    auto header = std::make_unique<IAB_VMN_PageHeader>(raw, is_vmn);
    if (header->isRawCfg()) return new IAB_VMN_FileHeader(std::move(header), complete, raw);
    if (header->isRaw()) return new IAB_VMN_FileData(std::move(header), complete, raw);
    // A measure page is known, though not read here: say what it is rather than "unknown".
    if (header->isMeasure())
        VELTLogger::warning() << "passed over a measure page (a measure's results, not samples), name=" << VELTLogger::oneLine(header->get_name()) << std::endl;
    else
        VELTLogger::warning() << "found unknown page type, ctrl=" << VELTLogger::oneLine(std::string(1, header->get_ctrl()))
                              << ", name=" << VELTLogger::oneLine(header->get_name()) << std::endl;
    return new IAB_VMN_FileDummy(std::move(header), complete, raw);
}

// ---- IAB_VMN_FileHeader ----

IAB_VMN_FileHeader::IAB_VMN_FileHeader(std::unique_ptr<IAB_VMN_PageHeader> header, bool complete, const IAB_VMN_RawPage& raw)
    : IAB_VMN_FilePage(std::move(header), complete)
{
    if (!get_header().isRawCfg()) throw std::invalid_argument("the given page does not correspond to an IAB or VMN file header");
    for (unsigned int row = 0; row < s_positions_n; ++row)
        electrodes_offsets[row] = {raw.floatWord(4 + 2 * row), raw.floatWord(5 + 2 * row)};
    gps_lat = raw.floatWord(30);
    gps_long = raw.floatWord(31);
    in_rx = raw.floatWord(32);
    n_channel = raw.word(33);
    input_voltage = raw.signedWord(34);
    gmt_offset = raw.floatWord(35);
    gps_altitude = raw.floatWord(36);
    move = {raw.floatWord(37), raw.floatWord(38)};
    data_n_10_ms = raw.signedWord(39);
    config = raw.signedWord(40);
    multi_tx_key = raw.signedWord(41);
    time_set = raw.signedWord(42);
    rs = {raw.floatWord(43), raw.floatWord(44)};
    bat = raw.half(180);
    temp = static_cast<std::int16_t>(raw.half(182));
}

const std::pair<float, float>& IAB_VMN_FileHeader::get_electrodes_offsets(unsigned int row) const
{
    if (row >= s_positions_n) throw std::out_of_range("electrode position row out of range");
    return electrodes_offsets[row];
}

float IAB_VMN_FileHeader::get_rs(unsigned int i) const
{
    if (bat == 0) return 0.0f;
    if (i >= rs.size()) throw std::out_of_range("rs check index out of range");
    return rs[i];
}

// ---- IAB_VMN_PageData ----

IAB_VMN_PageData::IAB_VMN_PageData(const IAB_VMN_RawPage& raw, unsigned int word_index)
{
    if (word_index > kLastWord) throw std::out_of_range("block starts past the end of the page");
    const std::uint32_t first = raw.word(word_index);
    has_PPS = first & 1u;
    flag = (first >> 1) & 1u;
    n_channel = static_cast<unsigned char>(fullwave_blocks::channelsOf(first));
    n_10_ms = fullwave_blocks::numberOf(first);
    // A block that would run past the page is refused rather than read beyond it.
    if (word_index + n_channel > kLastWord) throw std::out_of_range("block runs past the end of the page");
    // The stored floats are little-endian like the host: the block's values copy as they stand.
    std::memcpy(values.data(), raw.bytes + 4 * (word_index + 1), sizeof(float) * n_channel);
}

void IAB_VMN_PageData::computeOverloads(double max)
{
    overloads |= overloadBits(values.data(), n_channel, max);
}

// ---- IAB_VMN_FileData ----

IAB_VMN_FileData::IAB_VMN_FileData(std::unique_ptr<IAB_VMN_PageHeader> header, bool complete, const IAB_VMN_RawPage& raw)
    : IAB_VMN_FilePage(std::move(header), complete)
{
    if (!get_header().isRaw()) throw std::invalid_argument("the given page does not correspond to an IAB or VMN data page");
    const unsigned int n = fullwave_blocks::channelsOf(raw.word(fullwave_blocks::kFirstWord));
    fullwave_blocks::withChannelCount(n, [&](auto channels) {
        m_data.reserve(fullwave_blocks::visitRun<channels>(raw, [](unsigned int, std::uint32_t, unsigned int) {}));
        fullwave_blocks::visitRun<channels>(raw, [&](unsigned int, std::uint32_t, unsigned int word) { m_data.emplace_back(raw, word); });
    });
}

void IAB_VMN_FileData::computeOverloads(double max)
{
    for (auto& block : m_data) block.computeOverloads(max);
}

// ---- IAB_VMN_FileDummy ----

IAB_VMN_FileDummy::IAB_VMN_FileDummy(std::unique_ptr<IAB_VMN_PageHeader> header, bool complete, const IAB_VMN_RawPage& /*raw*/)
    : IAB_VMN_FilePage(std::move(header), complete)
{
}
