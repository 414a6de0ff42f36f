#include <generators/SampleMeasures.h>

#include <services/ReceiverTime.h>

#include <fmt/format.h>

#include <algorithm>

namespace ertkit::generators {

namespace {

constexpr std::uint16_t s_trigger_sync = 0x400; // a measure synchronised on its trigger: not noisy
constexpr std::uint16_t s_overload = 0x100;

void fillHead(const SampleSurvey& survey, std::size_t index, TarvexKesta_File::TMeasureHead& head)
{
    const SampleSurvey::Measure& m = survey.measures()[index];
    const bool dipoles = survey.injections()[m.injection].array == SampleSurvey::Array::DipoleDipole;
    head.setName(fmt::format("L1-{}-{:03}", dipoles ? "DD" : "WN", index + 1));
    head.flags = static_cast<std::uint16_t>((m.channel & 0xFu) | s_trigger_sync | (m.overloaded ? s_overload : 0));
    head.quadrupole = static_cast<std::uint16_t>(index + 1);
    head.array_code = dipoles ? 3 : 1;
    head.injection_time = static_cast<std::uint16_t>(SampleSurvey::s_pulse_ms / 10);
    head.delay = static_cast<std::uint16_t>(SampleSurvey::s_delay_ms / SampleSurvey::s_sample_ms);
    for (std::size_t w = 0; w < SampleSurvey::s_window_ms.size(); ++w)
        head.windows[w] = static_cast<std::uint16_t>(SampleSurvey::s_window_ms[w] / SampleSurvey::s_sample_ms);
    head.gps_x = 4530.25f;
    head.gps_y = 230.5f;
}

template <typename Record>
void fillResults(const SampleSurvey& survey, std::size_t index, Record& record)
{
    const SampleSurvey::Measure& m = survey.measures()[index];
    record.deviation = static_cast<float>(m.m_deviation); // of M, which is never 0 here
    record.stacks = 2.0f * static_cast<float>(survey.cycles());
    record.rs_check = 1.8f;
    record.sp = static_cast<float>(m.sp);
    record.vp = static_cast<float>(m.vp);
    record.current = static_cast<float>(survey.injections()[m.injection].current);
    record.m = static_cast<float>(m.m);
    for (std::size_t w = 0; w < m.window_m.size(); ++w) record.mppx[w] = static_cast<float>(m.window_m[w]);
}

// A record of either layout: the head, the results, and the electrodes as (x, y) pairs or
// (x, y, z) triples.
template <typename Record>
Record sampleRecord(const SampleSurvey& survey, std::size_t index, std::size_t coordinates)
{
    Record record{};
    fillHead(survey, index, record.head);
    fillResults(survey, index, record);
    const Quadrupole& q = survey.measures()[index].positions;
    for (std::size_t e = 0; e < 4; ++e) {
        const double xyz[3] = {q[e].x, q[e].y, q[e].z};
        for (std::size_t c = 0; c < coordinates; ++c) record.electrodes[coordinates * e + c] = static_cast<float>(xyz[c]);
    }
    return record;
}

} // namespace

TarvexKesta_File::TMeasure sampleMeasure(const SampleSurvey& survey, std::size_t index)
{
    return sampleRecord<TarvexKesta_File::TMeasure>(survey, index, 2);
}

TarvexKesta_File::TZMeasure sampleZMeasure(const SampleSurvey& survey, std::size_t index)
{
    auto record = sampleRecord<TarvexKesta_File::TZMeasure>(survey, index, 3);
    record.vab = 180.0f;
    record.tx_bat = 12.4f;
    record.rx_bat = 12.1f;
    record.rx_temp = 24.0f;
    const HighPrecisionTime start = survey.injections()[survey.measures()[index].injection].start;
    record.time_stamp = ertkit::receiverSeconds(start);
    return record;
}

ertkit_sim::MeterMemory sampleMeterMemory(const SampleSurvey& survey, std::uint32_t version, std::uint32_t count)
{
    ertkit_sim::MeterMemory memory;
    memory.version = version;
    const std::size_t n = std::min<std::size_t>(count, survey.measures().size());
    for (std::size_t i = 0; i < n; ++i) {
        if (version == 1)
            memory.measures.push_back(sampleMeasure(survey, i));
        else
            memory.zmeasures.push_back(sampleZMeasure(survey, i));
    }
    return memory;
}

} // namespace ertkit::generators
