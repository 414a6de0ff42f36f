#pragma once

#include <binx/BINX_Data.h>

#include <host/ProgressCallback.h>
#include <host/ReaderAdapters.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <istream>
#include <string>
#include <vector>

// A BINX result file in memory: a short header, the names of the full-wave recordings and
// project files its records refer to, and the records themselves, which it owns.
class BINX_File : public Result_FileImpl<BINX_File> {
public:
    // The software that wrote a file; the host gives the values other than 0 their meaning.
    enum Software : std::uint8_t { SOFTWARE_UNKNOWN = 0 };
    // The format version of a file.
    enum Version : std::uint32_t {};

    static constexpr Version m_last_version = Version{6}; // the version this library writes

    static const std::string s_type_name;
    static const std::vector<std::string> s_extensions_list;
    static const std::uint64_t s_registration_id;

    BINX_File();
    BINX_File(const std::string& path, ProgressCallback& progress);
    explicit BINX_File(const std::string& path);
    // Reads a BINX file from a stream (memory, a pipe, a file opened elsewhere) as the path
    // constructor reads the file at a path, minus the extension test: the caller chose the
    // reader. The file keeps `path` as its path; the stream is left where reading stopped.
    BINX_File(std::istream& stream, const std::string& path, ProgressCallback& progress);
    // The measures of the last download, those of record versions 2 and 3 (and raw imports)
    // first, then those of version 1, each group in download order.
    BINX_File(const TarvexKesta_File& download, ProgressCallback& progress);
    explicit BINX_File(const TarvexKesta_File& download);
    BINX_File(BINX_File&& other) noexcept;
    BINX_File& operator=(BINX_File&& other) noexcept;
    BINX_File(const BINX_File&) = delete;
    BINX_File& operator=(const BINX_File&) = delete;
    ~BINX_File() override;

    const std::vector<Result_Reader*>& getResults() const override { return m_results; }
    const std::vector<BINX_Data*>& getDatas() const { return m_tab_measure; }
    // Throws std::out_of_range past the end.
    const BINX_Data& getData(unsigned int i) const { return *m_tab_measure.at(i); }

    std::vector<std::string> getFileNamesIabOrVmn() const { return m_file_names_iab_vmn; }
    std::vector<std::string> getFileNamesProject() const { return m_file_names_project; }
    std::string getFolderPath() const { return m_folder_path; }
    // The folder, a backslash and recording name i; throws std::out_of_range past the end.
    std::string getFullPath(unsigned int i) const;

    Version getVersion() const { return m_version; }
    // The record count the file's header gave when it was read (0 for a file not read from
    // disk); the file holds fewer records when it ended or was damaged before them.
    std::uint32_t getStoredRecordCount() const { return m_n_records; }
    std::uint8_t getHeaderByte() const { return m_header_byte; }
    Software getSoftware() const { return m_software; }
    std::array<short, 3> getSoftwareVersion() const { return m_software_version; }

    // Writes records first..last (last -1 for the last record), always in version 6.
    // Failures to create or write the file show nowhere: the stream just fails.
    void writeToFile(std::string path, bool hide, unsigned int first, int last, bool skip_ignored) const;
    // The same bytes into a stream, for a caller that wants to know how the writes went: a
    // failed write shows in the stream's state, and nothing more is written after it.
    void writeToStream(std::ostream& out, unsigned int first, int last, bool skip_ignored) const;

    // Records handed in become this file's; records taken out become the caller's.
    void addData(BINX_Data* data);
    void removeData(unsigned int index);
    void replaceData(unsigned int index, BINX_Data* data);
    void replaceData(BINX_Data* data);
    void addBinxFile(BINX_File* other);
    // Lists each recording and project name once, the records' path indexes following their
    // names: addBinxFile lists a name both files hold twice. Indexes that name no file (past
    // the list, or "no file") stay as they are.
    void mergeDuplicateFileNames();
    unsigned int addFileNameProject(std::string name);
    void setFolderPath(std::string path);
    void setIabPathIndex(unsigned int index, int path_index);
    void setVmnPathIndex(unsigned int index, int path_index);
    void setProjectPathIndex(unsigned int index, int path_index);
    void setSoftware(Software software) { m_software = software; }
    void setSoftwareVersion(short major, short minor, short revision) { m_software_version = {major, minor, revision}; }

private:
    static constexpr std::size_t s_header_text_size = 1024;
    static constexpr std::size_t s_folder_buffer_size = 260;

    void read(const std::string& path, ProgressCallback& progress);
    void read(std::istream& in, ProgressCallback& progress);
    void readFrom(std::ifstream& in, ProgressCallback& progress);
    template <typename Measures, typename Convert>
    bool convertMeasures(const Measures& measures, ProgressCallback& progress, Convert convert);
    void checkIndex(unsigned int index) const;
    void insertRecord(std::size_t index, BINX_Data* data);
    void eraseRecord(std::size_t index);
    void deleteRecords();

    Version m_version = m_last_version;
    std::uint8_t m_header_byte = 14;
    std::array<char, s_header_text_size> m_header_text{};
    std::array<char, s_folder_buffer_size> m_folder_buffer{};
    std::uint32_t m_n_file_names_iab_vmn = 0;
    std::uint32_t m_n_file_names_project = 0;
    std::vector<std::string> m_file_names_iab_vmn;
    std::vector<std::string> m_file_names_project;
    std::uint32_t m_n_records = 0;
    std::vector<BINX_Data*> m_tab_measure;
    // The same records as the host sees them, kept in step with m_tab_measure.
    std::vector<Result_Reader*> m_results;
    Software m_software = SOFTWARE_UNKNOWN;
    std::array<short, 3> m_software_version{};
    std::string m_folder_path;
};
