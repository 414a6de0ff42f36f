#pragma once

#include <string>

namespace ertkit_cli {

enum class TableFormat { Csv, Json, Udf, GeneralArray };

// The formats that hold result files only.
inline bool inversionFormat(TableFormat format) { return format == TableFormat::Udf || format == TableFormat::GeneralArray; }

// "csv", "json", "udf" or "general-array"; std::invalid_argument for anything else.
TableFormat tableFormat(const std::string& name);

} // namespace ertkit_cli
