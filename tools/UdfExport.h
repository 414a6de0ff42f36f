#pragma once

#include <host/Result_File.h>

#include <iosfwd>

namespace ertkit_cli {

// The unified electrode/data text format read by open-source inversion programs:
//   electrode count, "# x y z", one line per electrode (numbered from 1 in order of first
//   appearance, one per distinct position), data count, "# a b m n r rhoa ip valid", one line
//   per record, and a last line 0 (no topography points).
// A remote electrode is number 0. A value that is undefined (r without current, rhoa
// without a geometric factor) is written as nan with valid 0; ignored records have valid 0.
void writeUdf(const Result_File& file, std::ostream& out);

} // namespace ertkit_cli
