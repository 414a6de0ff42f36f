#pragma once

#include <services/ErrorModel.h>
#include <services/QcRules.h>
#include <services/ReprocessReport.h>
#include <services/Reprocessing.h>
#include <services/ResultValues.h>

#include <host/Result_Reader.h>

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace ertkit {

// What quality control says of one reading.
struct QcReading {
    QcReasons reasons = 0;
    std::optional<double> err;              // relative error of R given to an inversion
    std::optional<double> ip_err;           // error of M given to an inversion (mV/V)
    std::optional<std::size_t> reciprocal;  // the index of its reciprocal reading
    std::optional<double> reciprocal_error; // ||R| - |R_r|| / mean(|R|, |R_r|)
    std::optional<double> decay_misfit;     // % of the first window (QcRules.h)
    QcFlags flags;
};

// Where the errors given to an inversion come from.
enum class ErrorSource {
    Reciprocals, // the error model fitted to the file's reciprocal pairs
    Stack,       // each reading's stacking deviation, no model
};

struct QcModel {
    ErrorSource source = ErrorSource::Stack;
    LinearErrorModel resistance;    // a in ohm, b relative
    LinearErrorModel chargeability; // a in mV/V, b relative
    double floor_percent = 2.0;     // no relative error of R below it
    double ip_floor = 1.0;          // no error of M below it (mV/V)
};

struct QcResult {
    std::vector<ResultValues> values; // each reading's values, as read
    std::vector<QcReading> readings;
    QcModel model;
    std::size_t pairs = 0;          // reciprocal pairs found
    std::size_t model_pairs = 0;    // of them, those no other reason rejects: the fit's
    std::array<std::size_t, s_qc_reason_count> counts{};
    std::size_t rejected = 0;       // readings with any reason
    QcFileFlags file_flags;
    std::vector<std::string> notes; // what the user should know: no reciprocals, no model...
};

// The apparent phase, -phi in mrad (positive for a polarisable ground), that gives a reading's
// chargeability under a constant-phase-angle earth. With a small phase, such an earth decays
// after a pulse of length T as V(t) / Vp = (2 |phi| / pi) ln((T + t) / t); the chargeability
// over the windows is that curve's mean over them, so |phi| = M pi / (2 L) with L the mean of
// ln((T + t) / t) over the windows. Empty without windows or pulse.
std::optional<double> phaseOfChargeability(const ResultValues& values, double pulse_ms);
// The pulse of a result in ms: its cycle over 4 (2 at full duty cycle).
double pulseMs(const Result_Reader& result);

// The smallest error of M given to an inversion.
inline constexpr double s_qc_ip_floor = 1.0; // mV/V

// Quality control of a result file's readings, in file order.
//
// The error model. Pairs are those of pairReciprocals; a pair is fitted when neither reading
// has a reason other than `reciprocal` (a pair that disagrees is the tail of the same spread,
// and a robust fit takes it; readings rejected for anything else are left out). With at least
// `min_pairs` such pairs, every reading's error of R is the model's a + b |R| over |R|, and
// its error of M the chargeability model's; otherwise each reading's own stacking deviations.
// Neither is ever below the floors (`error_floor` % of R, s_qc_ip_floor for M).
//
// `recomputed`, when given, holds what reprocessing each reading's recordings gave (one per
// reading): a reading joined to its recordings that stores no deviation of Vp (legacy records)
// is judged on the deviation across its half cycles, and one whose injection holds an
// overloaded sample raises `overload` whatever its record says.
QcResult runQualityControl(const std::vector<Result_Reader*>& results, const QcSettings& settings,
                           const std::vector<Reprocessed>* recomputed = nullptr);

// The errors one value would be given: `err` of R and `ip_err` of M.
void applyErrorModel(const QcModel& model, const ResultValues& values, QcReading& reading);

// The report, one row per reading: index, reasons, err, reciprocal_index, reciprocal_error,
// r_ohm, k_m, rhoa_ohm_m, m_mV_V, then the values the rules look at: i_mA, vp_mV,
// stack_percent (the stacking deviation stored), decay_misfit_percent, contact, flags (the meter's flags raised, joined by
// ';'), reciprocal_r_ohm, ip_err_mV_V. The tool's CSV and the Python DataFrame have these.
const std::vector<ReportColumn>& qcReportColumns();
void qcReportRow(const QcResult& result, std::size_t index, std::vector<ReportCell>& row);

// The model and the rules as JSON: {"resistance": {"a_ohm", "b", "pairs", "bins", "r2",
// "rms_relative_misfit", "fitted"}, "chargeability": {"a_mV_V", "b", ...}, "source",
// "floor_percent", "ip_floor_mV_V", "reciprocal_pairs", "rules": {name: value}, "counts":
// {reason: n}, "readings", "rejected", "notes"}.
std::string qcModelJson(const QcResult& result, const QcSettings& settings);

// The terminal's summary: one line per reason with its count, then the model.
std::vector<std::string> qcSummaryLines(const QcResult& result);

} // namespace ertkit
