#pragma once

#include <fullwave/IAB_VMN_RawPage.h>
#include <fullwave/MappedBuffer.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <stdexcept>

// What the kept data pages of a recording hold, stored compactly in file order.
//
// The samples of a start form a run of tiles of tileFor(channels) samples, each tile channel
// by channel (a channel's values in a tile side by side): a channel is read without touching
// the others, and a whole start tile by tile, its channels as parallel streams. Tiles are long
// (64 KiB a channel) because a channel read alone then streams from memory nearly as fast as
// one contiguous array; in tiles of 4 KiB a channel it read half again as slowly. Runs follow
// each other without room between them. Each sample has a PPS bit and a flag bit; each page
// keeps the few words (name, date, first sample number, block count) from which its page
// object can be made again. A 3-channel sample takes 12 bytes here against 16 in the file,
// and nothing is allocated per page: the arrays are reserved once from the file size and only
// written memory counts.
class IAB_VMN_SampleStore {
public:
    static constexpr std::uint64_t s_tile = 16384;
    // Samples in a tile of a start of `channels` channels. Past three channels a tile is 16
    // samples longer, so that its channel streams (64 KiB apart, plus a cache line a channel)
    // fall in different sets of the processor's first-level cache: exactly 64 KiB apart, four
    // and more streams written at once evict each other's lines (twelve channels were stored
    // 1.6 times as slowly). Up to three streams share a set without harm, and one line apart
    // they were stored more slowly.
    static constexpr std::uint64_t tileFor(unsigned int channels) { return channels > 3 ? s_tile + 16 : s_tile; }

    struct Page {
        std::int32_t date = 0;          // the page header's date, already corrected
        std::uint32_t first_number = 0; // sample number of the first block
        char name[11] = {};             // the name field as stored
        std::uint8_t blocks = 0;
    };

    // The samples of one start.
    class Run {
    public:
        Run(const float* values, std::uint64_t samples, unsigned int channels)
            : m_values(values), m_samples(samples), m_channels(channels), m_tile(tileFor(channels))
        {
        }
        std::uint64_t samples() const { return m_samples; }
        unsigned int channels() const { return m_channels; }
        // Samples in a whole tile.
        std::uint64_t tileSize() const { return m_tile; }
        std::uint64_t tiles() const { return (m_samples + m_tile - 1) / m_tile; }
        // Samples in tile t: tileSize() but in the last.
        std::uint64_t tileLength(std::uint64_t t) const { return std::min(m_tile, m_samples - t * m_tile); }
        // Channel c of tile t starts at tile(t) + c * tileLength(t).
        const float* tile(std::uint64_t t) const { return m_values + t * m_tile * m_channels; }
        float value(std::uint64_t k, unsigned int c) const
        {
            const std::uint64_t t = k / m_tile;
            return tile(t)[c * tileLength(t) + k % m_tile];
        }

    private:
        const float* m_values;
        std::uint64_t m_samples;
        unsigned int m_channels;
        std::uint64_t m_tile;
    };

    // Keeps pages, counts, PPS and flags but no values, for a header-only open; asked before
    // anything is stored. run() then throws std::logic_error: every value query goes through it.
    void skipValues() { m_keep_values = false; }

    // Reserves for a recording of `bytes` bytes (0 when unknown: the arrays then grow). Never
    // fails: what cannot be reserved is grown into later.
    void reserveFor(std::uint64_t bytes);
    // Opens the run of a new start whose blocks have `channels` values, ending the one before.
    void beginRun(unsigned int channels);
    // Appends the run of blocks of a data page to the open run; `date` is the page's date as
    // its header decodes it. Returns the number of blocks kept.
    unsigned int append(const IAB_VMN_RawPage& raw, std::int32_t date);
    // Ends the open run and gives back the reserved room that was not used.
    void finish() noexcept;

    std::uint64_t pages() const { return m_pages; }
    std::uint64_t samples() const { return m_samples; }
    // Where the values of the open run, or of the next one, begin.
    std::uint64_t values() const { return m_values; }

    const Page& page(std::uint64_t i) const { return m_page[i]; }
    Run run(std::uint64_t first_value, std::uint64_t samples, unsigned int channels) const
    {
        if (!m_keep_values) throw std::logic_error("the samples of this recording were not read (header-only open)");
        return Run(m_value.data() + first_value, samples, channels);
    }
    bool pps(std::uint64_t sample) const { return bit(m_pps, sample); }
    bool flag(std::uint64_t sample) const { return bit(m_flag, sample); }
    // Calls visit(k) for each sample k in [0, count) from `first` whose PPS bit is set.
    template <typename Visit>
    void forEachPPS(std::uint64_t first, std::uint64_t count, Visit visit) const;

    // Page i as the receiver wrote it, as far as a page decodes: header, blocks and values.
    // Its first block is sample `sample` of `run`, and global sample `first_sample`.
    IAB_VMN_RawPage rawPage(std::uint64_t i, const Run& run, std::uint64_t sample, std::uint64_t first_sample) const;

private:
    static bool bit(const MappedArray<std::uint64_t>& bits, std::uint64_t i) { return (bits[i >> 6] >> (i & 63)) & 1u; }
    void ensureRoomForPage();
    void endRun() noexcept;

    MappedArray<Page> m_page;
    MappedArray<float> m_value;
    MappedArray<std::uint64_t> m_pps;
    MappedArray<std::uint64_t> m_flag;
    std::uint64_t m_pages = 0;
    std::uint64_t m_samples = 0;
    std::uint64_t m_values = 0;      // values of the runs before the open one
    std::uint64_t m_run_samples = 0; // samples of the open run
    unsigned int m_run_channels = 0;
    bool m_keep_values = true;
};

template <typename Visit>
void IAB_VMN_SampleStore::forEachPPS(std::uint64_t first, std::uint64_t count, Visit visit) const
{
    // PPS is one sample in a hundred: whole words of clear bits are skipped.
    const std::uint64_t end = first + count;
    for (std::uint64_t i = first; i < end;) {
        const std::uint64_t word = m_pps[i >> 6] >> (i & 63);
        if (!word) {
            i = (i | 63) + 1;
            continue;
        }
        const std::uint64_t at = i + static_cast<std::uint64_t>(std::countr_zero(word));
        if (at >= end) break;
        visit(at - first);
        i = at + 1;
    }
}
