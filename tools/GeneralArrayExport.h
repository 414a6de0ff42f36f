#pragma once

#include "InversionData.h"

#include <iosfwd>
#include <string>

namespace ertkit_cli {

// The "general array" data format of 2-D inversion (array type 11), which takes any four-electrode
// array:
//   title; unit electrode spacing; 11; sub-array type; the measurement-type header line;
//   0 (apparent resistivity); the datum count; 1 (x-locations are true horizontal distances);
//   the IP flag and, with IP, "Chargeability", "mV/V" and the delay and integration time (s);
//   one line per datum: the number of electrodes, x and z of C1, C2, P1, P2 in that order,
//   the apparent resistivity and, with IP, the chargeability; then four lines 0.
// x is the distance along the line (InversionData); a remote electrode is left out of its
// datum, which then has 3 or 2 electrodes. Readings without an apparent resistivity, and
// ignored readings whatever the options (the format has no validity flag), are left out. A file
// that leaves no datum throws std::runtime_error ("no datum to write: ...", saying why) before
// anything is written.
void writeGeneralArray(const Result_File& file, const std::string& title, const InversionOptions& options, std::ostream& out);

} // namespace ertkit_cli
