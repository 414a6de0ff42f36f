#pragma once

#include "support/BinxRecordBuilder.h"
#include "support/TestSupport.h"

#include <fstream>
#include <string>
#include <vector>

namespace binx_test {

// Bytes written to a file of their own and opened for reading, as the readers take them.
class ByteFile {
public:
    explicit ByteFile(const ertkit_test::Bytes& bytes, const std::string& name = "data.binx") : ByteFile(bytes.data(), name) {}
    explicit ByteFile(const std::vector<std::uint8_t>& bytes, const std::string& name = "data.binx")
        : m_path(m_dir.file(name))
    {
        ertkit_test::writeFile(m_path, bytes);
        m_in.open(m_path, std::ios::binary);
    }
    std::ifstream& in() { return m_in; }
    const std::string& path() const { return m_path; }
    std::streamoff position() { return static_cast<std::streamoff>(m_in.tellg()); }

private:
    ertkit_test::TempDir m_dir;
    std::string m_path;
    std::ifstream m_in;
};

inline BINX_Data readRecord(const std::vector<std::uint8_t>& bytes, const std::vector<std::string>& names = {})
{
    ByteFile file(bytes);
    return BINX_Data(file.in(), names);
}

inline BINX_Data readRecord(const ertkit_test::Bytes& bytes, const std::vector<std::string>& names = {})
{
    return readRecord(bytes.data(), names);
}

using ertkit_test::failure;

// Bytes that a library object writes through its writeToFile(std::ofstream&).
template <typename T>
std::vector<std::uint8_t> written(const T& object)
{
    ertkit_test::TempDir dir;
    const std::string path = dir.file("out.bin");
    {
        std::ofstream out(path, std::ios::binary);
        object.writeToFile(out);
    }
    return ertkit_test::readFile(path);
}

} // namespace binx_test
