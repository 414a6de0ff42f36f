#pragma once

#include <services/LineFrame.h>

#include <host/Result_File.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace ertkit_cli {

// What the inversion exports (UDF, the general array format) are asked for.
struct InversionOptions {
    bool keep_ignored = false;          // ignored readings are left out unless asked for
    std::optional<bool> along_line;     // empty: the along-line distance for a 2-D line
};

// The readings of a result file as an inversion program takes them: electrodes in cable
// order, the positions to write and the values of each reading kept. Ignored readings, and
// readings without a finite R, rho_a or M, are kept only when asked for.
struct InversionReading {
    std::int64_t index = 0;
    ertkit::Quadrupole electrodes{};
    std::optional<double> r, rhoa, err;
    double m = 0.0;
    bool valid = false;
};

class InversionData {
public:
    InversionData(const Result_File& file, const InversionOptions& options);

    const std::vector<InversionReading>& readings() const { return m_readings; }
    const ertkit::CableOrder& electrodes() const { return m_order; }
    const ertkit::LineFrame& line() const { return m_line; }
    bool alongLine() const { return m_along_line; }
    // Any kept reading with a recorded deviation, or with a chargeability.
    bool hasErrors() const { return m_has_errors; }
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
    std::optional<std::pair<double, double>> m_windows;
    LeftOut m_left_out;
};

} // namespace ertkit_cli
