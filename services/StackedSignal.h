#pragma once

#include <host/Result_Reader.h>

#include <cstddef>
#include <vector>

namespace ertkit {

// Longest stacked signal handed to a front end, in values. Stored stacks hold at most 800
// samples a half cycle, which the reader spreads over the cycle its pulse duration gives.
inline constexpr std::size_t s_max_stack_points = std::size_t{1} << 16;

// The stored stacked signal of a record over one full cycle (fillStackData), with the time
// between two values. The length of the cycle comes from the record's pulse duration, which a
// damaged or hostile file can make absurd (a pulse of 2^30 ms would ask for gigabytes): a
// cycle longer than `max_points` values is taken from a copy of the record whose pulse is
// shortened by a power of two, which spreads the same stored samples over fewer values; the
// step is lengthened to match, so the signal still spans the record's cycle. A reader other
// than a BINX record that announces such a cycle gives no values.
struct StackedSignal {
    std::vector<double> values;
    double step_ms = 0.0;
};
StackedSignal stackedSignal(const Result_Reader& record, std::size_t max_points = s_max_stack_points);

} // namespace ertkit
