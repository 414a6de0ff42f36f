#pragma once

#include <fullwave/IAB_VMN_RawPage.h>
#include <writers/Bytes.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// Full-wave recordings written page by page, 528 bytes each: a 16-byte header (kind byte,
// 11-byte zero-padded name, signed 32-bit date) and a body of 128 little-endian words. The
// tests, the fuzz seeds and the meter simulator all make their recordings here.
namespace ertkit_writers {

// The set-up a configuration page carries.
struct ConfigFields {
    std::string name = "RAW_CONFIG";
    std::int32_t date = 1700000000;
    std::array<std::pair<float, float>, 13> electrodes{};
    float gps_lat = 4530.25f;
    float gps_long = -12.5f;
    float in_rx = 1.25f;
    std::uint32_t n_channel = 3;
    std::int32_t input_voltage = 1;
    float gmt_offset = 0.0f;
    float gps_altitude = 120.5f;
    std::pair<float, float> move{2.0f, -3.0f};
    std::int32_t data_n_10_ms = 0;
    std::int32_t config = 0;
    std::int32_t multi_tx_key = 0;
    std::int32_t time_set = 0;
    std::array<float, 2> rs{1.5f, 2.5f};
    std::uint16_t bat = 125;
    std::int16_t temp = 23;
};

// One sample block of a data page.
struct Block {
    std::uint32_t n_10_ms = 0;
    std::vector<float> values;
    bool pps = false;
    bool flag = false;
};

IAB_VMN_RawPage configPage(const ConfigFields& fields);
// A data page holding the given blocks one after another from word 4, as many as fit
// (the rest zero).
IAB_VMN_RawPage dataPage(const std::vector<Block>& blocks, const std::string& name = "RAW", std::int32_t date = 1700000000);
// A data page of `count` blocks of `channels` values numbered from `first`; value(k, c) fills
// channel c of block k, and every block whose number is a multiple of 100 carries the PPS.
IAB_VMN_RawPage dataPage(std::uint32_t first, unsigned int count, unsigned int channels,
                         const std::function<float(std::uint32_t sample, unsigned int channel)>& value,
                         std::int32_t date = 1700000000);
// A page of any kind with a zero body.
IAB_VMN_RawPage otherPage(char ctrl, const std::string& name, std::int32_t date = 1700000000);
// How many blocks of `channels` values fit in one page.
unsigned int blocksPerPage(unsigned int channels);

// A recording as bytes, page after page.
class RecordingBuilder {
public:
    RecordingBuilder& page(const IAB_VMN_RawPage& page);
    // A configuration page followed by data pages of consecutive samples numbered from `first`.
    // The data pages carry the configuration page's date.
    RecordingBuilder& start(const ConfigFields& fields, std::uint32_t first, std::uint64_t samples,
                            const std::function<float(std::uint32_t, unsigned int)>& value);
    // Data pages of consecutive samples numbered from `first`, without a configuration page.
    RecordingBuilder& samples(std::int32_t date, unsigned int channels, std::uint32_t first, std::uint64_t samples,
                              const std::function<float(std::uint32_t, unsigned int)>& value);
    RecordingBuilder& bytes(std::size_t count, std::uint8_t value = 0xAB);
    // Drops the last `count` bytes (a recording cut short).
    RecordingBuilder& cut(std::size_t count);

    const std::vector<std::uint8_t>& data() const { return m_bytes.data(); }
    std::string str() const { return std::string(data().begin(), data().end()); }
    void save(const std::string& path) const { m_bytes.save(path); }

private:
    Bytes m_bytes;
};

} // namespace ertkit_writers
