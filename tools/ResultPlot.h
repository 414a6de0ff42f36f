#pragma once

#include <host/Result_File.h>

#include <cstddef>
#include <iosfwd>
#include <string>

namespace ertkit_cli {

// One record: its stacked signal over a full injection cycle with the chargeability windows
// shaded after the switch-off, the off time zoomed on the IP decay, and the decay of the window
// chargeabilities. A record that stores no stack (legacy files) shows the stack computed from
// its voltage recording when that sits beside `path` (services/CompanionRecordings.h).
void plotRecord(const Result_File& file, const std::string& path, std::size_t record, std::ostream& out);

} // namespace ertkit_cli
