#pragma once

#include <cstddef>

// Zero-filled memory for the sample storage of a recording, taken straight from the system
// when large.
//
// Reserving a large buffer is virtual: only the pages that are written count against the process, so the
// reader can reserve from the file size (an upper bound) and pay only for what it stores.
// Large buffers ask for transparent huge pages, which makes the first write to fresh memory
// (what a reader mostly pays for) several times faster; where the kernel gives none the
// buffer works the same on small pages. Growing moves the mapping without copying the
// bytes. Move-only.
class MappedBuffer {
public:
    MappedBuffer() = default;
    MappedBuffer(MappedBuffer&& other) noexcept;
    MappedBuffer& operator=(MappedBuffer&& other) noexcept;
    MappedBuffer(const MappedBuffer&) = delete;
    MappedBuffer& operator=(const MappedBuffer&) = delete;
    ~MappedBuffer();

    // Makes room for at least `bytes`, keeping the bytes already there; throws std::bad_alloc
    // when the system refuses.
    void reserve(std::size_t bytes);
    // Gives back the pages past the first `bytes` (rounded up to a page) of a mapping, and
    // everything when `bytes` is 0.
    void shrinkTo(std::size_t bytes) noexcept;

    std::byte* data() const { return m_data; }
    std::size_t capacity() const { return m_capacity; }

private:
    void release() noexcept;

    std::byte* m_data = nullptr;
    std::size_t m_capacity = 0;
    bool m_mapped = false; // a mapping of its own, else a block of the C library's heap
};

// Asks for transparent huge pages on the whole 2 MiB spans inside [p, p + bytes), memory about
// to be written for the first time. Only done for large blocks (which the C library maps on
// their own); advice only, so memory the kernel cannot back that way works the same.
void adviseHugePages(void* p, std::size_t bytes) noexcept;

// A MappedBuffer seen as an array of trivially copyable T, grown by doubling.
template <typename T>
class MappedArray {
public:
    void reserve(std::size_t count) { m_buffer.reserve(count * sizeof(T)); }
    // Room for `more` elements past `used`, doubling so that growth stays linear overall.
    void ensure(std::size_t used, std::size_t more)
    {
        const std::size_t needed = used + more;
        if (needed <= capacity()) return;
        std::size_t grown = capacity() < 1024 ? 1024 : capacity() * 2;
        m_buffer.reserve((grown < needed ? needed : grown) * sizeof(T));
    }
    void shrinkTo(std::size_t count) noexcept { m_buffer.shrinkTo(count * sizeof(T)); }

    T* data() const { return reinterpret_cast<T*>(m_buffer.data()); }
    T& operator[](std::size_t i) const { return data()[i]; }
    std::size_t capacity() const { return m_buffer.capacity() / sizeof(T); }

private:
    MappedBuffer m_buffer;
};
