#include <fullwave/SampleTiles.h>
#include <host/Internal.h>

#include <fullwave/BlockRun.h>
#include <fullwave/IAB_VMN_FilePage.h>

#include <cmath>
#include <compare>
#include <iterator>
#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

namespace fullwave_tiles ERTKIT_INTERNAL {

namespace {

// The overload flags of sample k of a tile whose channels are `stride` values apart, by the
// page blocks' own rule.
template <unsigned int N>
std::uint16_t sampleOverloads(const float* tile, std::size_t stride, std::size_t k, double max)
{
    float row[N > 0 ? N : 1] = {};
    for (unsigned int c = 0; c < N; ++c) row[c] = tile[c * stride + k];
    return IAB_VMN_PageData::overloadBits(row, N, max);
}

#if defined(__SSE2__)
// Whether none of the `count` samples from `tile` (channels `stride` values apart) can be
// overloaded, by a test that costs half the exact one and nearly always settles it: every
// value under the range, and the magnitudes of channels 1.. summing in single precision to
// under 14976. The chain sum in double precision cannot then reach the full range: the
// single-precision sum of at most 14 magnitudes is within a millionth of their exact sum,
// which bounds the chain sum's magnitude under 14977. A NaN or an infinity fails the test,
// leaving the answer to the exact rule.
template <unsigned int N>
bool plainlyQuiet(const float* tile, std::size_t stride, std::size_t count, __m128 ranges)
{
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128 chain_bound = _mm_set1_ps(14976.0f);
    __m128 quiet = _mm_castsi128_ps(_mm_set1_epi32(-1));
    for (std::size_t k = 0; k + 4 <= count; k += 4) {
        __m128 chain = _mm_setzero_ps();
        for (unsigned int c = 0; c < N; ++c) {
            const __m128 v = _mm_and_ps(_mm_loadu_ps(tile + c * stride + k), magnitude);
            quiet = _mm_and_ps(quiet, _mm_cmplt_ps(v, ranges));
            if (c > 0) chain = _mm_add_ps(chain, v);
        }
        quiet = _mm_and_ps(quiet, _mm_cmplt_ps(chain, chain_bound));
    }
    return _mm_movemask_ps(quiet) == 0xF;
}
#endif

// Whether any of the `count` samples from `tile` (channels `stride` values apart) is
// overloaded: a value at or above the range, or a chain sum of channels 1.. at or above the
// full range. Four samples at a time where the processor has
// vector instructions: the ranges (4980 and 14980) are floats exactly, so a value compares
// with them in single precision as in double, and the chain sums of four samples are two
// pairs of doubles, added channel by channel in the rule's order.
template <unsigned int N>
bool anyOverload(const float* tile, std::size_t stride, std::size_t count, double max)
{
    std::size_t k = 0;
    [[maybe_unused]] const auto range = static_cast<float>(max);
#if defined(__SSE2__)
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128d magnitude2 = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    const __m128 ranges = _mm_set1_ps(range);
    const __m128d full = _mm_set1_pd(IAB_VMN_FileHeader::s_full_range);
    // Only the samples of a tile that may be overloaded go through the exact rule.
    if (plainlyQuiet<N>(tile, stride, count, ranges)) k = count / 4 * 4;
    __m128 over = _mm_setzero_ps();
    __m128d over2 = _mm_setzero_pd();
    for (; k + 4 <= count; k += 4) {
        __m128d low = _mm_setzero_pd(), high = _mm_setzero_pd();
        for (unsigned int c = 0; c < N; ++c) {
            const __m128 v = _mm_loadu_ps(tile + c * stride + k);
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
    for (; k < count; ++k)
        if (sampleOverloads<N>(tile, stride, k, max)) return true;
    return false;
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

// Four samples at a time are turned from channel rows into sample rows in registers where the
// processor has vector instructions.
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

} // namespace

namespace {

// Floats read as doubles, for vector::insert: a random-access range whose elements are made
// as they are copied, so the vector is written once, straight from the floats, in one loop
// the compiler turns into vector instructions (a bounce through a buffer in cache cost half
// again as much). Its elements are values, not references, which the range insert does not
// need; tagged as an input range it would append them one at a time.
class Widening {
public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = double;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = double;

    explicit Widening(const float* p) : m_p(p) {}
    double operator*() const { return static_cast<double>(*m_p); }
    double operator[](difference_type i) const { return static_cast<double>(m_p[i]); }
    Widening& operator++() { ++m_p; return *this; }
    Widening operator++(int) { Widening was = *this; ++m_p; return was; }
    Widening& operator--() { --m_p; return *this; }
    Widening operator--(int) { Widening was = *this; --m_p; return was; }
    Widening& operator+=(difference_type n) { m_p += n; return *this; }
    Widening& operator-=(difference_type n) { m_p -= n; return *this; }
    Widening operator+(difference_type n) const { return Widening(m_p + n); }
    Widening operator-(difference_type n) const { return Widening(m_p - n); }
    difference_type operator-(const Widening& other) const { return m_p - other.m_p; }
    auto operator<=>(const Widening& other) const = default;

private:
    const float* m_p;
};

} // namespace

void appendWidened(std::vector<double>& out, const float* in, std::size_t n)
{
    out.insert(out.end(), Widening(in), Widening(in + n));
}

bool overloads(const float* tile, std::size_t length, std::size_t from, std::size_t to, unsigned int n, double max,
               std::uint16_t* flags)
{
    bool any = false;
    const float* piece = tile + from;
    fullwave_blocks::withChannelCount(n, [&](auto channels) {
        any = anyOverload<channels>(piece, length, to - from, max);
        if (any)
            for (std::size_t k = 0; k < to - from; ++k) flags[k] = sampleOverloads<channels>(piece, length, k, max);
    });
    return any;
}

void rows(const float* tile, std::size_t length, unsigned int n, std::size_t from, std::size_t to, double* out)
{
    fullwave_blocks::withChannelCount(n, [&](auto channels) { tileRows<channels>(tile, length, from, to, out); });
}

} // namespace fullwave_tiles
