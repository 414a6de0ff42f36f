#pragma once

#include <services/Geometry.h>

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

namespace ertkit {

// Normal and reciprocal readings. The reciprocal of A B M N is M N A B: the current and
// potential dipoles exchanged; swapping the electrodes within a dipole changes only the sign
// of R. Electrodes are matched by position within `tolerance` (m), remote electrodes all
// alike. A reading whose dipoles share no reciprocal has no partner.
//
// Repeated readings of one quadrupole are matched to the repeats of its reciprocal in file
// order, the first with the first; those left over (more repeats on one side) are compared
// with the other side's last reading but form no pair of their own, so that a repeat does not
// count twice in an error model.
struct ReciprocalPairs {
    std::vector<std::optional<std::size_t>> partner; // per reading
    std::vector<std::pair<std::size_t, std::size_t>> pairs; // matched one to one, first < second
};

ReciprocalPairs pairReciprocals(const std::vector<Quadrupole>& readings, double tolerance);

} // namespace ertkit
