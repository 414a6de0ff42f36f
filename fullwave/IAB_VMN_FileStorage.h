#pragma once

// What an IAB_VMN_File keeps of its recording, out of its installed header: the starts, the
// compact sample store and the page objects made on demand. Only the reader's own sources
// include it.

#include <fullwave/IAB_VMN_File.h>
#include <fullwave/IAB_VMN_SampleStore.h>
#include <fullwave/OnDemandSlots.h>

#include <cstdint>
#include <memory>
#include <vector>

// A configuration page with the data pages that follow it. The pages' samples are the store's
// samples [first_sample, first_sample + n_samples), their values the store's run that begins
// at value first_value.
struct IAB_VMN_File::Start_ {
    std::unique_ptr<IAB_VMN_FileHeader> header;
    std::uint64_t first_page = 0;
    std::uint64_t n_pages = 0;
    std::uint64_t first_sample = 0;
    std::uint64_t n_samples = 0;
    std::uint64_t first_value = 0;
    std::uint32_t first_number = 0; // sample number of the first block
    std::uint32_t n_channels = 0;   // of its blocks: the header's count once it has pages
};

struct IAB_VMN_File::Storage {
    std::vector<Start_> starts;
    IAB_VMN_SampleStore store;
    OnDemandSlots<IAB_VMN_FileData> page_objects;

    // The values of a start: taken once per query, so the sample loops read them through no
    // more than before.
    IAB_VMN_SampleStore::Run run(const Start_& s) const { return store.run(s.first_value, s.n_samples, s.n_channels); }
};
