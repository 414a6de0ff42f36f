#pragma once

#include <download/TarvexKesta_File.h>
#include <writers/FullWavePages.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <string>
#include <vector>

namespace ertkit_sim {

// Receiver set-up written into a configuration page.
struct ReceiverSetup {
    std::uint32_t n_channel = 3;
    std::int32_t input_voltage = 1;    // non-zero: full input range
    float electrode_spacing = 5.0f;    // row r of the position table sits at (r * spacing, 0)
    // The position table itself (rows 0 and 1 the current electrodes, then the chain of
    // potential electrodes), instead of the spacing rule.
    std::optional<std::array<std::pair<float, float>, 13>> electrodes;
    float gps_lat = 4530.0f;           // sexagesimal, as receivers store it
    float gps_long = 230.0f;
    float gps_altitude = 150.0f;
    float in_rx = 0.5f;
    float gmt_offset = 1.0f;
    std::int32_t config = 0;
    std::uint16_t bat = 124;           // tenths of a volt
    std::int16_t temp = 25;
};

// Writes the full-wave recordings a meter sends, on top of the pages of ertkit_writers:
//  - configuration page: kind 'C', name "RAW_CONFIG", the receiver set-up;
//  - data pages: kind 'R', name "RAW", consecutive sample blocks, the PPS on every hundredth;
//  - measure page: kind 0x55, the measure name in bytes 1-11, its time stamp in bytes 12-15 and
//    the summed part of the record (record bytes 12-271) from byte 16 on.
class FullWavePageWriter {
public:
    static constexpr std::size_t s_page_size = IAB_VMN_RawPage::s_size_in_bytes;
    using SampleValue = std::function<float(std::uint32_t sample, std::uint32_t channel)>;

    void configPage(std::int32_t date, const ReceiverSetup& setup);
    // As many data pages as `samples` needs, numbered from `first_sample`; the PPS flag falls on
    // every hundredth sample.
    void dataPages(std::int32_t date, std::uint32_t n_channel, std::uint32_t first_sample, std::uint32_t samples,
                   const SampleValue& value);
    void measurePage(const TarvexKesta_File::TZMeasure& measure);
    // A measure page whose name is eleven 0xFF bytes: an empty memory slot.
    void emptySlotPage();
    // A page of any kind with a zero body.
    void page(char ctrl, const std::string& name, std::int32_t date);
    // Drops the last `bytes` bytes (a recording cut short).
    void cut(std::size_t bytes);

    static std::uint32_t samplesPerPage(std::uint32_t n_channel) { return ertkit_writers::blocksPerPage(n_channel); }
    const std::vector<std::uint8_t>& bytes() const { return m_recording.data(); }

private:
    ertkit_writers::RecordingBuilder m_recording;
};

} // namespace ertkit_sim
