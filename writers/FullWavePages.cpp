#include <writers/FullWavePages.h>

#include <algorithm>
#include <cstring>

namespace ertkit_writers {

namespace {

void putWord(IAB_VMN_RawPage& page, unsigned int word, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) page.bytes[4 * word + i] = static_cast<unsigned char>(value >> (8 * i));
}

void putFloat(IAB_VMN_RawPage& page, unsigned int word, float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    putWord(page, word, bits);
}

void putHeader(IAB_VMN_RawPage& page, char ctrl, const std::string& name, std::int32_t date)
{
    page.bytes[0] = static_cast<unsigned char>(ctrl);
    std::memcpy(page.bytes + 1, name.data(), std::min<std::size_t>(name.size(), 11));
    putWord(page, 3, static_cast<std::uint32_t>(date));
}

} // namespace

IAB_VMN_RawPage configPage(const ConfigFields& f)
{
    IAB_VMN_RawPage page;
    putHeader(page, 'C', f.name, f.date);
    for (unsigned int row = 0; row < 13; ++row) {
        putFloat(page, 4 + 2 * row, f.electrodes[row].first);
        putFloat(page, 5 + 2 * row, f.electrodes[row].second);
    }
    putFloat(page, 30, f.gps_lat);
    putFloat(page, 31, f.gps_long);
    putFloat(page, 32, f.in_rx);
    putWord(page, 33, f.n_channel);
    putWord(page, 34, static_cast<std::uint32_t>(f.input_voltage));
    putFloat(page, 35, f.gmt_offset);
    putFloat(page, 36, f.gps_altitude);
    putFloat(page, 37, f.move.first);
    putFloat(page, 38, f.move.second);
    putWord(page, 39, static_cast<std::uint32_t>(f.data_n_10_ms));
    putWord(page, 40, static_cast<std::uint32_t>(f.config));
    putWord(page, 41, static_cast<std::uint32_t>(f.multi_tx_key));
    putWord(page, 42, static_cast<std::uint32_t>(f.time_set));
    putFloat(page, 43, f.rs[0]);
    putFloat(page, 44, f.rs[1]);
    page.bytes[180] = static_cast<unsigned char>(f.bat);
    page.bytes[181] = static_cast<unsigned char>(f.bat >> 8);
    page.bytes[182] = static_cast<unsigned char>(static_cast<std::uint16_t>(f.temp));
    page.bytes[183] = static_cast<unsigned char>(static_cast<std::uint16_t>(f.temp) >> 8);
    return page;
}

IAB_VMN_RawPage dataPage(const std::vector<Block>& blocks, const std::string& name, std::int32_t date)
{
    IAB_VMN_RawPage page;
    putHeader(page, 'R', name, date);
    unsigned int word = 4;
    for (const Block& block : blocks) {
        const auto n = static_cast<std::uint32_t>(block.values.size());
        if (word + n >= IAB_VMN_RawPage::s_size_in_int) break; // what does not fit is left out
        putWord(page, word, block.n_10_ms << 8 | (n & 0xF) << 4 | (block.flag ? 2u : 0u) | (block.pps ? 1u : 0u));
        for (std::uint32_t c = 0; c < n; ++c) putFloat(page, word + 1 + c, block.values[c]);
        word += n + 1;
    }
    return page;
}

IAB_VMN_RawPage dataPage(std::uint32_t first, unsigned int count, unsigned int channels,
                         const std::function<float(std::uint32_t, unsigned int)>& value, std::int32_t date)
{
    std::vector<Block> blocks(count);
    for (unsigned int k = 0; k < count; ++k) {
        blocks[k].n_10_ms = first + k;
        blocks[k].pps = (first + k) % 100 == 0;
        blocks[k].values.resize(channels);
        for (unsigned int c = 0; c < channels; ++c) blocks[k].values[c] = value(first + k, c);
    }
    return dataPage(blocks, "RAW", date);
}

IAB_VMN_RawPage otherPage(char ctrl, const std::string& name, std::int32_t date)
{
    IAB_VMN_RawPage page;
    putHeader(page, ctrl, name, date);
    return page;
}

unsigned int blocksPerPage(unsigned int channels)
{
    return 128 / (channels + 1);
}

RecordingBuilder& RecordingBuilder::page(const IAB_VMN_RawPage& page)
{
    m_bytes.raw(page.bytes, IAB_VMN_RawPage::s_size_in_bytes);
    return *this;
}

RecordingBuilder& RecordingBuilder::start(const ConfigFields& fields, std::uint32_t first, std::uint64_t samples,
                                          const std::function<float(std::uint32_t, unsigned int)>& value)
{
    page(configPage(fields));
    return this->samples(fields.date, fields.n_channel, first, samples, value);
}

RecordingBuilder& RecordingBuilder::samples(std::int32_t date, unsigned int channels, std::uint32_t first, std::uint64_t samples,
                                            const std::function<float(std::uint32_t, unsigned int)>& value)
{
    const unsigned int per_page = blocksPerPage(channels);
    for (std::uint64_t done = 0; done < samples;) {
        const auto count = static_cast<unsigned int>(std::min<std::uint64_t>(per_page, samples - done));
        page(dataPage(first + static_cast<std::uint32_t>(done), count, channels, value, date));
        done += count;
    }
    return *this;
}

RecordingBuilder& RecordingBuilder::bytes(std::size_t count, std::uint8_t value)
{
    m_bytes.data().insert(m_bytes.data().end(), count, value);
    return *this;
}

RecordingBuilder& RecordingBuilder::cut(std::size_t count)
{
    m_bytes.data().resize(m_bytes.size() - std::min(count, m_bytes.size()));
    return *this;
}

} // namespace ertkit_writers
