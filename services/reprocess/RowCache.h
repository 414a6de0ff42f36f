#pragma once

#include <services/reprocess/Join.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class IAB_VMN_File;

namespace ertkit {

// One channel's samples of the injection, with their overload flags.
struct ChannelSamples {
    std::vector<double> values;
    std::unique_ptr<bool[]> overloads;
    std::size_t size = 0, capacity = 0;
};

// Every channel of a piece of one start, row by row, filled once for all the results that
// read that start (the channels of one injection are the results of one start).
class StartRows {
public:
    bool holds(const IAB_VMN_File* recording, std::uint64_t start, std::uint64_t first, std::uint64_t count) const;
    void fill(const IAB_VMN_File& recording, std::uint64_t start, std::uint64_t first, std::uint64_t count);
    void column(std::uint64_t channel, std::uint64_t first, std::uint64_t count, ChannelSamples& out) const;

private:
    const IAB_VMN_File* m_recording = nullptr;
    std::uint64_t m_start = 0, m_first = 0, m_count = 0, m_channels = 0;
    std::vector<double> m_values;
    std::unique_ptr<bool[]> m_flags;
    std::size_t m_flags_capacity = 0;
};

// The samples of one start that the results of a group read.
struct Span {
    const FolderIndex::Entry* entry = nullptr;
    std::uint64_t start = 0, first = 0, last = 0;
};

// The `count` samples a result needs of one side (its recording read whole): from the rows
// already filled when they hold them, else from rows filled for the group's span of that start
// (or the result's own samples).
void readSide(const SideJoin& side, std::uint64_t count, StartRows& rows, const Span& span, ChannelSamples& out);

} // namespace ertkit
