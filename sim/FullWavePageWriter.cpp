#include <sim/FullWavePageWriter.h>

#include <algorithm>
#include <cstring>

namespace ertkit_sim {

namespace {

template <typename T>
void put(std::uint8_t* page, std::size_t offset, T value)
{
    std::memcpy(page + offset, &value, sizeof(T));
}

} // namespace

std::uint8_t* FullWavePageWriter::newPage(char ctrl, const std::string& name, std::int32_t date)
{
    m_bytes.resize(m_bytes.size() + s_page_size, 0);
    std::uint8_t* page = m_bytes.data() + m_bytes.size() - s_page_size;
    page[0] = static_cast<std::uint8_t>(ctrl);
    std::memcpy(page + 1, name.data(), std::min<std::size_t>(name.size(), 11));
    put(page, 12, date);
    return page;
}

void FullWavePageWriter::page(char ctrl, const std::string& name, std::int32_t date)
{
    newPage(ctrl, name, date);
}

void FullWavePageWriter::configPage(std::int32_t date, const ReceiverSetup& setup)
{
    std::uint8_t* page = newPage('C', "RAW_CONFIG", date);
    for (std::size_t row = 0; row < 13; ++row) {
        const auto position = setup.electrodes ? (*setup.electrodes)[row]
                                               : std::pair<float, float>(setup.electrode_spacing * static_cast<float>(row), 0.0f);
        put(page, 16 + 8 * row, position.first);
        put(page, 20 + 8 * row, position.second);
    }
    put(page, 120, setup.gps_lat);
    put(page, 124, setup.gps_long);
    put(page, 128, setup.in_rx);
    put(page, 132, setup.n_channel);
    put(page, 136, setup.input_voltage);
    put(page, 140, setup.gmt_offset);
    put(page, 144, setup.gps_altitude);
    put(page, 160, setup.config);
    put(page, 180, setup.bat);
    put(page, 182, setup.temp);
}

void FullWavePageWriter::dataPages(std::int32_t date, std::uint32_t n_channel, std::uint32_t first_sample,
                                   std::uint32_t samples, const SampleValue& value)
{
    const std::uint32_t per_page = samplesPerPage(n_channel);
    for (std::uint32_t done = 0; done < samples;) {
        std::uint8_t* page = newPage('R', "RAW", date);
        std::size_t offset = s_header_size;
        for (std::uint32_t k = 0; k < per_page && done < samples; ++k, ++done) {
            const std::uint32_t sample = first_sample + done;
            put(page, offset, (sample % 100 == 0 ? 1u : 0u) | (n_channel & 0xFu) << 4 | sample << 8);
            offset += 4;
            for (std::uint32_t c = 0; c < n_channel; ++c, offset += 4) put(page, offset, value(sample, c));
        }
    }
}

void FullWavePageWriter::measurePage(const TarvexKesta_File::TZMeasure& measure)
{
    std::uint8_t* page = newPage(TarvexKesta_File::CTRL_USED, std::string(), 0);
    std::memcpy(page + 1, measure.head.name, 11);
    put(page, 12, measure.time_stamp);
    std::memcpy(page + s_header_size,
                reinterpret_cast<const std::uint8_t*>(&measure) + TarvexKesta_File::TZMeasure::s_summed_offset,
                TarvexKesta_File::TZMeasure::s_summed_size);
}

void FullWavePageWriter::emptySlotPage()
{
    newPage(TarvexKesta_File::CTRL_USED, TarvexKesta_File::NO_DATA_STORED, 0);
}

void FullWavePageWriter::cut(std::size_t bytes)
{
    m_bytes.resize(m_bytes.size() - std::min(bytes, m_bytes.size()));
}

} // namespace ertkit_sim
