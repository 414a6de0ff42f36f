#pragma once

#include <binx/BINX_File.h>

#include <filesystem>
#include <iosfwd>

namespace ertkit {

// Records first..last as BINX_File::writeToFile takes them (last -1: to the end).
struct RecordRange {
    unsigned int first = 0;
    int last = -1;
};

// Writes what BINX_File::writeToFile writes for the range, once, under a temporary name, and
// renames it into place (or copies it into a pipe or device) once every byte was written:
// whatever the destination's name. Throws WriteError with the system's reason for the write
// that failed; the destination is then left as it was.
void writeBinx(const BINX_File& file, const std::filesystem::path& path, RecordRange range, bool skip_ignored, bool hide = false);

// The same bytes into a stream, such as an output of an OutputGroup's (AtomicOutput::stream):
// a failed write shows in the stream's state, and the output's commit reports it.
void writeBinx(const BINX_File& file, std::ostream& out, RecordRange range, bool skip_ignored);

} // namespace ertkit
