// The library's static initialisation: its readers announce themselves to the host's
// registries while the library is loaded. Everything lives in this one translation unit so
// that the order below is the order in which it runs.

#include <host/IV_File_Reader.h>
#include <host/ProgressCallback.h>
#include <host/ReaderAdapters.h>
#include <host/Result_File.h>

// ---- BINX result files (include and statics) ----
#include <binx/BINX_File.h>

const std::string BINX_File::s_type_name = "BINX";
const std::vector<std::string> BINX_File::s_extensions_list = {".binx"};
const std::uint64_t BINX_File::s_registration_id =
    Result_File::registerResultReader(BINX_File::s_type_name, BINX_File::s_extensions_list,
                                      Result_FileImpl<BINX_File>::create);

// ---- BIN result files (include and statics) ----
#include <bin/BIN_File.h>

const std::string BIN_File::s_type_name = "BIN";
const std::vector<std::string> BIN_File::s_extensions_list = {".bin"};
const std::uint64_t BIN_File::s_registration_id =
    Result_File::registerResultReader(BIN_File::s_type_name, BIN_File::s_extensions_list, Result_FileImpl<BIN_File>::create);

// ---- IAB/VMN full-wave recordings (include and statics) ----
#include <fullwave/IAB_VMN_File.h>

const std::string IAB_VMN_File::s_type_name = "IAB_VMN";
const std::vector<std::string> IAB_VMN_File::s_extensions_list = {".iab", ".vmn"};
const std::uint64_t IAB_VMN_File::s_registration_id =
    IV_File_Reader::registerFileReader(IAB_VMN_File::s_type_name, IAB_VMN_File::s_extensions_list,
                                       IV_File_ReaderImpl<IAB_VMN_File>::create);

// ---- Download progress texts (include and statics) ----
#include <download/TarvexKesta_File.h>

const std::uint64_t TarvexKesta_File::s_synchronization_text_id = ProgressCallback::addTextId();
const std::uint64_t TarvexKesta_File::s_connected_to_at_text_id = ProgressCallback::addTextId();
