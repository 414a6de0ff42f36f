#include <sim/MeterMemory.h>

#include <sim/FullWavePageWriter.h>

#include <cstring>

namespace ertkit_sim {

namespace {

constexpr std::uint32_t s_first_time_stamp = 1700000000;

std::uint32_t samplesPerRawMeasure()
{
    return 2 * FullWavePageWriter::samplesPerPage(ReceiverSetup{}.n_channel);
}

void fillHead(TarvexKesta_File::TMeasureHead& head, std::uint32_t index)
{
    std::string name = "L";
    name += std::to_string(index % 1000);
    name += "-M";
    name += std::to_string(index);
    head.setName(name);
    head.flags = static_cast<std::uint16_t>((index % 10) | ((index % 3) << 4) | ((index % 2) << 8) |
                                            ((index % 5 == 0) ? 0x400 : 0) | ((index % 7 == 0) ? 0x800 : 0));
    head.quadrupole = static_cast<std::uint16_t>(index + 1);
    head.array_code = static_cast<std::int32_t>(1 + index % 6);
    head.injection_time = static_cast<std::uint16_t>(200 + index);
    head.delay = static_cast<std::uint16_t>(2 + index % 4);
    for (int w = 0; w < TarvexKesta_File::M_WINDOW; ++w) head.windows[w] = static_cast<std::uint16_t>(4 + w + index % 3);
    head.gps_x = 4530.25f + static_cast<float>(index) * 0.01f;
    head.gps_y = -230.5f - static_cast<float>(index) * 0.01f;
}

template <typename Record>
void fillResults(Record& record, std::uint32_t index)
{
    const float x = static_cast<float>(index);
    record.aux_real2 = 0.5f + x;
    record.deviation = 0.1f * (x + 1.0f);
    record.stacks = 4.0f + x;
    record.rs_check = 1.2f + x;
    record.sp = -12.5f + x;
    record.vp = 250.0f + 3.0f * x;
    record.current = 100.0f + x;
    record.m = (index % 4 == 0) ? 0.0f : 8.0f + x;
    for (int w = 0; w < TarvexKesta_File::M_WINDOW; ++w) record.mppx[w] = record.m * (1.0f - 0.04f * static_cast<float>(w));
}

} // namespace

float MeterMemory::sampleValue(std::uint32_t sample, std::uint32_t channel)
{
    return static_cast<float>(static_cast<int>(sample % 200) - 100) * (10.0f + static_cast<float>(channel));
}

bool MeterMemory::isRaw() const
{
    return version == static_cast<std::uint32_t>(TarvexKesta_File::RAW_DOWNLOAD_VERSION) ||
           version == static_cast<std::uint32_t>(TarvexKesta_File::CURRAW_DOWNLOAD_VERSION);
}

std::uint32_t MeterMemory::sizeWord() const
{
    if (isRaw()) return FullWavePageWriter::s_page_size;
    return version == 1 ? TarvexKesta_File::TMeasure::s_summed_size : TarvexKesta_File::TZMeasure::s_summed_size;
}

TarvexKesta_File::TMeasure MeterMemory::demoMeasure(std::uint32_t index)
{
    TarvexKesta_File::TMeasure measure{};
    fillHead(measure.head, index);
    for (int i = 0; i < 8; ++i) measure.electrodes[i] = static_cast<float>(index) * 5.0f + static_cast<float>(i);
    fillResults(measure, index);
    return measure;
}

TarvexKesta_File::TZMeasure MeterMemory::demoZMeasure(std::uint32_t index)
{
    TarvexKesta_File::TZMeasure measure{};
    fillHead(measure.head, index);
    for (int i = 0; i < 12; ++i) measure.electrodes[i] = static_cast<float>(index) * 5.0f + static_cast<float>(i) * 0.5f;
    fillResults(measure, index);
    measure.vab = 400.0f + static_cast<float>(index);
    measure.tx_bat = 12.5f;
    measure.rx_bat = 12.1f;
    measure.rx_temp = 31.0f + static_cast<float>(index % 5);
    measure.time_stamp = s_first_time_stamp + 60 * index;
    return measure;
}

TarvexKesta_File::TMeasure MeterMemory::emptyMeasure()
{
    TarvexKesta_File::TMeasure measure{};
    measure.head.setName(TarvexKesta_File::NO_DATA_STORED);
    return measure;
}

TarvexKesta_File::TZMeasure MeterMemory::emptyZMeasure()
{
    TarvexKesta_File::TZMeasure measure{};
    measure.head.setName(TarvexKesta_File::NO_DATA_STORED);
    return measure;
}

MeterMemory MeterMemory::records(std::uint32_t version, std::uint32_t count, std::uint32_t empty_every)
{
    MeterMemory memory;
    memory.version = version;
    for (std::uint32_t k = 0; k < count; ++k) {
        const bool empty = empty_every != 0 && (k + 1) % empty_every == 0;
        if (version == 1) memory.measures.push_back(empty ? emptyMeasure() : demoMeasure(k));
        else memory.zmeasures.push_back(empty ? emptyZMeasure() : demoZMeasure(k));
    }
    return memory;
}

TarvexKesta_File::TZMeasure MeterMemory::rawZMeasure(std::uint32_t index)
{
    // In the receivers' time base: the page date less the receiver's offset from UTC, as the
    // recording's start time counts it.
    const ReceiverSetup setup;
    const auto utc_start = static_cast<std::uint32_t>(static_cast<std::int32_t>(s_first_time_stamp) -
                                                      static_cast<std::int32_t>(setup.gmt_offset * 3600.0f) - 1);
    TarvexKesta_File::TZMeasure measure = demoZMeasure(index);
    measure.time_stamp = utc_start + index * samplesPerRawMeasure() / 100; // 10 ms samples
    return measure;
}

MeterMemory MeterMemory::rawTransfer(bool voltage, std::uint32_t measure_count)
{
    MeterMemory memory;
    memory.version = static_cast<std::uint32_t>(voltage ? TarvexKesta_File::RAW_DOWNLOAD_VERSION
                                                        : TarvexKesta_File::CURRAW_DOWNLOAD_VERSION);
    const ReceiverSetup setup;
    const std::int32_t date = static_cast<std::int32_t>(s_first_time_stamp);
    const std::uint32_t samples_per_measure = samplesPerRawMeasure();
    FullWavePageWriter writer;
    writer.configPage(date, setup);
    for (std::uint32_t k = 0; k < measure_count; ++k) {
        writer.dataPages(date, setup.n_channel, k * samples_per_measure, samples_per_measure, sampleValue);
        writer.measurePage(rawZMeasure(k));
    }
    writer.emptySlotPage();
    memory.raw = writer.bytes();
    return memory;
}

} // namespace ertkit_sim
