#pragma once

#include "InversionData.h"

#include <iosfwd>

namespace ertkit_cli {

// The unified electrode/data text format read by open-source inversion programs:
//   electrode count, "# x y z", one line per electrode, data count,
//   "# a b m n r rhoa ip err valid", one line per reading, and a last line 0 (no topography
//   points).
// Electrodes are numbered from 1 in cable order (InversionData); a remote electrode is number
// 0. For a 2-D line x is the distance along the line and y is 0 (unless along_line is false).
// Ignored readings, and readings with an undefined value (r without current, rhoa without a
// geometric factor), are left out unless kept; kept, they have valid 0 and an undefined value
// is written as nan. err is the
// relative deviation of R; the column is there only when some reading records a deviation.
void writeUdf(const Result_File& file, const InversionOptions& options, std::ostream& out);

} // namespace ertkit_cli
