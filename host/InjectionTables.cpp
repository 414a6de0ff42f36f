#include <host/InjectionTables.h>

InjectionPeriodData::InjectionPeriodData(HighPrecisionTime pulse, HighPrecisionTime v_delay, HighPrecisionTime v_end)
    : m_pulse(pulse), m_v_delay(v_delay), m_v_end(v_end)
{
}

std::uint64_t InjectionPeriodData::getVDelay(const HighPrecisionTime& sample_period) const
{
    return sample_period.ticks() > 0 ? static_cast<std::uint64_t>(m_v_delay / sample_period) : 0;
}

std::uint64_t InjectionPeriodData::getVEnd(const HighPrecisionTime& sample_period) const
{
    return sample_period.ticks() > 0 ? static_cast<std::uint64_t>(m_v_end / sample_period) : 0;
}

std::shared_ptr<InjectionPeriodData> InjectionFrequencyList::get8s()
{
    static const auto cycle = std::make_shared<InjectionPeriodData>(
        HighPrecisionTime::s_second * 2, HighPrecisionTime::s_second, HighPrecisionTime::s_second * 2);
    return cycle;
}

std::uint64_t InjectionData::getDutyCycleFactor(InjectionType type)
{
    return type == InjectionType::FullDutyCycle ? 2 : 4;
}
