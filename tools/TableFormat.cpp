#include "TableFormat.h"

#include <stdexcept>

namespace ertkit_cli {

TableFormat tableFormat(const std::string& name)
{
    if (name == "csv") return TableFormat::Csv;
    if (name == "json") return TableFormat::Json;
    if (name == "udf") return TableFormat::Udf;
    if (name == "general-array") return TableFormat::GeneralArray;
    throw std::invalid_argument("unknown format " + name + " (expected csv, json, udf or general-array)");
}

} // namespace ertkit_cli
