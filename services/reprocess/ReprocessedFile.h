#pragma once

#include <services/Reprocessing.h>

#include <memory>
#include <vector>

class BINX_File;
class Result_File;

namespace ertkit {

// The file reprocessing writes, which both front ends take from here: the input's records as a
// BINX file, in order (binxFileOf: a BINX input kept whole with its names and folder, a legacy
// input's records made BINX records in the folder it names), each record reprocessed holding
// its new values (applyReprocessed), the others as stored. `values` holds one entry per record.
std::unique_ptr<BINX_File> reprocessedFile(std::unique_ptr<Result_File> input, const std::vector<Reprocessed>& values);

// The same of a legacy file its caller keeps (and still reads).
std::unique_ptr<BINX_File> reprocessedFile(const Result_File& legacy, const std::vector<Reprocessed>& values);

} // namespace ertkit
