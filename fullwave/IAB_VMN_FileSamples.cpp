// The sample queries of a recording, answered from its compact sample storage.

#include <fullwave/IAB_VMN_File.h>

#include <fullwave/BlockRun.h>
#include <fullwave/MappedBuffer.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif
#include <iterator>
#include <stdexcept>
#include <string>

namespace {

using Run = IAB_VMN_SampleStore::Run;
constexpr std::size_t kTile = IAB_VMN_SampleStore::s_tile;

void widen(const float* in, double* out, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<double>(in[i]);
}

// The overload rule of IAB_VMN_PageData::overloadBits applied to a whole tile at once,
// channel by channel: bit c of flags[k] says whether channel c of sample k is overloaded.
// Returns false, leaving flags alone, when no sample of the tile is overloaded, which is
// nearly always. Each loop is plain enough to run on vector instructions. The ranges (4980 and
// 14980) are floats exactly, so comparing a value with them in single precision decides as
// in double; the chain sum stays in double precision and adds channels 1.. in the same order.
// Whether any sample from k on is overloaded: any value at or above the range, or a chain
// sum of channels 1.. at or above the full range.
template <unsigned int N>
bool anyOverload(const float* tile, std::size_t length, std::size_t k, float range)
{
    for (; k < length; ++k) {
        double sum = 0.0;
        for (unsigned int c = 0; c < N; ++c) {
            const float v = tile[c * length + k];
            if (std::fabs(v) >= range) return true;
            if (c > 0) sum += static_cast<double>(v);
        }
        if (N > 1 && std::fabs(sum) >= IAB_VMN_FileHeader::s_full_range) return true;
    }
    return false;
}

// The same, four samples at a time where the processor has vector instructions: the sums of
// four samples are two pairs of doubles, added channel by channel in the same order.
template <unsigned int N>
bool anyOverloadInTile(const float* tile, std::size_t length, float range)
{
    std::size_t k = 0;
#if defined(__SSE2__)
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128d magnitude2 = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    const __m128 ranges = _mm_set1_ps(range);
    const __m128d full = _mm_set1_pd(IAB_VMN_FileHeader::s_full_range);
    __m128 over = _mm_setzero_ps();
    __m128d over2 = _mm_setzero_pd();
    for (; k + 4 <= length; k += 4) {
        __m128d low = _mm_setzero_pd(), high = _mm_setzero_pd();
        for (unsigned int c = 0; c < N; ++c) {
            const __m128 v = _mm_loadu_ps(tile + c * length + k);
            over = _mm_or_ps(over, _mm_cmpge_ps(_mm_and_ps(v, magnitude), ranges));
            if (c > 0) {
                low = _mm_add_pd(low, _mm_cvtps_pd(v));
                high = _mm_add_pd(high, _mm_cvtps_pd(_mm_movehl_ps(v, v)));
            }
        }
        if (N > 1) {
            over2 = _mm_or_pd(over2, _mm_cmpge_pd(_mm_and_pd(low, magnitude2), full));
            over2 = _mm_or_pd(over2, _mm_cmpge_pd(_mm_and_pd(high, magnitude2), full));
        }
    }
    if (_mm_movemask_ps(over) | _mm_movemask_pd(over2)) return true;
#endif
    return anyOverload<N>(tile, length, k, range);
}

template <unsigned int N>
bool tileOverloads(const float* tile, std::size_t length, double max, std::uint16_t* flags)
{
    const auto range = static_cast<float>(max);
    if (!anyOverloadInTile<N>(tile, length, range)) return false;
    const auto chain = static_cast<std::uint16_t>(((1u << N) - 1u) & ~1u);
    for (std::size_t k = 0; k < length; ++k) {
        std::uint16_t bits = 0;
        double sum = 0.0;
        for (unsigned int c = 0; c < N; ++c) {
            const float v = tile[c * length + k];
            if (std::fabs(v) >= range) bits |= static_cast<std::uint16_t>(1u << c);
            if (c > 0) sum += static_cast<double>(v);
        }
        if (N > 1 && std::fabs(sum) >= IAB_VMN_FileHeader::s_full_range) bits |= chain;
        flags[k] = bits;
    }
    return true;
}

bool tileOverloads(const float* tile, std::size_t length, unsigned int n, double max, std::uint16_t* flags)
{
    bool any = false;
    fullwave_blocks::withChannelCount(n, [&](auto channels) { any = tileOverloads<channels>(tile, length, max, flags); });
    return any;
}

#if defined(__SSE2__)
// Four floats to doubles at p; only the first `width` are written.
template <unsigned int width>
void storeRow(double* p, __m128 v)
{
    if constexpr (width >= 2) _mm_storeu_pd(p, _mm_cvtps_pd(v));
    else _mm_store_sd(p, _mm_cvtps_pd(v));
    if constexpr (width == 4) _mm_storeu_pd(p + 2, _mm_cvtps_pd(_mm_movehl_ps(v, v)));
    if constexpr (width == 3) _mm_store_sd(p + 2, _mm_cvtps_pd(_mm_movehl_ps(v, v)));
}

// Channels [c, c + width) of samples k .. k + 3, turned from four channel rows into four
// sample rows by one 4 x 4 transposition.
template <unsigned int N, unsigned int c, unsigned int width>
void fourRows(const float* tile, std::size_t length, std::size_t k, double* row)
{
    const auto load = [&](unsigned int i) { return i < width ? _mm_loadu_ps(tile + (c + i) * length + k) : _mm_setzero_ps(); };
    __m128 r0 = load(0), r1 = load(1), r2 = load(2), r3 = load(3);
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
    storeRow<width>(row + c, r0);
    storeRow<width>(row + N + c, r1);
    storeRow<width>(row + 2 * N + c, r2);
    storeRow<width>(row + 3 * N + c, r3);
}

template <unsigned int N, unsigned int c = 0>
void fourRowsAllChannels(const float* tile, std::size_t length, std::size_t k, double* row)
{
    if constexpr (c < N) {
        constexpr unsigned int width = N - c < 4 ? N - c : 4;
        fourRows<N, c, width>(tile, length, k, row);
        fourRowsAllChannels<N, c + width>(tile, length, k, row);
    }
}
#endif

// Samples [from, to) of a tile of `length` samples, row-major from out: sample k of channel c
// to out[(k - from) * N + c]. Four samples at a time are turned from channel rows into sample
// rows in registers where the processor has vector instructions.
template <unsigned int N>
void tileRows(const float* tile, std::size_t length, std::size_t from, std::size_t to, double* out)
{
    std::size_t k = from;
#if defined(__SSE2__)
    if constexpr (N > 0)
        for (; k + 4 <= to; k += 4) fourRowsAllChannels<N>(tile, length, k, out + (k - from) * N);
#endif
    for (; k < to; ++k)
        for (unsigned int c = 0; c < N; ++c) out[(k - from) * N + c] = static_cast<double>(tile[c * length + k]);
}

void requireRoom(std::size_t have, std::uint64_t need, const char* what)
{
    if (have != 0 && have < need)
        throw std::invalid_argument(std::string("fillStart: ") + what + " holds " + std::to_string(have) + " entries, " +
                                    std::to_string(need) + " needed");
}

} // namespace

const IAB_VMN_File::Start_& IAB_VMN_File::checkedStart(Start start) const
{
    if (start >= m_starts.size()) throw std::out_of_range("start index out of range");
    return m_starts[start];
}

const IAB_VMN_FileData& IAB_VMN_File::getData(std::uint64_t start, std::uint64_t i) const
{
    const Start_& s = checkedStart(start);
    if (i >= s.n_pages) throw std::out_of_range("data page index out of range");
    return m_page_objects.get(s.first_page + i, [&] { return makeDataPage(s, i); });
}

std::unique_ptr<IAB_VMN_FileData> IAB_VMN_File::makeDataPage(const Start_& s, std::uint64_t i) const
{
    const std::uint64_t page = s.first_page + i;
    // Pages of a start are numbered on without a gap, so a page's first sample number says
    // where its samples lie in the start.
    const std::uint64_t offset = m_store.page(page).first_number - s.first_number;
    const IAB_VMN_RawPage raw = m_store.rawPage(page, run(s), offset, s.first_sample + offset);
    // The stored date is already corrected: the header takes it as it stands.
    auto data = std::make_unique<IAB_VMN_FileData>(std::make_unique<IAB_VMN_PageHeader>(raw, false), true, raw);
    data->computeOverloads(s.header->get_max_rx());
    return data;
}

std::uint64_t IAB_VMN_File::getNsample(Start start) const
{
    return checkedStart(start).n_samples;
}

TimesSeriesContainer IAB_VMN_File::getDataContainer(Start start) const
{
    const Start_& s = checkedStart(start);
    TimesSeriesContainer container(getNsample(start), getNChannels(start));
    m_store.forEachPPS(s.first_sample, s.n_samples, [&](std::uint64_t k) { container.setPPS(k, true); });
    const Run samples = run(s);
    for (std::uint64_t t = 0; t < samples.tiles(); ++t) {
        const std::uint64_t length = samples.tileLength(t);
        for (unsigned int c = 0; c < samples.channels(); ++c) {
            const float* v = samples.tile(t) + c * length;
            for (std::uint64_t k = 0; k < length; ++k) container.setData(t * kTile + k, c, static_cast<double>(v[k]));
        }
    }
    return container;
}

void IAB_VMN_File::fillData(Start start, Channel channel, std::vector<double>& out) const
{
    const Start_& s = checkedStart(start);
    if (channel >= getNChannels(start)) throw std::domain_error("channel does not exists");
    out.clear();
    const double* before = out.data();
    out.reserve(s.n_samples);
    if (out.data() != before) adviseHugePages(out.data(), out.capacity() * sizeof(double));
    // Each tile goes through a small buffer in cache, so the vector is written once, in order.
    const Run samples = run(s);
    double buffer[kTile];
    for (std::uint64_t t = 0; t < samples.tiles(); ++t) {
        const std::size_t length = samples.tileLength(t);
        widen(samples.tile(t) + channel * length, buffer, length);
        out.insert(out.end(), buffer, buffer + length);
    }
    out.shrink_to_fit();
}

void IAB_VMN_File::fillOverload(Start start, Channel channel, std::vector<bool>& out) const
{
    const Start_& s = checkedStart(start);
    if (channel >= getNChannels(start)) throw std::domain_error("channel does not exists");
    out.clear();
    // Overloads are rare: all clear at once, then the few set.
    out.resize(s.n_samples, false);
    out.shrink_to_fit();
    const Run samples = run(s);
    const double max = s.header->get_max_rx();
    std::uint16_t flags[kTile];
    for (std::uint64_t t = 0; t < samples.tiles(); ++t) {
        const std::size_t length = samples.tileLength(t);
        if (!tileOverloads(samples.tile(t), length, samples.channels(), max, flags)) continue;
        for (std::size_t k = 0; k < length; ++k)
            if ((flags[k] >> channel) & 1u) out[t * kTile + k] = true;
    }
}

void IAB_VMN_File::fillPPS(Start start, std::vector<bool>& out) const
{
    const Start_& s = checkedStart(start);
    out.clear();
    out.resize(s.n_samples, false);
    out.shrink_to_fit();
    m_store.forEachPPS(s.first_sample, s.n_samples, [&](std::uint64_t k) { out[k] = true; });
}

void IAB_VMN_File::fillStart(Start start, std::span<double> values, std::span<bool> overloads, std::span<bool> pps) const
{
    fillStart(start, 0, checkedStart(start).n_samples, values, overloads, pps);
}

void IAB_VMN_File::fillStart(Start start, std::uint64_t first, std::uint64_t count, std::span<double> values,
                             std::span<bool> overloads, std::span<bool> pps) const
{
    const Start_& s = checkedStart(start);
    if (first > s.n_samples || count > s.n_samples - first)
        throw std::out_of_range("samples " + std::to_string(first) + " + " + std::to_string(count) + " past the " +
                                std::to_string(s.n_samples) + " of the start");
    // Without samples the header's channel count, however large, asks for nothing.
    const unsigned int n = count ? s.n_channels : 0;
    requireRoom(values.size(), count * n, "values");
    requireRoom(overloads.size(), count * n, "overloads");
    requireRoom(pps.size(), count, "pps");
    const Run samples = run(s);
    const double max = s.header->get_max_rx();
    std::uint16_t flags[kTile];
    const std::uint64_t end = first + count;
    for (std::uint64_t t = first / kTile; t * kTile < end; ++t) {
        // Samples [from, to) of this tile, which go to row (t * kTile + from - first).
        const std::size_t length = samples.tileLength(t);
        const std::size_t from = t * kTile < first ? first - t * kTile : 0;
        const std::size_t to = std::min<std::uint64_t>(length, end - t * kTile);
        const std::uint64_t row = t * kTile + from - first;
        if (!values.empty())
            fullwave_blocks::withChannelCount(n, [&](auto channels) {
                tileRows<channels>(samples.tile(t), length, from, to, values.data() + row * n);
            });
        if (!overloads.empty()) {
            bool* out = overloads.data() + row * n;
            if (!tileOverloads(samples.tile(t), length, n, max, flags))
                std::fill_n(out, (to - from) * n, false);
            else
                for (std::size_t k = from; k < to; ++k)
                    for (unsigned int c = 0; c < n; ++c) *out++ = (flags[k] >> c) & 1u;
        }
    }
    if (!pps.empty()) {
        std::fill_n(pps.data(), count, false);
        m_store.forEachPPS(s.first_sample + first, count, [&](std::uint64_t k) { pps[k] = true; });
    }
}
