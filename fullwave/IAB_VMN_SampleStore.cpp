#include <fullwave/IAB_VMN_SampleStore.h>

#include <fullwave/BlockRun.h>

#include <algorithm>
#include <cstring>
#include <new>
#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

namespace {

constexpr std::uint64_t kPageBody = IAB_VMN_RawPage::s_size_in_int - fullwave_blocks::kFirstWord;
// A page holds at most 120 values (8 blocks of 15 channels) and 128 samples (blocks of no
// channel).
constexpr std::uint64_t kMostValues = 120;
constexpr std::uint64_t kMostSamples = kPageBody;
// The open tile of a run is laid out for a whole tile until the run ends.
constexpr std::uint64_t kOpenTile = IAB_VMN_SampleStore::tileFor(15) * 15;

std::uint64_t bitWords(std::uint64_t bits)
{
    return (bits + 63) / 64;
}

void putWord(IAB_VMN_RawPage& raw, unsigned int i, std::uint32_t value)
{
    little_endian::store(raw.bytes + 4 * i, value);
}

#if defined(__SSE2__)
// Bytes from the first value of a block that copyFourBlocks reads: four blocks, and whole
// groups of four values in each (past the last channel when the count is not a multiple of 4).
template <unsigned int N>
constexpr std::ptrdiff_t kFourBlocksRead = 4 * (3 * (N + 1) + (N + 3) / 4 * 4);

// The values of four consecutive blocks of N channels (from: the first value of the first
// block) to the N channel streams of a tile (to: channel 0 of the first sample): groups of
// four channels turned from block rows into channel rows by one 4 x 4 transposition.
template <unsigned int N, unsigned int c = 0>
void copyFourBlocks(const unsigned char* from, float* to)
{
    if constexpr (c < N) {
        constexpr unsigned int stride = 4 * (N + 1);
        __m128 r0 = _mm_loadu_ps(reinterpret_cast<const float*>(from + 4 * c));
        __m128 r1 = _mm_loadu_ps(reinterpret_cast<const float*>(from + stride + 4 * c));
        __m128 r2 = _mm_loadu_ps(reinterpret_cast<const float*>(from + 2 * stride + 4 * c));
        __m128 r3 = _mm_loadu_ps(reinterpret_cast<const float*>(from + 3 * stride + 4 * c));
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        constexpr std::uint64_t tile = IAB_VMN_SampleStore::tileFor(N);
        _mm_storeu_ps(to + c * tile, r0);
        if constexpr (c + 1 < N) _mm_storeu_ps(to + (c + 1) * tile, r1);
        if constexpr (c + 2 < N) _mm_storeu_ps(to + (c + 2) * tile, r2);
        if constexpr (c + 3 < N) _mm_storeu_ps(to + (c + 3) * tile, r3);
        copyFourBlocks<N, c + 4>(from, to);
    }
}
#endif

void setBit(const MappedArray<std::uint64_t>& bits, std::uint64_t i)
{
    bits[i >> 6] |= std::uint64_t{1} << (i & 63);
}

} // namespace

void IAB_VMN_SampleStore::reserveFor(std::uint64_t bytes)
{
    const std::uint64_t pages = bytes / IAB_VMN_RawPage::s_size_in_bytes;
    if (pages == 0) return;
    // Only a hint: where the system will not reserve that much at once (a huge sparse file, a
    // strict overcommit policy), the arrays grow as the pages come instead.
    try {
        m_page.reserve(pages);
        if (m_keep_values) m_value.reserve(pages * kMostValues + kOpenTile);
        m_pps.reserve(bitWords(pages * kMostSamples));
        m_flag.reserve(bitWords(pages * kMostSamples));
    } catch (const std::bad_alloc&) {
    }
}

void IAB_VMN_SampleStore::ensureRoomForPage()
{
    m_page.ensure(m_pages, 1);
    // The open tile, and the next if the page runs into it.
    const std::uint64_t tile = tileFor(m_run_channels);
    if (m_keep_values) m_value.ensure(m_values, (m_run_samples / tile + 2) * tile * m_run_channels);
    const std::uint64_t words = bitWords(m_samples + kMostSamples);
    m_pps.ensure(0, words);
    m_flag.ensure(0, words);
}

void IAB_VMN_SampleStore::beginRun(unsigned int channels)
{
    endRun();
    m_run_channels = channels;
}

void IAB_VMN_SampleStore::endRun() noexcept
{
    // The last tile was laid out for a whole tile: its channels close up to its length.
    const std::uint64_t tile = tileFor(m_run_channels);
    const std::uint64_t length = m_run_samples % tile;
    if (!m_keep_values) {
        m_values += m_run_samples * m_run_channels;
        m_run_samples = 0;
        m_run_channels = 0;
        return;
    }
    float* last = m_value.data() + m_values + (m_run_samples - length) * m_run_channels;
    if (length)
        for (unsigned int c = 1; c < m_run_channels; ++c) std::memmove(last + c * length, last + c * tile, sizeof(float) * length);
    m_values += m_run_samples * m_run_channels;
    m_run_samples = 0;
    m_run_channels = 0;
}

unsigned int IAB_VMN_SampleStore::append(const IAB_VMN_RawPage& raw, std::int32_t date)
{
    ensureRoomForPage();
    Page& page = m_page[m_pages];
    page.date = date;
    std::memcpy(page.name, raw.bytes + 1, sizeof page.name);
    page.first_number = fullwave_blocks::numberOf(raw.word(fullwave_blocks::kFirstWord));

    float* const run = m_keep_values ? m_value.data() + m_values : nullptr;
    const std::uint64_t run_sample = m_run_samples;
    const std::uint64_t sample = m_samples;
    unsigned int count = 0;
    fullwave_blocks::withChannelCount(m_run_channels, [&](auto n) {
        count = fullwave_blocks::visitRun<n>(raw, [&](unsigned int k, std::uint32_t head, unsigned int) {
            if (head & 3u) {
                if (head & 1u) setBit(m_pps, sample + k);
                if (head & 2u) setBit(m_flag, sample + k);
            }
        });
        if (!m_keep_values) return;
        // The values go to n streams, one per channel, in pieces that stay within a tile.
        constexpr std::uint64_t tile = tileFor(n);
        const unsigned char* from = raw.bytes + 4 * (fullwave_blocks::kFirstWord + 1);
        [[maybe_unused]] const unsigned char* const page_end = raw.bytes + IAB_VMN_RawPage::s_size_in_bytes;
        for (unsigned int k = 0; k < count;) {
            const std::uint64_t s = run_sample + k;
            const std::uint64_t in_tile = s % tile;
            const auto piece = static_cast<unsigned int>(std::min<std::uint64_t>(count - k, tile - in_tile));
            float* to = run + (s - in_tile) * n + in_tile;
            unsigned int j = 0;
#if defined(__SSE2__)
            for (; j + 4 <= piece && from + kFourBlocksRead<n> <= page_end; j += 4, from += 16 * (n + 1), to += 4)
                copyFourBlocks<n>(from, to);
#endif
            for (; j < piece; ++j, from += 4 * (n + 1), ++to)
                for (unsigned int c = 0; c < n; ++c) std::memcpy(to + c * tile, from + 4 * c, sizeof(float));
            k += piece;
        }
    });
    page.blocks = static_cast<std::uint8_t>(count);
    ++m_pages;
    m_samples += count;
    m_run_samples += count;
    return count;
}

void IAB_VMN_SampleStore::finish() noexcept
{
    endRun();
    m_page.shrinkTo(m_pages);
    if (m_keep_values) m_value.shrinkTo(m_values);
    m_pps.shrinkTo(bitWords(m_samples));
    m_flag.shrinkTo(bitWords(m_samples));
}

IAB_VMN_RawPage IAB_VMN_SampleStore::rawPage(std::uint64_t i, const Run& run, std::uint64_t sample, std::uint64_t first_sample) const
{
    const Page& page = m_page[i];
    IAB_VMN_RawPage raw;
    raw.bytes[0] = static_cast<unsigned char>(IAB_VMN_PageHeader::s_ctrl_raw);
    std::memcpy(raw.bytes + 1, page.name, sizeof page.name);
    putWord(raw, 3, static_cast<std::uint32_t>(page.date));
    const unsigned int channels = run.channels();
    for (unsigned int k = 0; k < page.blocks; ++k) {
        const unsigned int word = fullwave_blocks::kFirstWord + k * (channels + 1);
        const std::uint32_t head = (pps(first_sample + k) ? 1u : 0u) | (flag(first_sample + k) ? 2u : 0u) | channels << 4 |
                                   (page.first_number + k) << 8;
        putWord(raw, word, head);
        for (unsigned int c = 0; c < channels; ++c) little_endian::store(raw.bytes + 4 * (word + 1 + c), run.value(sample + k, c));
    }
    return raw;
}
