#pragma once

#include <string>

namespace ertkit_cli {

enum class TableFormat { Csv, Json, Udf, Res2dinv };

// The formats that hold result files only.
inline bool inversionFormat(TableFormat format) { return format == TableFormat::Udf || format == TableFormat::Res2dinv; }

// "csv", "json", "udf" or "res2dinv"; std::invalid_argument for anything else.
TableFormat tableFormat(const std::string& name);

} // namespace ertkit_cli
