// The sample queries of a recording, answered from its compact sample storage.

#include <fullwave/IAB_VMN_File.h>

#include <fullwave/IAB_VMN_FileStorage.h>
#include <fullwave/MappedBuffer.h>
#include <fullwave/SampleTiles.h>

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string>

namespace {

using Run = IAB_VMN_SampleStore::Run;
using fullwave_tiles::kFlagPiece;

void requireRoom(std::size_t have, std::uint64_t need, const char* what)
{
    if (have != 0 && have < need)
        throw std::invalid_argument(std::string("fillStart: ") + what + " holds " + std::to_string(have) + " entries, " +
                                    std::to_string(need) + " needed");
}

} // namespace

const IAB_VMN_File::Start_& IAB_VMN_File::checkedStart(Start start) const
{
    const std::vector<Start_>& starts = storage().starts;
    if (start >= starts.size()) throw std::out_of_range("start index out of range");
    return starts[start];
}

const IAB_VMN_FileData& IAB_VMN_File::getData(std::uint64_t start, std::uint64_t i) const
{
    const Start_& s = checkedStart(start);
    if (i >= s.n_pages) throw std::out_of_range("data page index out of range");
    return storage().page_objects.get(s.first_page + i, [&] { return makeDataPage(s, i); });
}

std::unique_ptr<IAB_VMN_FileData> IAB_VMN_File::makeDataPage(const Start_& s, std::uint64_t i) const
{
    const std::uint64_t page = s.first_page + i;
    // Pages of a start are numbered on without a gap, so a page's first sample number says
    // where its samples lie in the start.
    const std::uint64_t offset = storage().store.page(page).first_number - s.first_number;
    const IAB_VMN_RawPage raw = storage().store.rawPage(page, storage().run(s), offset, s.first_sample + offset);
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
    storage().store.forEachPPS(s.first_sample, s.n_samples, [&](std::uint64_t k) { container.setPPS(k, true); });
    const Run samples = storage().run(s);
    const std::uint64_t tile = samples.tileSize();
    for (std::uint64_t t = 0; t < samples.tiles(); ++t) {
        const std::uint64_t length = samples.tileLength(t);
        for (unsigned int c = 0; c < samples.channels(); ++c) {
            const float* v = samples.tile(t) + c * length;
            for (std::uint64_t k = 0; k < length; ++k) container.setData(t * tile + k, c, static_cast<double>(v[k]));
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
    // Appended tile by tile into the reserved room, so the vector is written once, in order.
    const Run samples = storage().run(s);
    for (std::uint64_t t = 0; t < samples.tiles(); ++t) {
        const std::size_t length = samples.tileLength(t);
        fullwave_tiles::appendWidened(out, samples.tile(t) + channel * length, length);
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
    const Run samples = storage().run(s);
    const double max = s.header->get_max_rx();
    const std::uint64_t tile = samples.tileSize();
    std::uint16_t flags[kFlagPiece];
    for (std::uint64_t t = 0; t < samples.tiles(); ++t) {
        const std::size_t length = samples.tileLength(t);
        for (std::size_t from = 0; from < length; from += kFlagPiece) {
            const std::size_t to = std::min(length, from + kFlagPiece);
            if (!fullwave_tiles::overloads(samples.tile(t), length, from, to, samples.channels(), max, flags)) continue;
            for (std::size_t k = from; k < to; ++k)
                if ((flags[k - from] >> channel) & 1u) out[t * tile + k] = true;
        }
    }
}

void IAB_VMN_File::fillPPS(Start start, std::vector<bool>& out) const
{
    const Start_& s = checkedStart(start);
    out.clear();
    out.resize(s.n_samples, false);
    out.shrink_to_fit();
    storage().store.forEachPPS(s.first_sample, s.n_samples, [&](std::uint64_t k) { out[k] = true; });
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
    const Run samples = storage().run(s);
    const double max = s.header->get_max_rx();
    std::uint16_t flags[kFlagPiece];
    const std::uint64_t end = first + count;
    const std::uint64_t tile = samples.tileSize();
    for (std::uint64_t t = first / tile; t * tile < end; ++t) {
        // Samples [from, to) of this tile, which go to row (t * tile + from - first).
        const std::size_t length = samples.tileLength(t);
        const std::size_t from = t * tile < first ? first - t * tile : 0;
        const std::size_t to = std::min<std::uint64_t>(length, end - t * tile);
        const std::uint64_t row = t * tile + from - first;
        if (!values.empty()) fullwave_tiles::rows(samples.tile(t), length, n, from, to, values.data() + row * n);
        if (overloads.empty()) continue;
        bool* out = overloads.data() + row * n;
        for (std::size_t piece = from; piece < to; piece += kFlagPiece) {
            const std::size_t piece_end = std::min(to, piece + kFlagPiece);
            if (!fullwave_tiles::overloads(samples.tile(t), length, piece, piece_end, n, max, flags)) {
                out = std::fill_n(out, (piece_end - piece) * n, false);
                continue;
            }
            for (std::size_t k = piece; k < piece_end; ++k)
                for (unsigned int c = 0; c < n; ++c) *out++ = (flags[k - piece] >> c) & 1u;
        }
    }
    if (!pps.empty()) {
        std::fill_n(pps.data(), count, false);
        storage().store.forEachPPS(s.first_sample + first, count, [&](std::uint64_t k) { pps[k] = true; });
    }
}
