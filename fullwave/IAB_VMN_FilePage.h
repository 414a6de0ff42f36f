#pragma once

#include <fullwave/IAB_VMN_PageHeader.h>
#include <fullwave/IAB_VMN_RawPage.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

// A decoded page of a full-wave recording: a configuration page (IAB_VMN_FileHeader), a
// data page (IAB_VMN_FileData) or a page of unknown kind (IAB_VMN_FileDummy).
class IAB_VMN_FilePage {
public:
    IAB_VMN_FilePage(std::unique_ptr<IAB_VMN_PageHeader> header, bool complete);
    IAB_VMN_FilePage(const IAB_VMN_FilePage& other);
    IAB_VMN_FilePage(IAB_VMN_FilePage&&) noexcept = default;
    IAB_VMN_FilePage& operator=(const IAB_VMN_FilePage& other);
    IAB_VMN_FilePage& operator=(IAB_VMN_FilePage&&) noexcept = default;
    virtual ~IAB_VMN_FilePage() = 0;

    // Decodes a page into the class its ctrl byte selects; the caller owns the result.
    // Dates are corrected for the GPS roll-over in voltage recordings only.
    static IAB_VMN_FilePage* buildPage(const IAB_VMN_RawPage& raw, bool complete, bool is_vmn);

    const IAB_VMN_PageHeader& get_header() const { return *m_header; }
    bool get_complete() const { return m_complete; }

private:
    std::unique_ptr<IAB_VMN_PageHeader> m_header;
    bool m_complete;
};

// A configuration page: the receiver set-up of the samples that follow it.
class IAB_VMN_FileHeader : public IAB_VMN_FilePage {
public:
    static constexpr double s_half_range = 4980.0;
    static constexpr double s_full_range = 14980.0;

    IAB_VMN_FileHeader(std::unique_ptr<IAB_VMN_PageHeader> header, bool complete, const IAB_VMN_RawPage& raw);

    int get_config() const { return config; }
    int get_time_set() const { return time_set; }
    int get_data_n_10_ms() const { return data_n_10_ms; }
    std::uint16_t get_bat() const { return bat; }
    std::int16_t get_temp() const { return temp; }
    int get_input_voltage() const { return input_voltage; }
    float get_in_rx() const { return in_rx; }
    float get_gps_lat() const { return gps_lat; }
    float get_gps_long() const { return gps_long; }
    float get_gps_altitude() const { return gps_altitude; }
    float get_gmt_offset() const { return gmt_offset; }
    int get_multi_tx_key() const { return multi_tx_key; }
    std::pair<float, float> get_move() const { return move; }
    std::uint32_t get_n_channel() const { return n_channel; }
    // The input range of the samples: full range when input_voltage is non-zero.
    double get_max_rx() const { return input_voltage != 0 ? s_full_range : s_half_range; }
    // Row 0-12 of the electrode position table; std::out_of_range beyond.
    const std::pair<float, float>& get_electrodes_offsets(unsigned int row) const;
    // 0.0 when bat is 0 (no check was made); std::out_of_range for i above 1 otherwise.
    float get_rs(unsigned int i) const;

private:
    static constexpr unsigned int s_positions_n = 13;

    std::array<std::pair<float, float>, s_positions_n> electrodes_offsets{};
    float gps_lat = 0;
    float gps_long = 0;
    float in_rx = 0;
    std::uint32_t n_channel = 0;
    int input_voltage = 0;
    float gmt_offset = 0;
    float gps_altitude = 0;
    std::pair<float, float> move{};
    int data_n_10_ms = 0;
    int config = 0;
    int multi_tx_key = 0;
    int time_set = 0;
    std::array<float, 2> rs{};
    std::uint16_t bat = 0;
    std::int16_t temp = 0;
};

// One sample block of a data page: one value per channel taken at the same 10 ms tick.
// Values and overload flags are held inline (at most 15 channels), so decoding a page
// allocates nothing per block.
class IAB_VMN_PageData {
public:
    static constexpr unsigned int s_max_channels = 15;

    // Decodes the block whose first word is word_index; the caller keeps the block within the page.
    IAB_VMN_PageData(const IAB_VMN_RawPage& raw, unsigned int word_index);

    bool get_has_PPS() const { return has_PPS; }
    bool get_flag() const { return flag; }
    unsigned char get_n_channel() const { return n_channel; }
    unsigned int get_n_10_ms() const { return n_10_ms; }
    // A channel past the widest block (15) throws std::out_of_range instead of reading
    // beyond the block; channels between the block's count and 15 read as 0.
    float get_value(unsigned int c) const { return values.at(c); }
    bool get_overload(unsigned int c) const
    {
        if (c >= s_max_channels) throw std::out_of_range("channel past the widest block");
        return (overloads >> c) & 1u;
    }
    // Flags channels at or above the input range, and channels 1.. whose signed sum reaches
    // the full range; flags are only ever set.
    void computeOverloads(double max);
    // The overload rule on one sample's values: bit c set when channel c is overloaded.
    static inline std::uint16_t overloadBits(const float* values, unsigned int n_channel, double max);

private:
    std::array<float, s_max_channels> values{};
    std::uint32_t n_10_ms = 0;
    std::uint16_t overloads = 0;
    unsigned char n_channel = 0;
    bool has_PPS = false;
    bool flag = false;
};

std::uint16_t IAB_VMN_PageData::overloadBits(const float* values, unsigned int n_channel, double max)
{
    if (n_channel == 0) return 0;
    std::uint16_t bits = std::fabs(values[0]) >= max ? 1u : 0u;
    double sum = 0.0;
    for (unsigned int c = 1; c < n_channel; ++c) {
        if (std::fabs(values[c]) >= max) bits |= static_cast<std::uint16_t>(1u << c);
        sum += values[c];
    }
    // The potential electrodes form one chain: their channels add up to the full span, which
    // overloads all of them together whatever the page's own range.
    if (std::fabs(sum) >= IAB_VMN_FileHeader::s_full_range) bits |= static_cast<std::uint16_t>(((1u << n_channel) - 1u) & ~1u);
    return bits;
}

// A data page: the run of sample blocks it carries, in page order.
class IAB_VMN_FileData : public IAB_VMN_FilePage {
public:
    IAB_VMN_FileData(std::unique_ptr<IAB_VMN_PageHeader> header, bool complete, const IAB_VMN_RawPage& raw);

    unsigned int dataSize() const { return static_cast<unsigned int>(m_data.size()); }
    const std::vector<IAB_VMN_PageData>& getData() const { return m_data; }
    const IAB_VMN_PageData& getData(unsigned int i) const { return m_data.at(i); }
    void computeOverloads(double max);

private:
    std::vector<IAB_VMN_PageData> m_data;
};

// A page of a kind the reader does not know (measure pages of raw downloads among them).
class IAB_VMN_FileDummy : public IAB_VMN_FilePage {
public:
    IAB_VMN_FileDummy(std::unique_ptr<IAB_VMN_PageHeader> header, bool complete, const IAB_VMN_RawPage& raw);
};
