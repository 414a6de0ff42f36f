#include <services/reprocess/Scheduling.h>

#include <tuple>

namespace ertkit {

namespace {

// The most values (samples times channels) of one start that a group fills at once.
constexpr std::uint64_t s_max_group_values = std::uint64_t{1} << 22;

} // namespace

std::vector<std::vector<std::size_t>> groupsByStart(const std::vector<Join>& joins)
{
    std::vector<std::size_t> order(joins.size());
    for (std::size_t r = 0; r < order.size(); ++r) order[r] = r;
    const auto key = [&](std::size_t r) {
        const Join& j = joins[r];
        return std::tuple(j.failure.empty() ? j.voltage.entry : nullptr, j.voltage.start, j.voltage.offset, r);
    };
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
    std::vector<std::vector<std::size_t>> groups;
    std::uint64_t first = 0;
    for (const std::size_t r : order) {
        const Join& j = joins[r];
        bool joins_last = false;
        if (!groups.empty() && j.failure.empty()) {
            const Join& last = joins[groups.back().front()];
            const std::uint64_t channels = j.voltage.entry->outline ? j.voltage.entry->starts[j.voltage.start].channels : 1;
            joins_last = last.failure.empty() && last.voltage.entry == j.voltage.entry && last.voltage.start == j.voltage.start &&
                         (j.voltage.offset + j.cycle * j.cycles - first) * channels <= s_max_group_values;
        }
        if (!joins_last) {
            groups.emplace_back();
            first = j.voltage.offset;
        }
        groups.back().push_back(r);
    }
    return groups;
}

void groupSpans(const std::vector<Join>& joins, const std::vector<std::size_t>& group, Span& voltage, Span& current)
{
    const Join& head = joins[group.front()];
    if (!head.failure.empty()) return;
    voltage = {head.voltage.entry, head.voltage.start, head.voltage.offset, head.voltage.offset};
    current = {head.current.entry, head.current.start, head.current.offset, head.current.offset};
    for (const std::size_t r : group) {
        const Join& j = joins[r];
        const std::uint64_t count = j.cycle * j.cycles;
        for (const auto& [side, span] : {std::pair{&j.voltage, &voltage}, std::pair{&j.current, &current}})
            if (side->entry == span->entry && side->start == span->start) {
                span->first = std::min(span->first, side->offset);
                span->last = std::max(span->last, side->offset + count);
            }
    }
}

} // namespace ertkit
