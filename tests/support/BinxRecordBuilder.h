#pragma once

#include "support/TestSupport.h"

#include <writers/BinxFileBuilder.h>

#include <binx/BINX_Data.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ertkit_test {

// A record whose every stored member holds a value of its own, different for each seed,
// so that a field read or written in the wrong place shows. Its texts hold no zero byte,
// its serial numbers are set and its path indexes are 2 (IAB), 1 (VMN) and 0 (project).
BINX_Data sampleBinxRecord(int seed);

// The bytes of a record in the layout of any record version (0 and below up to 16 and
// beyond), written field by field from the record's members without the library's writer.
// Version-1 key texts are cut or zero-padded to their 28-byte blocks; the 48 bytes that
// records before version 9 carry are filled with a recognisable pattern.
Bytes binxRecordBytes(const BINX_Data& record, int version);

using ertkit_writers::BinxFileBuilder;

// Appends a record to a file in the layout of any record version (binxRecordBytes).
BinxFileBuilder& addRecord(BinxFileBuilder& file, const BINX_Data& record, int record_version = BINX_Data::VERSION);

} // namespace ertkit_test
