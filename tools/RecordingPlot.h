#pragma once

#include <host/IV_File_Reader.h>

#include <cstdint>
#include <iosfwd>
#include <string>

namespace ertkit_cli {

// The channels of one start against time, one panel each over a shared time axis, with the
// overloaded samples marked in red (on the frame's edge when off the scale of the other
// samples) and the GPS pulses (PPS) as ticks. Long starts are reduced to one pixel column
// at a time: the lowest and highest value, one overload mark and one PPS tick at most per
// column, over the whole start, so the picture stays small.
void plotRecording(const IV_File_Reader& reader, const std::string& name, std::uint64_t start, std::ostream& out);

} // namespace ertkit_cli
