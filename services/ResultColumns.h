#pragma once

#include <services/ResultValues.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ertkit {

// The table of result records every front end shows (the tool's CSV and JSON exports, the
// Python records and structured arrays): one row per record, these columns in this order.

enum class ColumnType {
    Integer, // whole numbers: index, stacks, serial numbers
    Real,    // may be undefined: empty in CSV, null in JSON, NaN in Python
    Time,    // the civil time the result file stores; may be undefined (no time stored)
    Flag,
};

// What a column belongs to, for exports that nest some columns rather than list them.
enum class ColumnGroup {
    Index,
    Electrodes, // ax ... nz
    Values,     // Vp, I, R, K, rho_a, M, SP and deviations
    Record,     // stacks, start time, ignore and valid flags, serial numbers
    Windows,    // t0_ms, then m1_mV_V..., then t1_ms...
};

// One record's values and its index in its file.
struct ResultRow {
    std::int64_t index = 0;
    ResultValues values;
};

struct ResultColumn {
    std::string name;
    std::string unit; // empty for counts, flags and times
    ColumnType type = ColumnType::Real;
    ColumnGroup group = ColumnGroup::Values;
    // How the value is computed: `real` for Real columns, `whole` for Integer and Flag, `time`
    // for Time.
    std::function<std::optional<double>(const ResultRow&)> real;
    std::function<std::int64_t(const ResultRow&)> whole;
    std::function<std::optional<HighPrecisionTime>(const ResultRow&)> time;
};

// The columns with `windows` window columns (windowCount, mostWindows): the fixed ones, t0_ms,
// then m1_mV_V... (a window's chargeability) and t1_ms... (its end).
std::vector<ResultColumn> resultColumns(std::size_t windows);

} // namespace ertkit
