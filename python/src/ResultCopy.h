#pragma once

#include "BinCore.h"
#include "BinxCore.h"

#include <binx/BINX_File.h>

#include <memory>
#include <vector>

namespace ertkit_py {

// The records a whole-file operation (reprocessing, quality control) reads, and the BINX file
// it returns, record for record.
struct ResultCopy {
    std::unique_ptr<BINX_File> output;
    std::vector<Result_Reader*> sources;
    std::shared_ptr<const BIN_File> bin; // keeps a legacy file's records alive
};

// A BINX file is worked on through a copy of its own: the copy's records are both the sources
// and the output, and no other thread can edit them while the GIL is released. The copy is
// taken with the GIL held, as the file is written, and reads back what write() writes.
ResultCopy binxCopy(const BinxCore& input);

// The legacy file's records are the sources (a BIN file never changes once read); the output
// holds a BINX record made from each, in the same folder. Made with the GIL released.
void fillFromBin(ResultCopy& work);

} // namespace ertkit_py
