#include <fullwave/MappedBuffer.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <new>
#include <utility>

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Below this a huge page would mostly be waste: small recordings stay on small pages.
constexpr std::size_t kHugeFrom = std::size_t{4} << 20;

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
    : m_data(std::exchange(other.m_data, nullptr)), m_capacity(std::exchange(other.m_capacity, 0))
{
}

MappedBuffer& MappedBuffer::operator=(MappedBuffer&& other) noexcept
{
    if (this != &other) {
        if (m_data) munmap(m_data, m_capacity);
        m_data = std::exchange(other.m_data, nullptr);
        m_capacity = std::exchange(other.m_capacity, 0);
    }
    return *this;
}

MappedBuffer::~MappedBuffer()
{
    if (m_data) munmap(m_data, m_capacity);
}

void MappedBuffer::reserve(std::size_t bytes)
{
    if (bytes <= m_capacity) return;
    const std::size_t wanted = roundUp(bytes, systemPage());
    if (!m_data) {
        m_data = mapFresh(wanted);
        m_capacity = wanted;
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
    const std::size_t kept = roundUp(bytes, systemPage());
    if (!m_data || kept >= m_capacity) return;
    if (kept == 0) {
        munmap(m_data, m_capacity);
        m_data = nullptr;
        m_capacity = 0;
        return;
    }
    munmap(m_data + kept, m_capacity - kept);
    m_capacity = kept;
}
