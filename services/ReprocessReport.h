#pragma once

#include <services/Reprocessing.h>
#include <services/ResultValues.h>

#include <host/Result_Reader.h>

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace ertkit {

// What reprocessing changed, one row per result: the stored values beside the recomputed ones.
// The tool's --report CSV and the Python DataFrame both have these columns in this order.

enum class ReportType {
    Integer, // may be undefined: the start and channel columns of a result that was not joined
    Real,    // may be undefined: no recomputed value, or a difference relative to 0
    Flag,
    Text,
};

struct ReportColumn {
    std::string name;
    std::string unit; // empty for counts, flags, texts and ratios
    ReportType type = ReportType::Real;
};

// One cell: none (undefined), a whole number (Integer, and Flag as 0 or 1), a real, a text.
using ReportCell = std::variant<std::monostate, std::int64_t, double, std::string>;

// index, ok, failure, voltage_recording, current_recording, voltage_start, voltage_channel,
// current_start, current_channel, halves_used, halves_dropped, then for Vp, I and M the
// stored value, the recomputed one, their relative difference (new - stored) / |stored| and
// the recomputed standard deviation (vp_stored_mV, vp_new_mV, vp_rel_diff, vp_std_mV, i_...,
// m_...), then r_stored_ohm, r_new_ohm, rhoa_stored_ohm_m, rhoa_new_ohm_m (R, K and rho_a
// as the result table computes them, K from the stored electrodes).
const std::vector<ReportColumn>& reprocessReportColumns();
// Processed beyond the meter (ReprocessOptions::beyondMeter), then: spikes, mains_removed,
// gates (how many), cc_m (a fraction), cc_m_std, cc_tau_s, cc_tau_std_s, cc_c, cc_c_std,
// cc_misfit and cc_failure (the Cole-Cole model, undefined when not fitted).
const std::vector<ReportColumn>& reprocessReportColumns(bool beyond_meter);

// Makes the rows, reusing its storage from one row to the next.
class ReprocessReport {
public:
    explicit ReprocessReport(bool beyond_meter = false) : m_beyond_meter(beyond_meter) {}

    // The row of the result at `index` of its file, `stored` as read and `values` what
    // reprocess gave for it; valid until the next call.
    const std::vector<ReportCell>& row(std::int64_t index, const Result_Reader& stored, const Reprocessed& values);

private:
    bool m_beyond_meter;
    ResultValues m_stored, m_new;
    std::vector<ReportCell> m_row;
};

} // namespace ertkit
