#include <host/TimesSeriesContainer.h>

#include <stdexcept>

TimesSeriesContainer::TimesSeriesContainer(std::uint64_t n_sample, std::uint64_t n_chan)
    : m_n_sample(n_sample), m_n_chan(n_chan), m_data(n_sample * n_chan, 0.0), m_pps(n_sample, false)
{
}

void TimesSeriesContainer::setData(std::uint64_t sample, std::uint64_t channel, double value)
{
    if (sample >= m_n_sample || channel >= m_n_chan) throw std::out_of_range("sample or channel out of the container");
    m_data[sample * m_n_chan + channel] = value;
}

void TimesSeriesContainer::setPPS(std::uint64_t sample, bool pps)
{
    if (sample >= m_n_sample) throw std::out_of_range("sample out of the container");
    m_pps[sample] = pps;
}

double TimesSeriesContainer::getData(std::uint64_t sample, std::uint64_t channel) const
{
    if (sample >= m_n_sample || channel >= m_n_chan) throw std::out_of_range("sample or channel out of the container");
    return m_data[sample * m_n_chan + channel];
}

bool TimesSeriesContainer::getPPS(std::uint64_t sample) const
{
    if (sample >= m_n_sample) throw std::out_of_range("sample out of the container");
    return m_pps[sample];
}
