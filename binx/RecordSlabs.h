#pragma once

#include <cstddef>
#include <cstdint>

namespace binx_detail {

class Slab;

// Every record object, on the heap or in a slab, sits right after one of these, so that
// `delete record` finds where its memory came from whoever made the record: null for the
// heap, else the slab, which lives until its last record is deleted.
struct alignas(alignof(std::max_align_t)) RecordPrefix {
    Slab* slab;
};

// Frees a record's memory, heap or slab, given the object's address.
void releaseRecordMemory(void* object) noexcept;
// Heap memory for one object, with its prefix; throws std::bad_alloc as operator new does.
void* heapRecordMemory(std::size_t object_size);
// Slabs mapped in the process now. A slab is invisible to leak checkers, so this is how a
// lost one shows.
std::size_t mappedSlabs() noexcept;

// Places the records of one file read into a few large blocks instead of one heap block
// each. Fresh memory costs a fault per page on its first touch, and that, not decoding,
// dominated reading: a slab is a single mapping that the kernel may back with huge pages,
// so the records' memory is faulted in a few hundred times fewer pieces, and touched once.
// A slab holds at most `slab_bytes`, so that a record kept after its file is gone keeps
// only its own slab alive; slabs are mapped as they are needed, never more in all than
// `max_objects`, which the reader derives from the size of the file.
class RecordSlabs {
public:
    static constexpr std::size_t s_default_slab_bytes = std::size_t{16} << 20;

    RecordSlabs(std::size_t object_size, std::uint64_t max_objects, std::size_t slab_bytes = s_default_slab_bytes);
    // Lets go of the slab being filled: it goes when its records do.
    ~RecordSlabs();
    RecordSlabs(const RecordSlabs&) = delete;
    RecordSlabs& operator=(const RecordSlabs&) = delete;

    // Room for one object behind its prefix, or null when the slabs are used up or the
    // system gives no mapping (the caller then takes heap memory).
    void* place(std::size_t object_size) noexcept;

private:
    std::size_t m_slot_bytes;
    std::size_t m_slots_per_slab;
    std::uint64_t m_left;
    Slab* m_current = nullptr;
};

} // namespace binx_detail
