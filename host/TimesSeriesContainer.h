#pragma once

#include <cstdint>
#include <vector>

// Samples of several channels at one rate, with the GPS pulse-per-second flag of each sample.
class TimesSeriesContainer {
public:
    TimesSeriesContainer(std::uint64_t n_sample, std::uint64_t n_chan);

    void setData(std::uint64_t sample, std::uint64_t channel, double value);
    void setPPS(std::uint64_t sample, bool pps);

    std::uint64_t getNChan() const { return m_n_chan; }
    std::uint64_t getNSample() const { return m_n_sample; }
    double getData(std::uint64_t sample, std::uint64_t channel) const;
    bool getPPS(std::uint64_t sample) const;

private:
    std::uint64_t m_n_sample;
    std::uint64_t m_n_chan;
    std::vector<double> m_data; // sample-major
    std::vector<bool> m_pps;
};
