#pragma once

#include <host/Result_File.h>

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace ertkit_cli {

// A readable summary of a result file: format, version and software, folder and file names,
// record count, ignored records, time span, and a short table of the first records.
void printResultInfo(const Result_File& file, const std::string& name, std::ostream& out, std::size_t table_rows = 10);

// What only the concrete file classes know (format version, software, folder, the names of
// the recordings and project files), as labelled lines.
std::vector<std::pair<std::string, std::string>> resultFileDetails(const Result_File& file);

} // namespace ertkit_cli
