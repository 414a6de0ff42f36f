#pragma once

#include <services/QualityControl.h>

#include <iosfwd>
#include <string>

namespace ertkit_cli {

// The picture of a quality control: the reciprocal errors against |R| with the fitted model
// and its floor, the count of each reason, and the pseudo-section with each rejected reading
// marked by its main reason.
void plotQc(const ertkit::QcResult& result, const std::string& name, std::ostream& out);

} // namespace ertkit_cli
