#include "InversionData.h"

#include <services/ResultValues.h>

#include <cmath>

namespace ertkit_cli {

InversionData::InversionData(const Result_File& file, const InversionOptions& options)
{
    const auto& results = file.getResults();
    ertkit::ResultValues v;
    for (const Result_Reader* r : results) {
        ertkit::readResultValues(*r, v);
        m_line.add(v.electrodes);
    }
    m_line.fit();
    m_along_line = options.along_line.value_or(m_line.straight());
    m_readings.reserve(results.size());
    for (std::size_t i = 0; i < results.size(); ++i) {
        ertkit::readResultValues(*results[i], v);
        for (const ertkit::ElectrodePoint& p : v.electrodes) m_order.add(p);
        // Loaders that parse numbers strictly stop at "nan": a reading without R or rho_a
        // (no current, no geometric factor) is left out like an ignored one.
        const bool defined = v.resistance && v.rhoa && std::isfinite(*v.resistance) && std::isfinite(*v.rhoa) && std::isfinite(v.m);
        if (!options.keep_ignored && (v.ignore || !defined)) {
            ++(v.ignore ? m_left_out.ignored : m_left_out.undefined);
            continue;
        }
        const InversionReading reading{static_cast<std::int64_t>(i), v.electrodes, v.resistance, v.rhoa, ertkit::relativeError(v), v.m,
                                       ertkit::usable(v)};
        m_has_errors = m_has_errors || reading.err.has_value();
        m_has_m = m_has_m || v.m != 0.0;
        if (!m_windows && v.window_times.size() >= 2)
            m_windows = std::pair<double, double>(v.window_times.front(), v.window_times.back() - v.window_times.front());
        m_readings.push_back(reading);
    }
    m_order.number();
}

} // namespace ertkit_cli
