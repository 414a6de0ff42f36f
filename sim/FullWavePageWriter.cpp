#include <sim/FullWavePageWriter.h>

#include <cstring>

namespace ertkit_sim {

using namespace ertkit_writers;

void FullWavePageWriter::page(char ctrl, const std::string& name, std::int32_t date)
{
    m_recording.page(otherPage(ctrl, name, date));
}

void FullWavePageWriter::configPage(std::int32_t date, const ReceiverSetup& setup)
{
    ConfigFields fields;
    fields.date = date;
    for (std::size_t row = 0; row < fields.electrodes.size(); ++row)
        fields.electrodes[row] = setup.electrodes ? (*setup.electrodes)[row]
                                                  : std::pair<float, float>(setup.electrode_spacing * static_cast<float>(row), 0.0f);
    fields.gps_lat = setup.gps_lat;
    fields.gps_long = setup.gps_long;
    fields.in_rx = setup.in_rx;
    fields.n_channel = setup.n_channel;
    fields.input_voltage = setup.input_voltage;
    fields.gmt_offset = setup.gmt_offset;
    fields.gps_altitude = setup.gps_altitude;
    fields.move = {0.0f, 0.0f};
    fields.config = setup.config;
    fields.rs = {0.0f, 0.0f};
    fields.bat = setup.bat;
    fields.temp = setup.temp;
    m_recording.page(ertkit_writers::configPage(fields));
}

void FullWavePageWriter::dataPages(std::int32_t date, std::uint32_t n_channel, std::uint32_t first_sample,
                                   std::uint32_t samples, const SampleValue& value)
{
    m_recording.samples(date, n_channel, first_sample, samples, value);
}

void FullWavePageWriter::measurePage(const TarvexKesta_File::TZMeasure& measure)
{
    IAB_VMN_RawPage page = otherPage(TarvexKesta_File::CTRL_USED, std::string(), 0);
    std::memcpy(page.bytes + 1, measure.head.name, 11);
    std::memcpy(page.bytes + 12, &measure.time_stamp, sizeof measure.time_stamp);
    std::memcpy(page.bytes + 16, reinterpret_cast<const std::uint8_t*>(&measure) + TarvexKesta_File::TZMeasure::s_summed_offset,
                TarvexKesta_File::TZMeasure::s_summed_size);
    m_recording.page(page);
}

void FullWavePageWriter::emptySlotPage()
{
    page(TarvexKesta_File::CTRL_USED, TarvexKesta_File::NO_DATA_STORED, 0);
}

void FullWavePageWriter::cut(std::size_t bytes)
{
    m_recording.cut(bytes);
}

} // namespace ertkit_sim
