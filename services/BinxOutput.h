#pragma once

#include <binx/BINX_File.h>

#include <filesystem>

namespace ertkit {

// Records first..last as BINX_File::writeToFile takes them (last -1: to the end).
struct RecordRange {
    unsigned int first = 0;
    int last = -1;
};

// Writes what BINX_File::writeToFile writes for the range, under a temporary name, and renames
// it into place once it is known whole: the library's writer reports no failure, so the file
// is read back and written again by the library, which must give the same bytes (a file cut
// short reads back with fewer records than its header counts). Throws WriteError otherwise;
// the destination is then left as it was.
void writeBinx(const BINX_File& file, const std::filesystem::path& path, RecordRange range, bool skip_ignored, bool hide = false);

} // namespace ertkit
