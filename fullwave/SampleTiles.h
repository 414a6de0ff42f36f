#pragma once

#include <host/Internal.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// The loops over the tiles of a start's stored samples (see IAB_VMN_SampleStore): a tile of
// `length` samples holds each channel's values side by side, channel c from tile + c * length.
// They are the hot loops of the sample queries, written to run on vector instructions.
namespace fullwave_tiles ERTKIT_INTERNAL {

// Appends n floats to `out` as doubles, in one pass when `out` already has room for them.
void appendWidened(std::vector<double>& out, const float* in, std::size_t n);

// Samples whose overload flags are settled together: a tile is checked piece by piece, so that
// the rare piece holding an overload is the only one that takes the exact rule throughout.
inline constexpr std::size_t kFlagPiece = 1024;

// The overload flags of samples [from, to) of a tile of n channels in input range `max`, by
// the page blocks' rule (bit c of flags[k - from] for channel c of sample k). Returns false,
// leaving flags alone, when no sample is overloaded, which is nearly always.
bool overloads(const float* tile, std::size_t length, std::size_t from, std::size_t to, unsigned int n, double max,
               std::uint16_t* flags);

// Samples [from, to) of a tile of n channels as rows: sample k of channel c to
// out[(k - from) * n + c].
void rows(const float* tile, std::size_t length, unsigned int n, std::size_t from, std::size_t to, double* out);

} // namespace fullwave_tiles
