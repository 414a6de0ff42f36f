#pragma once

#include <writers/Bytes.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ertkit_writers {

// Every stored field of one legacy BIN record, in file order, with the values of an
// ordinary valid record. Indexes 0 and 1 name a current and a voltage recording in the
// default name list of BinFileContents.
struct BinRecordFields {
    std::int16_t disposition_code = 0;
    std::int16_t version = 3;
    float pulse_duration_ms = 2000.0f;
    float delay_ms = 40.0f;
    std::int16_t unused_12 = 0;
    std::int16_t ignore = 0;
    std::array<float, 4> x{0.0f, 30.0f, 10.0f, 20.0f};
    std::array<float, 4> y{};
    std::array<float, 4> z{};
    float spontaneous_potential = 1.5f;
    float polarization_voltage = 250.0f;
    float injected_current = 100.0f;
    float unused_76 = 0.0f;
    float m = 12.5f;
    float unused_84 = 0.0f;
    std::array<float, 20> tm{100.0f, 200.0f};
    std::array<float, 20> window_m{10.0f, 5.0f};
    std::uint8_t channel_byte = 2;
    std::uint8_t flags = 0x04; // not noisy
    std::int16_t unused_250 = 0;
    std::array<char, 12> orig_file{'L', 'I', 'N', 'E', '1', '.', 'S', 'E', 'Q', 0, 0, 0};
    float gps_x = 0.0f;
    float gps_y = 0.0f;
    float stack_stored = 5.0f;
    float rs_check = 1.25f;
    float vab = 48.0f;
    float tx_bat = 124.0f;
    float rx_bat = 118.0f;
    float temperature = 21.5f;
    double start_time = 0.0;
    std::int16_t i_index = 0;
    std::int16_t v_index = 1;
};

// A whole BIN file. The default names are a current and a voltage recording whose names
// carry 2023-12-05 14:30:15.
struct BinFileContents {
    std::uint32_t version = 0x80000004;
    std::uint8_t header_byte = 9;
    std::string header_text = "legacy survey";
    std::string folder = "D:\\survey\\line1";
    std::vector<std::string> names{"in123@120523_143015.iab", "vp123-4567@120523_143015.vmn"};
    std::vector<BinRecordFields> records;
};

// Builds BIN files byte for byte. The library only reads this format; the tests, the fuzz
// seeds and the tool's sample survey make it here.
class BinFileWriter {
public:
    static constexpr std::size_t s_record_size = 308;
    // Offset of the first name entry (the byte after the name count).
    static constexpr std::size_t s_names_offset = 1291;

    static Bytes record(const BinRecordFields& fields);
    // Header, folder, name count and names: everything before the records.
    static Bytes header(const BinFileContents& contents);
    static Bytes file(const BinFileContents& contents);
    static void write(const std::string& path, const BinFileContents& contents);
};

} // namespace ertkit_writers
