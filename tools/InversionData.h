#pragma once

#include <services/LineFrame.h>

#include <host/Result_File.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ertkit_cli {

// What the inversion exports (UDF, the general array format) are asked for.
enum class ErrorKind {
    Model, // the error model of the file's reciprocals, or the stacking deviation when none fits
    Stack, // each reading's stacking deviation
    None,  // no error column
};
enum class IpKind {
    Chargeability, // M in mV/V
    Phase,         // -phi in mrad under a constant-phase-angle earth
};

struct InversionOptions {
    bool keep_ignored = false;          // ignored readings are left out unless asked for
    std::optional<bool> along_line;     // empty: the along-line distance for a 2-D line
    ErrorKind errors = ErrorKind::Model;
    bool general_array_errors = false;       // the general array format carries errors only on request
    IpKind ip = IpKind::Chargeability;
};

// The readings of a result file as an inversion program takes them: electrodes in cable
// order, the positions to write and the values of each reading kept. Ignored readings, and
// readings without a finite R, rho_a or M, are kept only when asked for.
struct InversionReading {
    std::int64_t index = 0;
    ertkit::Quadrupole electrodes{};
    std::optional<double> r, rhoa, err; // err: relative error of R, never below the floor
    double m = 0.0;                       // M (mV/V) or -phi (mrad), as asked
    std::optional<double> ip_err;
    bool valid = false;
};

class InversionData {
public:
    InversionData(const Result_File& file, const InversionOptions& options);

    const std::vector<InversionReading>& readings() const { return m_readings; }
    const ertkit::CableOrder& electrodes() const { return m_order; }
    const ertkit::LineFrame& line() const { return m_line; }
    bool alongLine() const { return m_along_line; }
    // Errors are written (not --errors none).
    bool hasErrors() const { return m_has_errors; }
    // Where the errors come from, as the exports say it in their headers.
    const std::string& errorSource() const { return m_error_source; }
    bool hasChargeability() const { return m_has_m; }
    // The start of the first window and its total length (ms) of the first reading that has
    // windows; empty when none has.
    std::optional<std::pair<double, double>> windows() const { return m_windows; }
    // The readings left out unless kept: marked ignored, or without a finite R, rho_a or M.
    struct LeftOut {
        std::size_t ignored = 0, undefined = 0;
    };
    LeftOut leftOut() const { return m_left_out; }

private:
    ertkit::LineFrame m_line;
    ertkit::CableOrder m_order{m_line};
    std::vector<InversionReading> m_readings;
    bool m_along_line = false, m_has_errors = false, m_has_m = false;
    std::string m_error_source;
    std::optional<std::pair<double, double>> m_windows;
    LeftOut m_left_out;
};

} // namespace ertkit_cli
