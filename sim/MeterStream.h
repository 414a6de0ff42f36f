#pragma once

#include <sim/MeterMemory.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// The bytes a meter sends during a download, built from what it holds. The simulator sends
// them over its terminal; the download fuzzer's seeds and the in-memory tests take them whole.
namespace ertkit_sim {

void appendWord(std::vector<std::uint8_t>& out, std::uint32_t word);

// The version word, then the size word.
std::vector<std::uint8_t> handshakeBytes(std::uint32_t version, std::uint32_t size);

// One sending of a slot: index word, time stamp word (version 3), the record, checksum word.
std::vector<std::uint8_t> slotBytes(const MeterMemory& memory, std::uint32_t version, std::uint32_t index);

// Where the record starts in slotBytes, and its length on the link.
std::size_t slotRecordOffset(std::uint32_t version);
std::size_t slotRecordSize(std::uint32_t version);

// Everything a meter without faults sends for a download of [first, last] once identified:
// the handshake, then each slot in the range as it is asked for (every record accepted at the
// first sending) and the end index; for a raw version, the byte count and the raw bytes.
std::vector<std::uint8_t> meterStream(const MeterMemory& memory, std::uint32_t first, std::uint32_t last);

} // namespace ertkit_sim
