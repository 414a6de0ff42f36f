#include <fullwave/MappedBuffer.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Below this a huge page would mostly be waste: small recordings stay on small pages.
constexpr std::size_t kHugeFrom = std::size_t{4} << 20;
// Below this a buffer is a block of the C library's heap rather than a mapping of its own.
constexpr std::size_t kMapFrom = std::size_t{1} << 20;

std::size_t systemPage()
{
    static const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return page;
}

std::size_t roundUp(std::size_t bytes, std::size_t unit)
{
    return (bytes + unit - 1) / unit * unit;
}

// A fresh anonymous mapping; a large one starts on a huge-page boundary (the kernel only
// backs whole aligned 2 MiB spans with huge pages), so it is mapped with room to spare and
// trimmed.
std::byte* mapFresh(std::size_t bytes)
{
    const bool huge = bytes >= kHugeFrom;
    const std::size_t span = huge ? bytes + kHugePage : bytes;
    void* p = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    auto* base = static_cast<std::byte*>(p);
    if (!huge) return base;
    const auto address = reinterpret_cast<std::uintptr_t>(base);
    auto* aligned = reinterpret_cast<std::byte*>(roundUp(address, kHugePage));
    const auto head = static_cast<std::size_t>(aligned - base);
    if (head) munmap(base, head);
    if (kHugePage - head) munmap(aligned + bytes, kHugePage - head);
    // Advice only: without huge pages the buffer works the same.
    madvise(aligned, bytes, MADV_HUGEPAGE);
    return aligned;
}

} // namespace

void adviseHugePages(void* p, std::size_t bytes) noexcept
{
    // Below this the C library may carve the block out of its own heap, which is not ours to
    // advise.
    constexpr std::size_t kSeparateBlock = std::size_t{32} << 20;
    if (bytes < kSeparateBlock) return;
    const auto begin = roundUp(reinterpret_cast<std::uintptr_t>(p), kHugePage);
    const auto end = (reinterpret_cast<std::uintptr_t>(p) + bytes) / kHugePage * kHugePage;
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

MappedBuffer::MappedBuffer(MappedBuffer&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)),
      m_capacity(std::exchange(other.m_capacity, 0)),
      m_mapped(std::exchange(other.m_mapped, false))
{
}

MappedBuffer& MappedBuffer::operator=(MappedBuffer&& other) noexcept
{
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_capacity = std::exchange(other.m_capacity, 0);
        m_mapped = std::exchange(other.m_mapped, false);
    }
    return *this;
}

MappedBuffer::~MappedBuffer()
{
    release();
}

void MappedBuffer::release() noexcept
{
    if (!m_data) return;
    if (m_mapped)
        munmap(m_data, m_capacity);
    else
        std::free(m_data);
    m_data = nullptr;
    m_capacity = 0;
    m_mapped = false;
}

void MappedBuffer::reserve(std::size_t bytes)
{
    if (bytes <= m_capacity) return;
    if (!m_mapped && bytes < kMapFrom) {
        // Small buffers come from the C library's heap: a process may hold thousands of small
        // recordings, and it may hold only so many mappings.
        void* p = std::realloc(m_data, bytes);
        if (!p) throw std::bad_alloc();
        m_data = static_cast<std::byte*>(p);
        std::memset(m_data + m_capacity, 0, bytes - m_capacity);
        m_capacity = bytes;
        return;
    }
    const std::size_t wanted = roundUp(bytes, systemPage());
    if (!m_mapped) {
        std::byte* fresh = mapFresh(wanted);
        if (m_data) std::memcpy(fresh, m_data, m_capacity);
        std::free(m_data);
        m_data = fresh;
        m_capacity = wanted;
        m_mapped = true;
        return;
    }
    // The kernel moves the pages already written instead of copying them.
    void* p = mremap(m_data, m_capacity, wanted, MREMAP_MAYMOVE);
    if (p == MAP_FAILED) throw std::bad_alloc();
    m_data = static_cast<std::byte*>(p);
    m_capacity = wanted;
    if (wanted >= kHugeFrom) madvise(m_data, wanted, MADV_HUGEPAGE);
}

void MappedBuffer::shrinkTo(std::size_t bytes) noexcept
{
    if (bytes == 0) {
        release();
        return;
    }
    if (!m_mapped) {
        // A heap block gives its tail back to the heap, for the next small recording to use:
        // the room a tile is laid out in may be many times what a short recording keeps.
        if (bytes >= m_capacity) return;
        if (void* p = std::realloc(m_data, bytes)) {
            m_data = static_cast<std::byte*>(p);
            m_capacity = bytes;
        }
        return;
    }
    const std::size_t kept = roundUp(bytes, systemPage());
    if (kept >= m_capacity) return;
    munmap(m_data + kept, m_capacity - kept);
    m_capacity = kept;
}
