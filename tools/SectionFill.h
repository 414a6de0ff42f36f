#pragma once

#include "SvgDocument.h"

#include <vector>

namespace ertkit_cli {

// A reading of a pseudo-section as the fill sees it: its pixel position, its pseudo-depth
// (which groups readings into levels) and its colour fraction.
struct SectionNode {
    double px = 0.0, py = 0.0;
    double depth = 0.0;
    double fraction = 0.0;
};

// Fills between the readings as inversion programs draw a pseudo-section: readings of equal
// pseudo-depth form a level, each level is joined to the next by a strip of triangles (the
// shorter diagonal first), and each triangle is drawn as four, coloured by the values
// interpolated at their centres. Triangles that would bridge a gap wider than three times the
// usual spacing of a level are left out.
void fillSection(SvgDocument& svg, std::vector<SectionNode> nodes);

} // namespace ertkit_cli
