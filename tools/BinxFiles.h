#pragma once

#include <binx/BINX_File.h>

#include <filesystem>
#include <memory>
#include <string>

namespace ertkit_cli {

// Opens a result file through the host registry and insists that it is a BINX file: only
// those can be edited and written.
std::unique_ptr<BINX_File> openBinx(const std::string& path, ProgressCallback& progress);

// Records first..last as BINX_File::writeToFile takes them (last -1: to the end).
struct RecordRange {
    unsigned int first = 0;
    int last = -1;
};
// "first:last", "first:" or ":last", indexes from 0; std::invalid_argument otherwise.
RecordRange parseRecordRange(const std::string& text);

// Writes the file under a temporary name, reads it back to check that every record it should
// hold arrived (the library's writer reports no failure), and renames it into place.
void writeBinxAtomically(const BINX_File& file, const std::filesystem::path& path, RecordRange range, bool skip_ignored);

} // namespace ertkit_cli
