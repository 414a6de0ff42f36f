#pragma once

#include "InversionData.h"
#include "TableFormat.h"

#include <host/Result_File.h>

#include <iosfwd>
#include <string>

namespace ertkit_cli {

// One row (CSV) or object (JSON) per record: index, A/B/M/N coordinates, Vp, I, R, K,
// rho_a, chargeability and its windows, SP, deviations, stacks, start time, ignore flag,
// valid flag and serial numbers; or the inversion formats (UdfExport.h, GeneralArrayExport.h),
// which take `inversion`. Rows are written as the records are read, through one reused buffer.
void exportResults(const Result_File& file, const std::string& name, TableFormat format, const InversionOptions& inversion,
                   std::ostream& out, ProgressCallback& progress);

} // namespace ertkit_cli
