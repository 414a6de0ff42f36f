#pragma once

#include <host/IV_File_Reader.h>

#include <iosfwd>
#include <string>

namespace ertkit_cli {

// A readable summary of a full-wave recording: kind, serial numbers, and for each start its
// channels, samples, start time (UTC), duration, overload and PPS counts, battery and
// temperature.
void printRecordingInfo(const IV_File_Reader& reader, const std::string& name, std::ostream& out);

} // namespace ertkit_cli
