#pragma once

#include <download/TarvexKesta_File.h>

#include <cstdint>
#include <vector>

namespace ertkit_sim {

// What the simulated meter holds: the version word it answers with and, by version, its
// memory slots (slot k has the absolute index k) or the raw full-wave transfer it sends.
struct MeterMemory {
    std::uint32_t version = 2;
    std::vector<TarvexKesta_File::TMeasure> measures;   // version 1
    std::vector<TarvexKesta_File::TZMeasure> zmeasures; // versions 2 and 3 (3 also sends time stamps)
    std::vector<std::uint8_t> raw;                      // raw versions

    bool isRaw() const;
    std::size_t slots() const { return version == 1 ? measures.size() : zmeasures.size(); }
    // The record size word that goes with the version.
    std::uint32_t sizeWord() const;

    // Plausible measures whose every field depends on the index, so that two slots never match.
    static TarvexKesta_File::TMeasure demoMeasure(std::uint32_t index);
    static TarvexKesta_File::TZMeasure demoZMeasure(std::uint32_t index);
    // Measure `index` of rawTransfer: the demo measure, stamped with the second its data begin.
    static TarvexKesta_File::TZMeasure rawZMeasure(std::uint32_t index);
    // The sample of a channel in the data pages of rawTransfer.
    static float sampleValue(std::uint32_t sample, std::uint32_t channel);
    static TarvexKesta_File::TMeasure emptyMeasure();
    static TarvexKesta_File::TZMeasure emptyZMeasure();

    // `count` demo slots of a record version; every `empty_every`-th slot (if not 0) is empty.
    static MeterMemory records(std::uint32_t version, std::uint32_t count, std::uint32_t empty_every = 0);
    // A raw transfer: one configuration page, then for each measure a few data pages followed
    // by its measure page, and an empty-slot measure page at the end.
    static MeterMemory rawTransfer(bool voltage, std::uint32_t measure_count);
};

} // namespace ertkit_sim
