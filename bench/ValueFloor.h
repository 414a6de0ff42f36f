#pragma once

// The least work any reader does that keeps a recording's values in memory and hands each
// channel out as doubles: it gets every byte from the system, lands as many bytes as the
// reader keeps in memory of its own, and widens each channel's share of them into the
// caller's vector. It checks nothing and transposes nothing (each channel's share is simply
// the next n floats), so no design of that kind can beat it, ours included.
//
// The benchmarks time it beside the reader in the same run: against numpy it tells how far
// any such reader could get on this machine, and on four threads how far such work scales.

#include <writers/FullWavePages.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

namespace ertkit_bench {

class ValueFloor {
public:
    // Reads a recording of full pages whose blocks all have `channels` values.
    ValueFloor(const std::string& path, unsigned int channels) : m_channels(channels)
    {
        const int fd = ::open(path.c_str(), O_RDONLY);
        if (fd < 0) throw std::system_error(errno, std::generic_category(), path);
        struct stat info {};
        ::fstat(fd, &info);
        const std::size_t page_values = ertkit_writers::blocksPerPage(channels) * channels;
        const std::size_t most = static_cast<std::size_t>(info.st_size) / kPage * page_values;
        // Fresh memory asking for huge pages, as the reader's own storage does.
        m_span = most * sizeof(float) + kHuge;
        void* p = ::mmap(nullptr, m_span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::system_error(errno, std::generic_category(), "mmap");
        m_base = static_cast<char*>(p);
        m_values = reinterpret_cast<float*>((reinterpret_cast<std::uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1));
        ::madvise(m_values, most * sizeof(float), MADV_HUGEPAGE);
        // The reader's chunk: 496 pages, about 256 KiB.
        std::vector<unsigned char> chunk(496 * kPage);
        for (;;) {
            const ssize_t got = ::read(fd, chunk.data(), chunk.size());
            if (got <= 0) break;
            for (std::size_t page = 0; page + kPage <= static_cast<std::size_t>(got); page += kPage) {
                std::memcpy(m_values + m_count, chunk.data() + page + kHeader, page_values * sizeof(float));
                m_count += page_values;
            }
        }
        ::close(fd);
    }
    ValueFloor(const ValueFloor&) = delete;
    ValueFloor& operator=(const ValueFloor&) = delete;
    ~ValueFloor() { ::munmap(m_base, m_span); }

    // Channel c's share of the values, widened into `out` as the reader's fillData does.
    void fill(unsigned int c, std::vector<double>& out) const
    {
        const std::size_t n = m_count / m_channels;
        out.clear();
        const double* before = out.data();
        out.reserve(n);
        if (out.data() != before) adviseHuge(out.data(), n * sizeof(double));
        out.insert(out.end(), m_values + c * n, m_values + (c + 1) * n);
    }

private:
    static constexpr std::size_t kPage = 528;
    static constexpr std::size_t kHeader = 16;
    static constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;

    // Only blocks the C library maps on their own, as the reader does.
    static void adviseHuge(void* p, std::size_t bytes)
    {
        if (bytes < (std::size_t{32} << 20)) return;
        const auto begin = (reinterpret_cast<std::uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
        const auto end = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(kHuge - 1);
        if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }

    unsigned int m_channels;
    char* m_base = nullptr;
    std::size_t m_span = 0;
    float* m_values = nullptr;
    std::size_t m_count = 0;
};

} // namespace ertkit_bench
