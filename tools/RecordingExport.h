#pragma once

#include "TableFormat.h"

#include <host/IV_File_Reader.h>

#include <iosfwd>
#include <string>

namespace ertkit_cli {

// Every sample of every start, one row (CSV) or one object (JSON) per sample: start, sample
// number, time, a value per channel, the overload flag of each channel and the PPS flag.
// Written as it is walked, so the output is never held in memory. UDF has no meaning for a
// recording: std::invalid_argument.
void exportRecording(const IV_File_Reader& reader, const std::string& name, TableFormat format, std::ostream& out,
                     ProgressCallback& progress);

} // namespace ertkit_cli
