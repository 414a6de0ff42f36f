#pragma once

#include <host/Result_File.h>

#include <cstddef>
#include <iosfwd>
#include <string>

namespace ertkit_cli {

// Apparent-resistivity pseudo-section: each record with a defined rho_a at the mean position
// of its electrodes along the line and at its pseudo-depth (services/Geometry.h gives the convention),
// coloured by log10 rho_a, with a colour scale and the electrode positions along the top.
// Ignored records are left out.
void plotPseudoSection(const Result_File& file, const std::string& name, std::ostream& out);

// One record: its stacked signal over a full injection cycle, with the chargeability windows
// shaded after the switch-off, and the decay of the window chargeabilities.
void plotRecord(const Result_File& file, const std::string& name, std::size_t record, std::ostream& out);

} // namespace ertkit_cli
