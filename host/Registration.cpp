// The library's static initialisation: its readers announce themselves to the host's
// registries while the library is loaded. Everything lives in this one translation unit so
// that the order below is the order in which it runs.

#include <host/IV_File_Reader.h>
#include <host/ProgressCallback.h>
#include <host/ReaderAdapters.h>
#include <host/Result_File.h>

// ---- BINX result files (include and statics) ----

// ---- BIN result files (include and statics) ----

// ---- IAB/VMN full-wave recordings (include and statics) ----

// ---- Download progress texts (include and statics) ----
#include <download/TarvexKesta_File.h>

const std::uint64_t TarvexKesta_File::s_synchronization_text_id = ProgressCallback::addTextId();
const std::uint64_t TarvexKesta_File::s_connected_to_at_text_id = ProgressCallback::addTextId();
