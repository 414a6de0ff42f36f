#pragma once

#include <host/Result_File.h>

#include <iosfwd>
#include <string>

namespace ertkit_cli {

// What a pseudo-section shows and how.
struct SectionOptions {
    std::string quantity = "rhoa"; // rhoa, m, r, vp, i or k
    bool skip_ignored = false;     // leave ignored readings out instead of drawing them hollow
    bool fill = false;             // fill between the readings, triangulated level to level
};

// A pseudo-section: each reading with a value at the mean position of its electrodes along the
// line and at its pseudo-depth (services/Geometry.h gives the convention), coloured by the
// quantity (log scale when every value is positive, except for M), with a colour bar and the
// electrode positions along the top. A file that mixes arrays gets one panel per array (and
// per spacing too when that is what keeps two readings of a panel from one position). Each
// marker's hover title gives the record index and its values.
void plotPseudoSection(const Result_File& file, const std::string& name, const SectionOptions& options, std::ostream& out);

} // namespace ertkit_cli
