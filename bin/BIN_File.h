#pragma once

#include <bin/BIN_Data.h>
#include <host/ProgressCallback.h>
#include <host/ReaderAdapters.h>

#include <array>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

// Reader of a legacy BIN result file: a fixed header, the folder and names of the full-wave
// recordings its records refer to, then 308-byte records up to the end of the file. The
// constructor reads everything; the records belong to the file. BIN files are only read.
class BIN_File : public Result_FileImpl<BIN_File> {
public:
    static const std::string s_type_name;
    static const std::vector<std::string> s_extensions_list;
    static const std::uint64_t s_registration_id;

    static constexpr std::uint32_t s_version = 0x80000004;
    static constexpr std::uint8_t s_header_byte = 9;
    static constexpr std::size_t s_header_text_size = 1024;
    static constexpr std::size_t s_folder_size = 260;

    explicit BIN_File(const std::string& path);
    BIN_File(const std::string& path, ProgressCallback& progress);
    // Reads a BIN file from a stream (memory, a pipe, a file opened elsewhere) as the path
    // constructor reads the file at a path, minus the extension test: the caller chose the
    // reader. The file keeps `path` as its path, which its records' companion paths use.
    BIN_File(std::istream& stream, const std::string& path, ProgressCallback& progress);
    BIN_File(BIN_File&& other);
    BIN_File& operator=(BIN_File&& other);
    BIN_File(const BIN_File&) = delete;
    BIN_File& operator=(const BIN_File&) = delete;
    ~BIN_File() override;

    // The records in file order, as the host sees them and as they are.
    const std::vector<Result_Reader*>& getResults() const override { return m_results; }
    const std::vector<BIN_Data*>& getDatas() const { return m_datas; }

    // The stored folder, a backslash and name i (std::out_of_range past the last name). The
    // folder is a path of the machine that wrote the file, hence the backslash.
    std::string getFullPath(unsigned int i) const;
    const std::string& getFolderPath() const { return m_folder_path; }
    const std::vector<std::string>& getFileNames() const { return m_file_names; }

private:
    void read(std::istream& in, std::uint64_t file_size, ProgressCallback& progress);
    void readHeader(std::istream& in);
    void readNames(std::istream& in, std::uint64_t file_size);
    void readRecords(std::istream& in, std::uint64_t file_size, ProgressCallback& progress);
    void deleteRecords();

    std::uint32_t m_version = 0;
    std::uint8_t m_header_byte = 0;
    std::array<char, s_header_text_size> m_header_text{};
    std::array<char, s_folder_size> m_folder_buffer{};
    std::uint16_t m_name_count = 0;
    std::vector<std::string> m_file_names;
    std::vector<BIN_Data*> m_datas;
    // The same records as the host's interface type, filled alongside m_datas: a vector of
    // derived pointers cannot be handed out as a vector of base pointers.
    std::vector<Result_Reader*> m_results;
    std::string m_folder_path;
};
