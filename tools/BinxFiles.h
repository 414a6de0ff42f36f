#pragma once

#include <services/BinxOutput.h>

#include <binx/BINX_File.h>

#include <memory>
#include <string>

namespace ertkit_cli {

// Opens a result file through the host registry and insists that it is a BINX file: only
// those can be edited and written.
std::unique_ptr<BINX_File> openBinx(const std::string& path, ProgressCallback& progress);

// "first:last", "first:" or ":last", indexes from 0; std::invalid_argument otherwise.
ertkit::RecordRange parseRecordRange(const std::string& text);

} // namespace ertkit_cli
