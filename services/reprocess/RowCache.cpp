#include <services/reprocess/RowCache.h>

#include <fullwave/IAB_VMN_File.h>

#include <algorithm>
#include <span>

namespace ertkit {

bool StartRows::holds(const IAB_VMN_File* recording, std::uint64_t start, std::uint64_t first, std::uint64_t count) const
{
    return recording == m_recording && start == m_start && first >= m_first && first + count <= m_first + m_count;
}

void StartRows::fill(const IAB_VMN_File& recording, std::uint64_t start, std::uint64_t first, std::uint64_t count)
{
    m_recording = &recording;
    m_start = start;
    m_first = first;
    m_count = count;
    m_channels = recording.getNChannels(start);
    const std::size_t size = count * m_channels;
    m_values.resize(size);
    if (size > m_flags_capacity) {
        m_flags = std::make_unique<bool[]>(size);
        m_flags_capacity = size;
    }
    recording.fillStart(start, first, count, m_values, std::span<bool>(m_flags.get(), size), {});
}

void StartRows::column(std::uint64_t channel, std::uint64_t first, std::uint64_t count, ChannelSamples& out) const
{
    out.values.resize(count);
    if (count > out.capacity) {
        out.overloads = std::make_unique<bool[]>(count);
        out.capacity = count;
    }
    out.size = count;
    const std::size_t row = first - m_first;
    for (std::uint64_t k = 0; k < count; ++k) {
        out.values[k] = m_values[(row + k) * m_channels + channel];
        out.overloads[k] = m_flags[(row + k) * m_channels + channel];
    }
}

void readSide(const SideJoin& side, std::uint64_t count, StartRows& rows, const Span& span, ChannelSamples& out)
{
    const IAB_VMN_File& recording = *side.entry->full;
    if (!rows.holds(&recording, side.start, side.offset, count)) {
        std::uint64_t first = side.offset, last = side.offset + count;
        if (span.entry == side.entry && span.start == side.start) {
            first = std::min(first, span.first);
            last = std::max(last, span.last);
        }
        rows.fill(recording, side.start, first, last - first);
    }
    rows.column(side.channel, side.offset, count, out);
}

} // namespace ertkit
