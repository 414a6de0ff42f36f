#pragma once

#include <host/IV_File_Reader.h>

namespace ertkit {

// The unit of a recording's samples: the current receiver records milliamperes, the voltage
// receiver millivolts.
const char* sampleUnit(const IV_File_Reader& reader);

} // namespace ertkit
