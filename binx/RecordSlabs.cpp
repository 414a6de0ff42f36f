#include <binx/RecordSlabs.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define ERTKIT_BINX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ERTKIT_BINX_ASAN 1
#endif
#endif

#ifdef ERTKIT_BINX_ASAN
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#endif

namespace binx_detail {

namespace {

constexpr std::size_t s_huge_page = std::size_t{2} << 20;
constexpr std::size_t s_alignment = alignof(std::max_align_t);

std::atomic<std::size_t> s_mapped_slabs{0};

std::size_t roundUp(std::size_t n, std::size_t to)
{
    return (n + to - 1) / to * to;
}

// The sanitizer knows nothing of a mapping's insides: slots no live record holds are marked,
// so that a record used after its delete is reported as heap memory would be, and the
// mapping is scanned for pointers, so that what live records own is not taken for leaks.
void markFree([[maybe_unused]] void* p, [[maybe_unused]] std::size_t n)
{
#ifdef ERTKIT_BINX_ASAN
    ASAN_POISON_MEMORY_REGION(p, n);
#endif
}

void markInUse([[maybe_unused]] void* p, [[maybe_unused]] std::size_t n)
{
#ifdef ERTKIT_BINX_ASAN
    ASAN_UNPOISON_MEMORY_REGION(p, n);
#endif
}

void scanForPointers([[maybe_unused]] void* p, [[maybe_unused]] std::size_t n, [[maybe_unused]] bool scan)
{
#ifdef ERTKIT_BINX_ASAN
    if (scan) __lsan_register_root_region(p, n);
    else __lsan_unregister_root_region(p, n);
#endif
}

} // namespace

// One mapping: this header, then slots of one prefix and one object each. Its count of
// holders is what lets records outlive their file and be deleted on any thread.
class Slab {
public:
    static Slab* map(std::size_t slot_bytes, std::size_t slots) noexcept;

    // The next unused slot, prefix written, or null when all are taken.
    void* take() noexcept
    {
        if (m_used == m_slots) return nullptr;
        char* const slot = slotsBegin() + m_used++ * m_slot_bytes;
        markInUse(slot, m_slot_bytes);
        m_holders.fetch_add(1, std::memory_order_relaxed);
        return new (slot) RecordPrefix{this} + 1;
    }

    void release(RecordPrefix* slot) noexcept
    {
        markFree(slot, m_slot_bytes);
        drop();
    }

    // One holder less; the last one unmaps the slab.
    void drop() noexcept
    {
        if (m_holders.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
        const std::size_t length = m_length;
        this->~Slab();
        markInUse(this, length); // the addresses may be mapped again, for anything
        scanForPointers(this, length, false);
        ::munmap(this, length);
        s_mapped_slabs.fetch_sub(1, std::memory_order_relaxed);
    }

private:
    static constexpr std::size_t s_header_bytes = 64;

    Slab(std::size_t length, std::size_t slot_bytes, std::size_t slots)
        : m_length(length), m_slot_bytes(slot_bytes), m_slots(slots)
    {
    }
    char* slotsBegin() { return reinterpret_cast<char*>(this) + s_header_bytes; }

    std::atomic<std::size_t> m_holders{1}; // live records, and the reader while it fills the slab
    std::size_t m_length;
    std::size_t m_slot_bytes;
    std::size_t m_slots;
    std::size_t m_used = 0;
};

Slab* Slab::map(std::size_t slot_bytes, std::size_t slots) noexcept
{
    static_assert(sizeof(Slab) <= s_header_bytes && s_header_bytes % s_alignment == 0);
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t length = roundUp(s_header_bytes + slot_bytes * slots, page);
    // Huge pages need aligned addresses: a large slab is cut from a mapping one huge page
    // longer. The tail past the last whole huge page stays in small pages.
    const bool large = length >= s_huge_page;
    const std::size_t asked = large ? length + s_huge_page : length;
    void* const mapped = ::mmap(nullptr, asked, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    char* base = static_cast<char*>(mapped);
    if (large) {
        char* const aligned = base + (roundUp(reinterpret_cast<std::uintptr_t>(base), s_huge_page) -
                                      reinterpret_cast<std::uintptr_t>(base));
        const auto head = static_cast<std::size_t>(aligned - base);
        if (head > 0) ::munmap(base, head);
        if (asked - head > length) ::munmap(aligned + length, asked - head - length);
        base = aligned;
#ifdef MADV_HUGEPAGE
        ::madvise(base, length, MADV_HUGEPAGE); // only a hint: small pages work the same
#endif
    }
    auto* const slab = new (base) Slab(length, slot_bytes, slots);
    scanForPointers(base, length, true);
    markFree(slab->slotsBegin(), length - s_header_bytes);
    s_mapped_slabs.fetch_add(1, std::memory_order_relaxed);
    return slab;
}

std::size_t mappedSlabs() noexcept
{
    return s_mapped_slabs.load(std::memory_order_relaxed);
}

void releaseRecordMemory(void* object) noexcept
{
    if (object == nullptr) return;
    RecordPrefix* const prefix = static_cast<RecordPrefix*>(object) - 1;
    if (Slab* const slab = prefix->slab) slab->release(prefix);
    else ::operator delete(prefix);
}

void* heapRecordMemory(std::size_t object_size)
{
    return new (::operator new(sizeof(RecordPrefix) + object_size)) RecordPrefix{nullptr} + 1;
}

RecordSlabs::RecordSlabs(std::size_t object_size, std::uint64_t max_objects, std::size_t slab_bytes)
    : m_slot_bytes(sizeof(RecordPrefix) + roundUp(object_size, s_alignment)),
      m_slots_per_slab(std::max<std::size_t>(1, slab_bytes / m_slot_bytes)),
      m_left(max_objects)
{
}

RecordSlabs::~RecordSlabs()
{
    if (m_current != nullptr) m_current->drop();
}

void* RecordSlabs::place(std::size_t object_size) noexcept
{
    if (sizeof(RecordPrefix) + object_size > m_slot_bytes) return nullptr;
    if (m_current != nullptr)
        if (void* const room = m_current->take()) return room;
    if (m_left == 0) return nullptr;
    const auto slots = static_cast<std::size_t>(std::min<std::uint64_t>(m_left, m_slots_per_slab));
    Slab* const next = Slab::map(m_slot_bytes, slots);
    if (next == nullptr) {
        m_left = 0; // no more tries: the rest go to the heap
        return nullptr;
    }
    m_left -= slots;
    if (m_current != nullptr) m_current->drop();
    m_current = next;
    return m_current->take();
}

} // namespace binx_detail
