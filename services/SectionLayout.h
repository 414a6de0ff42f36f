#pragma once

#include <services/ArrayKind.h>
#include <services/Geometry.h>
#include <services/LineFrame.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace ertkit {

// Where a pseudo-section puts a file's readings, shared by every front end that draws one.

// What a pseudo-section is given of each of a file's readings, in file order.
struct SectionReading {
    Quadrupole electrodes{};
    bool ignore = false;
    // The reading has a value to draw and is not left out. A reading not drawn still helps
    // fit the line and marks its electrodes.
    bool drawn = true;
};

// One marker: a reading, or the repeats of one quadrupole (quadrupoleGroups) drawn once.
struct SectionPoint {
    PseudoPosition position;
    ArrayGeometry array;
    // The readings in its mean, in file order: those not ignored, or all when every one is.
    std::vector<std::size_t> readings;
    std::size_t ignored_repeats = 0; // ignored repeats left out of the mean
    bool ignore = false;             // every repeat is ignored
};

// One panel per array, judged from the electrodes' distances; an array whose markers would
// otherwise share a position is split by spacing (not the general one, which has none).
struct SectionPanel {
    ArrayKind kind = ArrayKind::General;
    std::optional<double> spacing; // when the panel holds one spacing of its array
    std::vector<std::size_t> points;
    std::size_t repeated_positions = 0; // markers on a position an earlier one of the panel has
};

struct SectionLayout {
    LineFrame line; // fitted to every reading's electrodes
    // Each reading's place: empty when fewer than two of its electrodes are not remote, or
    // when its position is not a finite number (counted in `not_finite`).
    std::vector<std::optional<PseudoPosition>> positions;
    std::size_t not_finite = 0;
    std::vector<double> electrodes; // distances along the line, ascending, each once
    std::size_t drawn = 0;          // readings drawn, repeats counted
    std::size_t averaged = 0;       // repeats folded into a mean
    std::size_t ignored_repeats = 0;
    std::vector<SectionPoint> points; // in the order of their first reading
    std::vector<SectionPanel> panels;
};

SectionLayout sectionLayout(const std::vector<SectionReading>& readings);

// "Wenner, a = 5 m": the array, and the spacing when the panel holds one.
std::string panelName(const SectionPanel& panel);
// "Wenner, a = 5 m (12 readings, 2 repeat a position)".
std::string panelTitle(const SectionPanel& panel);
// The abscissa's title: a position for a straight line along x, where it is x itself.
std::string distanceTitle(const LineFrame& line);

// The mean as a sum of shares, which does not overflow for values near the largest double.
double meanOfShares(const std::vector<double>& values);

} // namespace ertkit
