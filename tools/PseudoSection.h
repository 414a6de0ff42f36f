#pragma once

#include <host/Result_File.h>

#include <iosfwd>
#include <optional>
#include <string>
#include <utility>

namespace ertkit_cli {

// What a pseudo-section shows and how.
struct SectionOptions {
    std::string quantity = "rhoa"; // rhoa, m, r, vp, i or k
    bool skip_ignored = false;     // leave ignored readings out instead of drawing them hollow
    bool fill = false;             // fill between the readings, triangulated level to level
    // The colour scale's limits; values beyond take the end colours. Without them, the scale
    // spans the values, less the lowest and highest `clip` per cent (0 <= clip < 50).
    std::optional<std::pair<double, double>> range;
    double clip = 0.0;
};

// A pseudo-section: each reading with a value at the mean position of its electrodes along the
// line and at its pseudo-depth (services/SectionLayout.h places them), coloured by the
// quantity (log scale when every value is positive, except for M), with a colour bar and the
// electrode positions along the top. A file that mixes arrays gets one panel per array (and
// per spacing too when that is what keeps two readings of a panel from one position). Each
// marker's hover title gives the record index and its values. Repeated readings of one
// quadrupole are drawn once, at the mean of those not ignored (of all when every one is);
// readings whose electrodes have positions that are not finite numbers are left out. The
// subtitle says how many of each.
void plotPseudoSection(const Result_File& file, const std::string& name, const SectionOptions& options, std::ostream& out);

} // namespace ertkit_cli
