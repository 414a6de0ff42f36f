#pragma once

#include <host/VELTLogger.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <unistd.h>

namespace ertkit_fuzz {

// The readers log what they survive; a fuzzer would drown in it.
inline void silenceLogger()
{
    static const VELTLogger::Sink previous = VELTLogger::setSink([](VELTLogger::Level, const std::string&) {});
    (void)previous;
}

// Readers that take a path get the input through a file in shared memory.
inline std::string writeInput(const std::uint8_t* data, std::size_t size, const std::string& extension)
{
    static const std::string base = "/dev/shm/ertkit-fuzz-" + std::to_string(::getpid());
    const std::string path = base + extension;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

} // namespace ertkit_fuzz
