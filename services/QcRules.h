#pragma once

#include <services/ResultValues.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ertkit {

// The reasons quality control rejects a reading for, in the order reports list them.
enum class QcReason : std::uint8_t {
    Ignored,       // already ignored in the file
    Current,       // I <= 0 or below the minimum
    Voltage,       // |Vp| in the receiver's noise
    Stack,         // stacking deviation of Vp above the limit
    Geometry,      // K undefined or |K| above the limit
    Negative,      // rho_a <= 0
    Reciprocal,    // the reading and its reciprocal disagree
    Decay,         // the IP windows are no plausible decay
    Chargeability, // M outside the plausible range
    OpenLine,      // the meter's flags
    OverCurrent,
    Overload,
    Pps,
    Noisy,
    Contact,       // contact resistance above the limit
};
inline constexpr std::size_t s_qc_reason_count = 15;
using QcReasons = std::uint32_t; // one bit per reason

constexpr QcReasons qcBit(QcReason reason) { return QcReasons{1} << static_cast<unsigned>(reason); }
std::string_view qcReasonName(QcReason reason);
// The names of the reasons set, joined by ';' (empty for a kept reading).
std::string qcReasonList(QcReasons reasons);

// Every setting of quality control: the limits of the rules and the settings of the pairing
// and the error model. Each has a name, as given on a command line or as a keyword in Python.
// A rule switched off gives no reason; a setting that is not a rule cannot be switched off.
struct QcSettings {
    double current_min_mA = 1.0;
    double voltage_floor_mV = 0.1;
    double voltage_ratio = 10.0;        // |Vp| below this many stacking deviations
    double stack_percent = 2.0;
    double geometry_max_m = 20000.0;
    double reciprocal_percent = 10.0;   // of the pair's mean |R|
    double decay_percent = 25.0;        // RMS misfit of the smooth decay, of the first window
    double chargeability_min = 0.0;     // mV/V
    double chargeability_max = 500.0;   // mV/V
    double contact_max = 10.0;          // in the unit the record stores (kohm for the sample's meter)
    double tolerance_m = 0.05;          // positions within this distance are one electrode
    double error_floor_percent = 2.0;   // the smallest relative error given to an inversion
    std::uint32_t min_pairs = 10;       // fewer reciprocal pairs fit no model
    std::array<bool, s_qc_reason_count> on{};

    QcSettings() { on.fill(true); }
    bool enabled(QcReason reason) const { return on[static_cast<std::size_t>(reason)]; }

    // Sets `name` from `value` ("stack=5"); throws std::invalid_argument naming the setting
    // for an unknown name, a value that is not a finite number, or one out of its range.
    void set(std::string_view name, std::string_view value);
    void set(std::string_view name, double value);
    // Switches the rule `name` off; throws std::invalid_argument for a name that is no rule.
    void disable(std::string_view name);

    // Every setting with its value as text: a number, "off" for a rule switched off, "on" for
    // a rule without a value.
    struct Entry {
        std::string name;
        std::optional<double> value; // empty for a rule without a value
        bool on = true;
    };
    std::vector<Entry> entries() const;
};

// The stacking deviation of Vp as the record stores it, in % of Vp: the library reports the
// error of Vp as sqrt(2) times it. Empty when the record stores none.
std::optional<double> stackingDeviation(const ResultValues& values);

// The meter's state of a reading as quality control looks at it.
struct QcFlags {
    bool open_line = false, over_current = false, overload = false, lost_pps = false, noisy = false;
    std::optional<double> contact; // where the record stores a contact check
};
QcFlags qcFlags(const Result_Reader& result);

// The reasons a reading gives on its own, without its reciprocal. `pps` and `noisy` are the
// file's: a flag every reading of a file raises is taken as one the file does not record
// (a zeroed field reads as "PPS lost" and "noisy").
struct QcFileFlags {
    bool pps = true, noisy = true;
};
// The decay's check: the RMS misfit of a smooth decay (a quadratic in log time of the windows'
// values) in % of the first window, and whether the windows break the rule. Empty misfit for
// fewer than three windows or no chargeability.
struct DecayCheck {
    std::optional<double> misfit_percent;
    bool broken = false;
};
DecayCheck checkDecay(const ResultValues& values, const QcSettings& settings);

// `decay` is checkDecay's answer for the same values, which the report keeps too.
QcReasons readingReasons(const ResultValues& values, const QcFlags& flags, const DecayCheck& decay, const QcSettings& settings,
                         QcFileFlags file);

} // namespace ertkit
