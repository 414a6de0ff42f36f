#include "InversionData.h"

#include <services/QualityControl.h>
#include <services/ResultValues.h>

#include <fmt/format.h>

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
    // The model of the file's own reciprocals (quality control's, with its default rules), or
    // each reading's stacking deviation; never below the floor.
    ertkit::QcModel model;
    if (options.errors == ErrorKind::Model) {
        model = ertkit::runQualityControl(results, ertkit::QcSettings{}).model;
        m_error_source = model.source == ertkit::ErrorSource::Reciprocals
                             ? fmt::format("err(R) = {:.4g} ohm + {:.4g} |R| from {} reciprocal pairs, at least {} %", model.resistance.a, model.resistance.b,
                                           model.resistance.pairs, model.floor_percent)
                             : fmt::format("err: stacking deviation (no reciprocal model), at least {} %", model.floor_percent);
    } else if (options.errors == ErrorKind::Stack) {
        m_error_source = fmt::format("err: stacking deviation, at least {} %", model.floor_percent);
    }
    m_has_errors = options.errors != ErrorKind::None;
    ertkit::QcReading qc;
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
        ertkit::applyErrorModel(model, v, qc);
        double ip = v.m;
        if (options.ip == IpKind::Phase) ip = ertkit::phaseOfChargeability(v, ertkit::pulseMs(*results[i])).value_or(0.0);
        const InversionReading reading{static_cast<std::int64_t>(i), v.electrodes, v.resistance, v.rhoa, qc.err, ip, qc.ip_err, ertkit::usable(v)};
        m_has_m = m_has_m || v.m != 0.0;
        if (!m_windows && v.window_times.size() >= 2)
            m_windows = std::pair<double, double>(v.window_times.front(), v.window_times.back() - v.window_times.front());
        m_readings.push_back(reading);
    }
    m_order.number();
}

} // namespace ertkit_cli
