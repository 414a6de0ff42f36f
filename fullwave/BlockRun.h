#pragma once

#include <host/Internal.h>

#include <fullwave/IAB_VMN_PageHeader.h>
#include <fullwave/IAB_VMN_RawPage.h>

#include <cstdint>
#include <type_traits>
#include <utility>

// The run of sample blocks a data page carries, shared by the page objects and the reader's
// compact storage so that both keep exactly the same blocks.
namespace fullwave_blocks ERTKIT_INTERNAL {

inline constexpr unsigned int kFirstWord = IAB_VMN_PageHeader::s_file_size_in_int;

// Fields of a block's first word.
inline unsigned int channelsOf(std::uint32_t head)
{
    return (head >> 4) & 0xFu;
}
inline std::uint32_t numberOf(std::uint32_t head)
{
    return head >> 8;
}

// Calls visit(k, head, word) for each block of the page's run: block 0 at word 4, then every
// next block that ends within the page, keeps block 0's channel count N and is numbered one
// after the block before it. Returns the number of blocks.
template <unsigned int N, typename Visit>
unsigned int visitRun(const IAB_VMN_RawPage& raw, Visit&& visit)
{
    constexpr unsigned int stride = N + 1;
    constexpr unsigned int most = (IAB_VMN_RawPage::s_size_in_int - kFirstWord) / stride;
    const std::uint32_t first = numberOf(raw.word(kFirstWord));
    unsigned int k = 0;
    if (first + most <= 0xFFFFFFu) {
        // No block number of the page can pass 24 bits, so the channel count and the number
        // are checked together on the block's first word.
        const std::uint32_t pattern = first << 8 | N << 4;
        for (; k < most; ++k) {
            const unsigned int word = kFirstWord + k * stride;
            const std::uint32_t head = raw.word(word);
            if (k > 0 && (head & 0xFFFFFFF0u) != pattern + (k << 8)) break;
            visit(k, head, word);
        }
        return k;
    }
    for (; k < most; ++k) {
        const unsigned int word = kFirstWord + k * stride;
        const std::uint32_t head = raw.word(word);
        if (k > 0 && (channelsOf(head) != N || numberOf(head) != first + k)) break;
        visit(k, head, word);
    }
    return k;
}

// Calls f(std::integral_constant<unsigned int, n>{}) for a channel count n of 0-15, so that
// the block loops are compiled for each count.
template <typename F>
void withChannelCount(unsigned int n, F&& f)
{
    [&]<unsigned int... N>(std::integer_sequence<unsigned int, N...>) {
        (void)((n == N ? (f(std::integral_constant<unsigned int, N>{}), true) : false) || ...);
    }(std::make_integer_sequence<unsigned int, 16>{});
}

} // namespace fullwave_blocks
