#pragma once

#include <string>

namespace ertkit_cli {

enum class TableFormat { Csv, Json, Udf };

// "csv", "json" or "udf"; std::invalid_argument for anything else.
TableFormat tableFormat(const std::string& name);

} // namespace ertkit_cli
