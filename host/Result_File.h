#pragma once

#include <host/ProgressCallback.h>
#include <host/Result_Reader.h>

#include <cstdint>
#include <string>
#include <vector>

// Abstract base of a host result file: its results in file order and its type identity.
class Result_File {
public:
    using Factory = Result_File* (*)(const std::string& path, ProgressCallback& progress);

    explicit Result_File(const std::string& path) : m_path(path) {}
    Result_File(const Result_File&) = default;
    Result_File& operator=(const Result_File&) = default;

    virtual ~Result_File();                                                  // 0
    virtual const std::vector<Result_Reader*>& getResults() const = 0;       // 1
    virtual std::uint64_t getTypeId() const = 0;                             // 2
    virtual std::string getTypeName() const = 0;                             // 3
    virtual std::vector<std::string> getExtensionsList() const = 0;          // 4

    const std::string& getPath() const { return m_path; }

    // Host registry: announces a result reader for a type name and its extensions (lower
    // case, with the leading dot) and returns the identifier of the registration.
    static std::uint64_t registerResultReader(std::string type_name, std::vector<std::string> extensions, Factory factory);

private:
    std::string m_path;
};
