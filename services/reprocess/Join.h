#pragma once

#include <services/reprocess/FolderIndex.h>

#include <host/Result_Reader.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ertkit {

// Where one side of a result lies in the recordings of a folder.
struct SideJoin {
    FolderIndex::Entry* entry = nullptr;
    std::uint64_t start = 0, channel = 0, offset = 0;
};

// A result joined to its recordings: the voltage side (and the current side, unless the join
// was asked for the voltage alone), the injection cycle in samples and the whole cycles the
// starts hold from the result's time on; or why the result could not be joined.
struct Join {
    SideJoin voltage, current;
    std::uint64_t cycle = 0, cycles = 0;
    std::string failure;
};

enum class JoinSides { Both, VoltageOnly };

// The one join of a result to its recordings, which reprocessing and the record plot share.
// For each side, recordings that may hold it (mayHoldResult) are tried from the latest: the
// start whose time is within a second of the result's, or, failing that, the start that was
// running at the result's time (the injection then begins `offset` samples into it: a start
// may hold several injections). The voltage channel is the one whose layout shows the result's
// M-N dipole. `recording_names` are the names a BINX file lists: a missing or unreadable
// recording the record names is told by its name.
Join joinResult(const Result_Reader& result, FolderIndex& index, const std::vector<std::string>& recording_names,
                JoinSides sides = JoinSides::Both);

} // namespace ertkit
