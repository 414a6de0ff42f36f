#pragma once

#include "RecordCore.h"

#include <binx/BINX_File.h>

#include <pybind11/pybind11.h>

#include <memory>
#include <string>
#include <unordered_map>

namespace ertkit_py {

namespace py = pybind11;

// A BINX file seen from Python: read, edited and written through the library.
//
// Python may hold a record longer than any file lists it, so records are not the file's to
// free: each is owned by a shared pointer, which the file's views share, and the file is made
// to let go of every record before it is destroyed. Records handed in are copied, so a record
// is never listed by two files nor changed through another one.
class BinxCore final : public RecordList, public std::enable_shared_from_this<BinxCore> {
public:
    BinxCore();
    explicit BinxCore(std::unique_ptr<BINX_File> file);
    ~BinxCore() override;
    BinxCore(const BinxCore&) = delete;
    BinxCore& operator=(const BinxCore&) = delete;

    static std::shared_ptr<BinxCore> read(const std::string& path, const py::object& progress);

    const BINX_File& file() const { return *m_file; }
    BINX_File& file() { return *m_file; }

    std::size_t size() const { return m_file->getDatas().size(); }
    std::vector<RecordCore> records() const;
    py::array table() const;

    void append(const RecordCore& record);
    // Takes record `index` out; it lives on as the returned record.
    RecordCore pop(unsigned int index);
    void replace(unsigned int index, const RecordCore& record);
    // Replaces the record of the same identity, or appends.
    void replaceSame(const RecordCore& record);
    // Moves every record of `other` into this file (the library's merge); `other` keeps none.
    void merge(BinxCore& other);
    void write(const std::string& path, unsigned int first, int last, bool skip_ignored, bool hide) const;
    // The whole file as write() writes it.
    py::bytes toBytes() const;

    std::optional<std::int64_t> positionOf(const Result_Reader* record, std::int64_t hint) const override;

private:
    std::shared_ptr<BINX_Data> copyOf(const RecordCore& record) const;
    void adopt(const std::shared_ptr<BINX_Data>& record) { m_owners.emplace(record.get(), record); }
    void release(const BINX_Data* record) { m_owners.erase(record); }

    std::unordered_map<const BINX_Data*, std::shared_ptr<BINX_Data>> m_owners;
    std::unique_ptr<BINX_File> m_file;
};

// The bytes of a BINX file as BinxCore::write writes it whole; call with the GIL held.
std::string binxBytes(const BINX_File& file);

// A new BINX record that no file lists, with the given values set (setBinxFields).
RecordCore newBinxRecord(const py::dict& fields);
// Sets record fields by name: see the binding's documentation for the names.
void setBinxFields(BINX_Data& record, const py::dict& fields);

void bindBinx(py::module_& m);

} // namespace ertkit_py
