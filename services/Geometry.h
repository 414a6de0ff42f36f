#pragma once

#include <binx/BINX_Geo.h>

#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace ertkit {

// Coordinates from the library's remote value on (in x or y, either sign) mark an electrode
// placed "at infinity".
inline constexpr double s_remote_coordinate = BINX_Geo::s_remote_coordinate;

struct ElectrodePoint {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    bool remote() const;
    friend bool operator==(const ElectrodePoint&, const ElectrodePoint&) = default;
};

// A, B, M, N in that order.
using Quadrupole = std::array<ElectrodePoint, 4>;

// K = 2 pi / (1/AM - 1/BM - 1/AN + 1/BN) with 3-D distances; a term with a remote electrode
// is 0. Undefined (empty) when both current or both potential electrodes are remote, when a
// current electrode coincides with a potential one, or when the terms cancel.
std::optional<double> geometricFactor(const Quadrupole& q);

// Where a pseudo-section puts a measure. Abscissa: the mean of `abscissa` (the distance along
// the line, services/SectionLayout.h) over the electrodes that are not remote. Pseudo-depth:
// 0.19 times the largest distance between two of those electrodes, a single rule for every
// array that approximates the median depth of investigation of a homogeneous earth (about
// 0.17 L for Wenner, 0.19 L for Schlumberger, 0.14 to 0.22 L for dipole-dipole, L the array
// length). Empty when fewer than two electrodes are not remote.
struct PseudoPosition {
    double abscissa = 0.0;
    double depth = 0.0;
};
inline constexpr double s_pseudo_depth_ratio = 0.19;
std::optional<PseudoPosition> pseudoPosition(const Quadrupole& q, const std::function<double(const ElectrodePoint&)>& abscissa);

// Every electrode that is not remote has finite coordinates: the quadrupole can be placed.
bool finitePositions(const Quadrupole& q);

// Repeated readings of one quadrupole, which a pseudo-section draws once: readings whose four
// electrodes sit at the same positions, A, B, M and N in that order (a remote electrode is
// the same as any other remote one; A and B swapped is another quadrupole, its values of the
// opposite sign). For each quadrupole, the number of its group, from 0 in the order of the
// groups' first readings. A quadrupole without finite positions is a group of its own.
std::vector<std::size_t> quadrupoleGroups(const std::vector<Quadrupole>& quadrupoles);

} // namespace ertkit
