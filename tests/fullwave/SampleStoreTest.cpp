// The reader keeps its samples in its own compact form and rebuilds page objects from it, so
// everything it hands out is checked here against what was written: the whole-start fill
// against the per-channel queries and the samples themselves, the page objects against a
// decode of the original page bytes, and both again from several threads at once.

#include <fullwave/IAB_VMN_File.h>
#include <fullwave/IAB_VMN_SampleStore.h>
#include <fullwave/SampleTiles.h>

#include <writers/FullWavePages.h>
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <latch>
#include <limits>
#include <memory>
#include <random>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace ertkit_test;
using namespace ertkit_writers;

namespace {

constexpr double kFull = IAB_VMN_FileHeader::s_full_range;
constexpr double kHalf = IAB_VMN_FileHeader::s_half_range;
// The pieces of a tile whose overload flags are settled together.
constexpr std::uint64_t kPiece = fullwave_tiles::kFlagPiece;

// Samples in a tile of the stored layout. A quiet start is clear through its first tile; its
// events lie in the second.
std::uint64_t tileOf(unsigned int channels)
{
    return IAB_VMN_SampleStore::tileFor(channels);
}

// What a start must hold, as written.
struct ExpectedStart {
    unsigned int channels = 0;
    double max = 0.0;
    std::vector<float> values{}; // sample-major
    std::vector<std::uint8_t> pps{};
    std::vector<IAB_VMN_RawPage> pages{}; // its data pages as written
    std::uint32_t next_number = 0;
    std::uint64_t samples() const { return pps.size(); }
};

struct Recording {
    std::string bytes;
    std::vector<ExpectedStart> starts;
    bool is_vmn = false;
    std::uint64_t chain_only = 0; // samples overloaded by the chain sum alone
};

// The overload rule as the receiver defines it, to check the reader's two implementations of it.
std::vector<std::uint8_t> overloadsOf(const float* v, unsigned int n, double max)
{
    std::vector<std::uint8_t> out(n);
    double sum = 0.0;
    for (unsigned int c = 0; c < n; ++c) {
        out[c] = std::fabs(v[c]) >= max;
        if (c > 0) sum += v[c];
    }
    if (std::fabs(sum) >= kFull)
        for (unsigned int c = 1; c < n; ++c) out[c] = true;
    return out;
}

// Writes a recording of one channel count with pages of every length, runs cut short by a
// stray block, skipped pages, a gap, names and dates of every kind, and samples at, over and
// just under the ranges, while noting what each start must hold.
class RecordingMaker {
public:
    RecordingMaker(unsigned int channels, bool is_vmn, std::uint32_t seed) : m_n(channels), m_random(seed) { m_rec.is_vmn = is_vmn; }

    RecordingMaker& config(const std::string& name, bool full_range)
    {
        ConfigFields f;
        f.name = name;
        f.n_channel = m_n;
        f.input_voltage = full_range ? 1 : 0;
        m_bytes.page(configPage(f));
        m_rec.starts.push_back({m_n, full_range ? kFull : kHalf});
        m_data_name = name == "RAW_CONFIG" ? "" : name;
        return *this;
    }

    // `count` samples numbered from `first`; a number past the next one opens a new start.
    RecordingMaker& samples(std::uint32_t first, std::uint64_t count)
    {
        if (!m_rec.starts.back().pages.empty() && first != m_rec.starts.back().next_number)
            m_rec.starts.push_back({m_n, m_rec.starts.back().max});
        ExpectedStart& start = m_rec.starts.back();
        const unsigned int capacity = blocksPerPage(m_n);
        static const std::string names[] = {"RAW", "RAW", "ANYTHING", "RAWX", "ABCDEFGHIJK", "", std::string("RAW\0ZZ", 6)};
        static const std::int32_t dates[] = {1700000000, 765590399, 765590400, -5, 0};
        for (std::uint64_t done = 0; done < count;) {
            const unsigned int lengths[] = {capacity, capacity, capacity, 1, capacity > 1 ? capacity - 1 : 1,
                                            1 + static_cast<unsigned int>(m_random() % capacity)};
            const auto length = static_cast<unsigned int>(std::min<std::uint64_t>(lengths[m_random() % 6], count - done));
            std::vector<Block> blocks(length);
            for (unsigned int k = 0; k < length; ++k) {
                Block& b = blocks[k];
                b.n_10_ms = first + static_cast<std::uint32_t>(done) + k;
                b.values = m_quiet ? quietSample(start.samples()) : sample();
                b.pps = m_random() % 7 == 0;
                b.flag = m_random() % 5 == 0;
                start.values.insert(start.values.end(), b.values.begin(), b.values.end());
                start.pps.push_back(b.pps);
                const std::vector<std::uint8_t> flags = overloadsOf(b.values.data(), m_n, start.max);
                bool single = false;
                for (unsigned int c = 0; c < m_n; ++c) single = single || std::fabs(b.values[c]) >= start.max;
                m_rec.chain_only += !single && std::find(flags.begin(), flags.end(), 1) != flags.end();
            }
            // A block that breaks the run: its page ends before it. Past the last number a
            // block can carry, one of the same channel count whose number wraps to 0.
            const std::uint32_t next = first + static_cast<std::uint32_t>(done) + length;
            if (next > 0xFFFFFF) {
                blocks.push_back({next, sample()});
            } else if (m_random() % 3 == 0) {
                Block stray{next, sample()};
                if (m_random() % 2) ++stray.n_10_ms;
                else stray.values.resize((m_n + 1) % 16, 1.0f);
                blocks.push_back(stray);
            }
            const std::string& name = m_data_name.empty() ? names[m_random() % std::size(names)] : m_data_name;
            const IAB_VMN_RawPage raw = dataPage(blocks, name, dates[m_random() % std::size(dates)]);
            m_bytes.page(raw);
            start.pages.push_back(raw);
            done += length;
        }
        start.next_number = first + static_cast<std::uint32_t>(count);
        return *this;
    }

    // Like samples, but with values that stay clear of the ranges through the first tile, then
    // for one sample in each of the next four pieces and one in the last piece's tail: the few
    // overloads a piece holds must still be found however the reader scans for them, and a
    // clear piece reads clear.
    RecordingMaker& quiet(std::uint32_t first, std::uint64_t count)
    {
        m_quiet = true;
        samples(first, count);
        m_quiet = false;
        return *this;
    }

    // Pages the walk passes over: one of unknown kind, one of another channel count.
    RecordingMaker& skipped()
    {
        m_bytes.page(otherPage('U', "MEASURE"));
        std::vector<Block> other(2);
        for (unsigned int k = 0; k < 2; ++k) other[k] = {m_rec.starts.back().next_number + k, std::vector<float>((m_n + 3) % 16, 2.0f)};
        m_bytes.page(dataPage(other));
        return *this;
    }

    Recording done()
    {
        m_rec.bytes = m_bytes.str();
        return std::move(m_rec);
    }

private:
    std::vector<float> sample()
    {
        std::vector<float> v(m_n);
        for (float& x : v) x = static_cast<float>(static_cast<int>(m_random() % 200001) - 100000) / 100.0f;
        if (m_n == 0) return v;
        const unsigned int at = m_random() % m_n;
        const float sign = m_random() % 2 ? 1.0f : -1.0f;
        switch (m_random() % 10) {
        case 0: v[at] = sign * static_cast<float>(m_random() % 2 ? kHalf : kFull); break;
        case 1: v[at] = sign * std::nextafter(static_cast<float>(m_random() % 2 ? kHalf : kFull), 0.0f); break;
        case 2:
        case 3:
            // Channels 1.. summing to the full range exactly, or one short of it.
            if (m_n > 1) {
                const int others = static_cast<int>(m_n) - 1;
                for (unsigned int c = 1; c < m_n; ++c) v[c] = sign * static_cast<float>(14980 / others);
                v[1] += sign * static_cast<float>(14980 % others - static_cast<int>(m_random() % 2));
            }
            break;
        case 4: {
            const float odd[] = {std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::quiet_NaN(), -0.0f};
            v[at] = odd[m_random() % 4];
            break;
        }
        default: break;
        }
        return v;
    }

    // Sample `position` of a quiet start.
    std::vector<float> quietSample(std::uint64_t position)
    {
        const double max = m_rec.starts.back().max;
        std::vector<float> v(m_n);
        for (float& x : v) x = static_cast<float>(static_cast<int>(m_random() % 20001) - 10000) / 10.0f;
        if (m_n == 0) return v;
        const int others = static_cast<int>(m_n) - 1;
        // Channels 1.. summing to `sum` in whole numbers.
        const auto chain = [&](int sum) {
            for (unsigned int c = 1; c < m_n; ++c) v[c] = static_cast<float>(sum / others);
            v[1] += static_cast<float>(sum % others);
        };
        if (position < tileOf(m_n)) return v;
        const std::uint64_t index = position - tileOf(m_n);
        // One event per piece, in different lanes of four samples: at the range on channel 0 and
        // on the last channel, a chain sum of exactly the full range either way, none in the
        // fifth piece, and one in the scalar tail of a last piece of 7 samples.
        switch (index) {
        case 1: v[0] = static_cast<float>(max); return v;
        case kPiece + kPiece - 1: v[m_n - 1] = -static_cast<float>(max); return v;
        case 2 * kPiece + 514:
            if (others > 0) chain(14980);
            else v[0] = -static_cast<float>(max);
            return v;
        case 3 * kPiece + 1020:
            if (others > 0) chain(-14980);
            else v[0] = static_cast<float>(max);
            return v;
        case 5 * kPiece + 5: v[m_n / 2] = static_cast<float>(max); return v;
        case 4 * kPiece + 100:
            // In the clear piece, magnitudes just under the range on every channel of the chain,
            // in alternating signs: far past the full range in magnitude, never in sum.
            for (unsigned int c = 1; c < m_n; ++c) v[c] = (c % 2 ? 1.0f : -1.0f) * std::nextafter(static_cast<float>(max), 0.0f);
            return v;
        default: break;
        }
        // Near misses from the clear piece on: just under the range, NaN, a chain sum one short.
        // The pieces before hold their event and small values alone, so a quick test that let
        // an event through would not be rescued by a near miss sending the piece to the exact
        // rule.
        if (index < 4 * kPiece) return v;
        switch (m_random() % 50) {
        case 0: {
            // Alone in the chain, so that the sum stays short too.
            const unsigned int at = m_random() % m_n;
            if (at > 0) std::fill(v.begin() + 1, v.end(), 0.0f);
            v[at] = -std::nextafter(static_cast<float>(max), 0.0f);
            break;
        }
        case 1: v[m_random() % m_n] = std::numeric_limits<float>::quiet_NaN(); break;
        case 2:
            if (others > 0 && 14980.0 / others < max) chain(14979);
            break;
        default: break;
        }
        return v;
    }

    unsigned int m_n;
    bool m_quiet = false;
    std::mt19937 m_random;
    RecordingBuilder m_bytes;
    Recording m_rec;
    std::string m_data_name;
};

// Starts of one channel count: one longer than two tiles with skipped pages inside, one opened
// by a gap, one without data, one after a header whose name the data pages must carry.
Recording recordingOf(unsigned int channels)
{
    const bool full = channels % 2 == 1;
    const auto first = static_cast<std::uint32_t>(tileOf(channels) + 176);
    const auto second = static_cast<std::uint32_t>(tileOf(channels) - 76);
    return RecordingMaker(channels, channels % 2 == 0, 1000 + channels)
        .config("RAW_CONFIG", full)
        .samples(1, first)
        .skipped()
        .samples(1 + first, second)
        .samples(1 + first + second + 5, 200)
        .samples(0xFFFFFF - 400, 401) // numbers up to the last a block can carry
        .config("HDR7", !full)
        .config("HDR7", !full)
        .samples(0, 1100)
        .done();
}

Recording quietRecordingOf(unsigned int channels)
{
    return RecordingMaker(channels, false, 2000 + channels)
        .config("RAW_CONFIG", channels % 2 == 0)
        .quiet(1, tileOf(channels) + 5 * kPiece + 7)
        .done();
}

IAB_VMN_File read(const Recording& rec)
{
    LogCapture quiet;
    std::istringstream stream(rec.bytes);
    return IAB_VMN_File(stream, 4567, 123, rec.is_vmn);
}

// Equal as stored: bit for bit, or both NaN (float to double conversion may quiet a NaN).
bool same(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) || (std::isnan(a) && std::isnan(b));
}

// The outputs of fillStart, one row past what is asked for so that a write beyond shows.
struct Rows {
    static constexpr double kUnwritten = 1e30;
    Rows(std::uint64_t samples, std::uint64_t channels)
        : values((samples + 1) * channels, kUnwritten),
          overloads(new bool[(samples + 1) * channels]),
          pps(new bool[samples + 1]),
          n_values((samples + 1) * channels),
          n_pps(samples + 1)
    {
        std::fill_n(overloads.get(), n_values, true);
        std::fill_n(pps.get(), n_pps, true);
    }
    std::span<double> valueSpan() { return values; }
    std::span<bool> overloadSpan() { return {overloads.get(), n_values}; }
    std::span<bool> ppsSpan() { return {pps.get(), n_pps}; }

    std::vector<double> values;
    std::unique_ptr<bool[]> overloads;
    std::unique_ptr<bool[]> pps;
    std::size_t n_values;
    std::size_t n_pps;
};

// The per-channel queries of a start, sample-major.
struct ChannelQueries {
    std::vector<double> values;
    std::vector<std::uint8_t> overloads; // vector<bool> would make the comparisons slow
    std::vector<std::uint8_t> pps;
};

ChannelQueries channelQueries(const IAB_VMN_File& file, std::uint64_t s)
{
    ChannelQueries q;
    const std::uint64_t n = file.getNChannels(s);
    const std::uint64_t samples = file.getNsample(s);
    q.values.resize(samples * n);
    q.overloads.resize(samples * n);
    std::vector<double> data;
    std::vector<bool> flags;
    for (std::uint64_t c = 0; c < n; ++c) {
        file.fillData(s, c, data);
        file.fillOverload(s, c, flags);
        if (data.size() != samples || flags.size() != samples) ADD_FAILURE() << "channel " << c << " of start " << s;
        for (std::uint64_t k = 0; k < std::min<std::uint64_t>(samples, data.size()); ++k) q.values[k * n + c] = data[k];
        for (std::uint64_t k = 0; k < std::min<std::uint64_t>(samples, flags.size()); ++k) q.overloads[k * n + c] = flags[k];
    }
    file.fillPPS(s, flags);
    q.pps.assign(flags.begin(), flags.end());
    return q;
}

// What the start was written with, as the per-channel queries must give it.
ChannelQueries written(const ExpectedStart& e)
{
    ChannelQueries w{std::vector<double>(e.values.begin(), e.values.end()), {}, e.pps};
    for (std::uint64_t k = 0; k < e.samples(); ++k) {
        const std::vector<std::uint8_t> flags = overloadsOf(e.values.data() + k * e.channels, e.channels, e.max);
        w.overloads.insert(w.overloads.end(), flags.begin(), flags.end());
    }
    return w;
}

std::string firstDifference(const ChannelQueries& a, const ChannelQueries& b, std::uint64_t n)
{
    if (a.values.size() != b.values.size() || a.overloads.size() != b.overloads.size() || a.pps.size() != b.pps.size())
        return "sizes";
    for (std::size_t i = 0; i < a.values.size(); ++i)
        if (!same(a.values[i], b.values[i]) || a.overloads[i] != b.overloads[i])
            return "sample " + std::to_string(i / n) + " channel " + std::to_string(i % n);
    for (std::size_t k = 0; k < a.pps.size(); ++k)
        if (a.pps[k] != b.pps[k]) return "pps of sample " + std::to_string(k);
    return "";
}

// The first row of `rows` (from row 0) that differs from rows first.. of `want`, or "".
std::string firstDifference(Rows& rows, const ChannelQueries& want, std::uint64_t first, std::uint64_t count, std::uint64_t n)
{
    for (std::uint64_t k = 0; k < count; ++k) {
        for (std::uint64_t c = 0; c < n; ++c) {
            const std::uint64_t at = (first + k) * n + c;
            if (!same(rows.values[k * n + c], want.values[at]) || rows.overloads[k * n + c] != want.overloads[at])
                return "sample " + std::to_string(first + k) + " channel " + std::to_string(c);
        }
        if (rows.pps[k] != want.pps[first + k]) return "pps of sample " + std::to_string(first + k);
    }
    // The row past the range is the caller's: untouched.
    for (std::uint64_t c = 0; c < n; ++c)
        if (rows.values[count * n + c] != Rows::kUnwritten || !rows.overloads[count * n + c]) return "written past the range";
    if (!rows.pps[count]) return "pps written past the range";
    return "";
}

// Field for field, values bit for bit.
bool samePage(const IAB_VMN_FileData& a, const IAB_VMN_FileData& b)
{
    const IAB_VMN_PageHeader& ha = a.get_header();
    const IAB_VMN_PageHeader& hb = b.get_header();
    if (ha.get_ctrl() != hb.get_ctrl() || ha.get_name() != hb.get_name() || ha.get_date() != hb.get_date() ||
        a.get_complete() != b.get_complete() || a.dataSize() != b.dataSize())
        return false;
    for (unsigned int k = 0; k < a.dataSize(); ++k) {
        const IAB_VMN_PageData& x = a.getData(k);
        const IAB_VMN_PageData& y = b.getData(k);
        if (x.get_has_PPS() != y.get_has_PPS() || x.get_flag() != y.get_flag() || x.get_n_channel() != y.get_n_channel() ||
            x.get_n_10_ms() != y.get_n_10_ms())
            return false;
        for (unsigned int c = 0; c < IAB_VMN_PageData::s_max_channels; ++c)
            if (std::bit_cast<std::uint32_t>(x.get_value(c)) != std::bit_cast<std::uint32_t>(y.get_value(c)) ||
                x.get_overload(c) != y.get_overload(c))
                return false;
    }
    return true;
}

// The page object a decode of the written bytes gives, overloads computed with the start's range.
std::unique_ptr<IAB_VMN_FileData> decoded(const IAB_VMN_RawPage& raw, bool is_vmn, double max)
{
    std::unique_ptr<IAB_VMN_FilePage> page(IAB_VMN_FilePage::buildPage(raw, true, is_vmn));
    std::unique_ptr<IAB_VMN_FileData> data(dynamic_cast<IAB_VMN_FileData*>(page.get()));
    if (data) page.release();
    else ADD_FAILURE() << "not a data page";
    if (data) data->computeOverloads(max);
    return data;
}

} // namespace

// Each recording's starts, and a quiet start of a clear tile, five whole pieces and 7 samples whose
// overloads are one per piece but the fifth: the few overloads of a piece must be found however the
// reader scans for them. The page objects must equal a decode of the pages written.
TEST(SampleStore, FillStartAndPagesEqualTheChannelQueriesAndWhatWasWritten)
{
    std::uint64_t chain_only = 0;
    for (unsigned int n = 0; n <= 15; ++n) {
        for (const bool quiet : {false, true}) {
            if (quiet && n == 0) continue;
            SCOPED_TRACE("channels " + std::to_string(n) + (quiet ? ", quiet" : ""));
            const Recording rec = quiet ? quietRecordingOf(n) : recordingOf(n);
            chain_only += rec.chain_only;
            const IAB_VMN_File file = read(rec);
            ASSERT_EQ(file.getNStarts(), rec.starts.size());
            for (std::uint64_t s = 0; s < file.getNStarts(); ++s) {
                SCOPED_TRACE("start " + std::to_string(s));
                const ExpectedStart& e = rec.starts[s];
                const std::uint64_t samples = file.getNsample(s);
                ASSERT_EQ(samples, e.samples());
                ASSERT_EQ(file.getNChannels(s), n);

                // The per-channel queries give the samples written, flagged by the rule.
                const ChannelQueries q = channelQueries(file, s);
                EXPECT_EQ(firstDifference(q, written(e), n), "");
                if (quiet) {
                    std::uint64_t overloaded = 0;
                    for (std::uint64_t k = 0; k < samples; ++k)
                        overloaded += std::find(q.overloads.begin() + k * n, q.overloads.begin() + (k + 1) * n, 1) !=
                                      q.overloads.begin() + (k + 1) * n;
                    EXPECT_EQ(overloaded, 5u);
                }

                Rows whole(samples, n);
                file.fillStart(s, whole.valueSpan(), whole.overloadSpan(), whole.ppsSpan());
                EXPECT_EQ(firstDifference(whole, q, 0, samples, n), "");

                // Ranges within a piece, across one or two piece or tile edges, empty, and at the
                // end; in a quiet start, the clear tile, an overloaded sample alone, the rest of its
                // piece, the clear piece, the last piece and its tail.
                const std::uint64_t tile = tileOf(n);
                const std::pair<std::uint64_t, std::uint64_t> ranges[] = {
                    {0, 0}, {0, 1}, {1020, 10}, {1023, 1026}, {5, 2048}, {2047, 2}, {tile - 4, 10}, {tile - 1, tile + 2},
                    {5, 2 * tile}, {2 * tile - 1, 2}, {samples, 0}, {samples > 0 ? samples - 1 : 0, samples > 0 ? 1 : 0},
                    {samples > 300 ? samples - 300 : 0, std::min<std::uint64_t>(samples, 300)}, {0, samples}, {0, tile},
                    {tile + 1, 1}, {tile + 2, kPiece - 2}, {tile - 3, 5}, {tile + 4 * kPiece, kPiece}, {tile + 5 * kPiece, 7},
                    {tile + 5 * kPiece + 4, 3}};
                for (const auto& [first, count] : ranges) {
                    if (first + count > samples) continue;
                    Rows part(count, n);
                    file.fillStart(s, first, count, part.valueSpan(), part.overloadSpan(), part.ppsSpan());
                    EXPECT_EQ(firstDifference(part, q, first, count, n), "") << "range " << first << " + " << count;
                }

                // An empty span skips its output only.
                Rows values_only(samples, n);
                file.fillStart(s, values_only.valueSpan(), {}, {});
                Rows flags_only(samples, n);
                file.fillStart(s, {}, flags_only.overloadSpan(), flags_only.ppsSpan());
                bool filled = true;
                bool skipped = true;
                for (std::uint64_t k = 0; k < samples * n; ++k) {
                    filled = filled && same(values_only.values[k], q.values[k]) && flags_only.overloads[k] == q.overloads[k];
                    skipped = skipped && values_only.overloads[k] && flags_only.values[k] == Rows::kUnwritten;
                }
                for (std::uint64_t k = 0; k < samples; ++k) {
                    filled = filled && flags_only.pps[k] == q.pps[k];
                    skipped = skipped && values_only.pps[k];
                }
                EXPECT_TRUE(filled);
                EXPECT_TRUE(skipped);
                file.fillStart(s, {}, {}, {});

                const TimesSeriesContainer container = file.getDataContainer(s);
                ASSERT_EQ(container.getNSample(), samples);
                ASSERT_EQ(container.getNChan(), n);
                ChannelQueries held{std::vector<double>(samples * n), q.overloads, std::vector<std::uint8_t>(samples)};
                for (std::uint64_t k = 0; k < samples; ++k) {
                    for (unsigned int c = 0; c < n; ++c) held.values[k * n + c] = container.getData(k, c);
                    held.pps[k] = container.getPPS(k);
                }
                EXPECT_EQ(firstDifference(held, q, n), "");

                ASSERT_EQ(file.getNData(s), e.pages.size());
                std::uint64_t blocks = 0;
                for (std::uint64_t i = 0; i < file.getNData(s); ++i) {
                    const IAB_VMN_FileData& page = file.getData(s, i);
                    const auto want = decoded(e.pages[i], rec.is_vmn, file.getHeader(s).get_max_rx());
                    ASSERT_TRUE(want);
                    ASSERT_TRUE(samePage(page, *want)) << "page " << i;
                    EXPECT_EQ(&file.getData(s, i), &page);
                    blocks += page.dataSize();
                }
                EXPECT_EQ(blocks, samples);
                EXPECT_THROW(file.getData(s, file.getNData(s)), std::out_of_range);
            }
            EXPECT_THROW(file.getData(file.getNStarts(), 0), std::out_of_range);
        }
    }
    EXPECT_GT(chain_only, 0u) << "the recordings no longer reach the chain-sum rule";
}

TEST(SampleStore, FillStartRefusesBadArguments)
{
    for (unsigned int n : {0u, 3u, 15u}) {
        SCOPED_TRACE("channels " + std::to_string(n));
        const IAB_VMN_File file = read(recordingOf(n));
        const std::uint64_t s = 0;
        const std::uint64_t samples = file.getNsample(s);
        std::vector<double> values(samples * n);
        std::unique_ptr<bool[]> flags(new bool[samples * n + 1]);
        std::unique_ptr<bool[]> pps(new bool[samples]);
        const std::span<bool> all_flags(flags.get(), samples * n);
        const std::span<bool> all_pps(pps.get(), samples);
        if (n > 0) {
            EXPECT_THROW(file.fillStart(s, std::span<double>(values).first(values.size() - 1), {}, {}), std::invalid_argument);
            EXPECT_THROW(file.fillStart(s, {}, all_flags.first(all_flags.size() - 1), {}), std::invalid_argument);
            EXPECT_THROW(file.fillStart(s, 10, 20, std::span<double>(values).first(20 * n - 1), {}, {}), std::invalid_argument);
        } else {
            // Samples without channels ask for no room: any span will do.
            file.fillStart(s, std::span<double>(values.data(), 0), std::span<bool>(flags.get(), 1), {});
        }
        EXPECT_THROW(file.fillStart(s, values, all_flags, all_pps.first(samples - 1)), std::invalid_argument);
        EXPECT_THROW(file.fillStart(s, 0, 2, {}, {}, all_pps.first(1)), std::invalid_argument);

        EXPECT_THROW(file.fillStart(file.getNStarts(), values, all_flags, all_pps), std::out_of_range);
        EXPECT_THROW(file.fillStart(file.getNStarts(), 0, 0, {}, {}, {}), std::out_of_range);
        const std::pair<std::uint64_t, std::uint64_t> past[] = {
            {samples, 1}, {0, samples + 1}, {samples + 1, 0}, {1, std::numeric_limits<std::uint64_t>::max()},
            {std::numeric_limits<std::uint64_t>::max(), 2}};
        for (const auto& [first, count] : past)
            EXPECT_THROW(file.fillStart(s, first, count, values, all_flags, all_pps), std::out_of_range) << first << " + " << count;
    }
}

TEST(SampleStore, ConcurrentQueriesOnAFreshReaderAgree)
{
    const Recording rec = recordingOf(3);
    const IAB_VMN_File reference = read(rec);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> pages;
    std::vector<const IAB_VMN_FileData*> want;
    for (std::uint64_t s = 0; s < reference.getNStarts(); ++s)
        for (std::uint64_t i = 0; i < reference.getNData(s); ++i) {
            pages.emplace_back(s, i);
            want.push_back(&reference.getData(s, i));
        }
    std::vector<ChannelQueries> want_queries;
    for (std::uint64_t s = 0; s < reference.getNStarts(); ++s) want_queries.push_back(channelQueries(reference, s));

    constexpr unsigned int kThreads = 8;
    for (int round = 0; round < 10; ++round) {
        const IAB_VMN_File file = read(rec);
        std::vector<std::vector<const IAB_VMN_FileData*>> seen(kThreads, std::vector<const IAB_VMN_FileData*>(pages.size()));
        std::vector<std::string> failures(kThreads);
        std::latch go(kThreads);
        std::vector<std::thread> threads;
        for (unsigned int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                go.arrive_and_wait();
                // Half the threads walk the pages in the same order, racing for each page first;
                // the others start elsewhere.
                const std::size_t offset = t % 2 ? t * 37 : 0;
                for (std::size_t j = 0; j < pages.size(); ++j) {
                    const std::size_t p = (j + offset) % pages.size();
                    const IAB_VMN_FileData& page = file.getData(pages[p].first, pages[p].second);
                    seen[t][p] = &page;
                    if (failures[t].empty() && !samePage(page, *want[p])) failures[t] = "page " + std::to_string(p);
                    if (j % 50 == t) {
                        const std::uint64_t s = (j / 50 + t) % file.getNStarts();
                        const std::uint64_t samples = file.getNsample(s);
                        Rows rows(samples, file.getNChannels(s));
                        file.fillStart(s, rows.valueSpan(), rows.overloadSpan(), rows.ppsSpan());
                        const std::string d = firstDifference(rows, want_queries[s], 0, samples, file.getNChannels(s));
                        if (failures[t].empty() && !d.empty()) failures[t] = "fill of start " + std::to_string(s) + ": " + d;
                    }
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
        for (unsigned int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], "") << "thread " << t;
        for (std::size_t p = 0; p < pages.size(); ++p) {
            const IAB_VMN_FileData* mine = &file.getData(pages[p].first, pages[p].second);
            for (unsigned int t = 0; t < kThreads; ++t) ASSERT_EQ(seen[t][p], mine) << "page " << p << " thread " << t;
        }
    }
}

// What a header-only open must still answer: everything of a start but its values.
void describeOutline(const IAB_VMN_File& file, std::vector<std::string>& seen)
{
    for (std::uint64_t s = 0; s < file.getNStarts(); ++s) {
        std::vector<bool> pps;
        file.fillPPS(s, pps);
        seen.push_back("start " + std::to_string(s) + ": " + std::to_string(file.getNsample(s)) + " samples, " +
                       std::to_string(file.getNChannels(s)) + " channels, " + std::to_string(file.getNData(s)) +
                       " pages, from " + std::to_string(file.getStartTime(s).ticks()) + ", period " +
                       std::to_string(file.getSampleTime(s).ticks()) + ", " +
                       std::to_string(std::count(pps.begin(), pps.end(), true)) + " PPS, name " +
                       file.getHeader(s).get_header().get_name());
    }
}

TEST(SampleStore, AHeaderOnlyOpenAnswersAllButTheValues)
{
    for (unsigned int n = 0; n <= 15; ++n) {
        SCOPED_TRACE("channels " + std::to_string(n));
        const Recording rec = recordingOf(n);
        // Whole, cut inside a data page, cut inside the first page: same starts, log lines,
        // progress calls and failures either way.
        for (const std::size_t keep : {rec.bytes.size(), rec.bytes.size() - 300, std::size_t{200}}) {
            const std::string bytes = rec.bytes.substr(0, keep);
            const auto open = [&](IAB_VMN_File::Samples samples) {
                return readingOutcome(
                    [&](ProgressCallback& progress) {
                        std::istringstream stream(bytes);
                        return IAB_VMN_File(stream, 4567, 123, rec.is_vmn, progress, samples);
                    },
                    [](const IAB_VMN_File& file, std::vector<std::string>& seen) { describeOutline(file, seen); });
            };
            EXPECT_EQ(open(IAB_VMN_File::Samples::Skipped), open(IAB_VMN_File::Samples::Kept)) << "first " << keep << " bytes";
        }

        LogCapture quiet;
        std::istringstream stream(rec.bytes);
        DummyProgressCallback progress;
        const IAB_VMN_File outline(stream, 4567, 123, rec.is_vmn, progress, IAB_VMN_File::Samples::Skipped);
        for (std::uint64_t s = 0; s < outline.getNStarts(); ++s) {
            std::vector<double> values;
            std::vector<bool> flags;
            EXPECT_THROW(outline.fillStart(s, {}, {}, {}), std::logic_error);
            if (n == 0) continue;
            EXPECT_THROW(outline.fillData(s, 0, values), std::logic_error);
            EXPECT_THROW(outline.fillOverload(s, 0, flags), std::logic_error);
            EXPECT_THROW(outline.getDataContainer(s), std::logic_error);
            if (outline.getNData(s) > 0) {
                EXPECT_THROW(outline.getData(s, 0), std::logic_error);
            }
        }
    }
}
