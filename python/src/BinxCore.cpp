#include "BinxCore.h"

#include "LibraryCall.h"
#include "Reading.h"
#include "RecordTable.h"
#include "Times.h"

#include <services/BinxOutput.h>
#include <services/DownloadSession.h>

#include <pybind11/stl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace ertkit_py {

namespace {

// Makes the file forget its records without freeing them: they belong to shared pointers.
void detachAll(BINX_File& file) noexcept
{
    for (std::size_t i = file.getDatas().size(); i-- > 0;) file.removeData(static_cast<unsigned int>(i));
}

BINX_Data* binxRecord(const RecordCore& record)
{
    auto* binx = dynamic_cast<BINX_Data*>(record.shared().get());
    if (binx == nullptr) throw py::type_error("only BINX records go into a BINX file");
    return binx;
}

} // namespace

BinxCore::BinxCore() : BinxCore(std::make_unique<BINX_File>()) {}

BinxCore::BinxCore(std::unique_ptr<BINX_File> file) : m_file(std::move(file))
{
    try {
        for (BINX_Data* record : m_file->getDatas()) adopt(std::shared_ptr<BINX_Data>(record));
    } catch (...) {
        // Whatever was adopted is freed by its owner; the file must not free it again.
        detachAll(*m_file);
        throw;
    }
}

BinxCore::~BinxCore()
{
    detachAll(*m_file);
}

std::shared_ptr<BinxCore> BinxCore::read(const std::string& path, const py::object& progress)
{
    return std::make_shared<BinxCore>(readAs<BINX_File>(path, progress));
}

std::vector<RecordCore> BinxCore::records() const
{
    std::vector<RecordCore> out;
    const auto& datas = m_file->getDatas();
    out.reserve(datas.size());
    for (std::size_t i = 0; i < datas.size(); ++i)
        out.emplace_back(m_owners.at(datas[i]), static_cast<std::int64_t>(i), weak_from_this());
    return out;
}

std::optional<std::int64_t> BinxCore::positionOf(const Result_Reader* record, std::int64_t hint) const
{
    const auto& datas = m_file->getResults();
    const auto at = static_cast<std::size_t>(hint);
    if (hint >= 0 && at < datas.size() && datas[at] == record) return hint;
    const auto found = std::find(datas.begin(), datas.end(), record);
    if (found == datas.end()) return std::nullopt;
    return static_cast<std::int64_t>(found - datas.begin());
}

py::array BinxCore::table() const
{
    return recordTable(m_file->getResults(), 0);
}

std::shared_ptr<BINX_Data> BinxCore::copyOf(const RecordCore& record) const
{
    return std::make_shared<BINX_Data>(*binxRecord(record));
}

void BinxCore::append(const RecordCore& record)
{
    std::shared_ptr<BINX_Data> copy = copyOf(record);
    adopt(copy);
    m_file->addData(copy.get());
}

RecordCore BinxCore::pop(unsigned int index)
{
    const auto& datas = m_file->getDatas();
    BINX_Data* taken = index < datas.size() ? datas[index] : nullptr;
    m_file->removeData(index); // the library's own error for a bad index
    RecordCore out(m_owners.at(taken), index);
    release(taken);
    return out;
}

void BinxCore::replace(unsigned int index, const RecordCore& record)
{
    std::shared_ptr<BINX_Data> copy = copyOf(record);
    const auto& datas = m_file->getDatas();
    const BINX_Data* displaced = index < datas.size() ? datas[index] : nullptr;
    m_file->replaceData(index, copy.get());
    adopt(copy);
    release(displaced);
}

void BinxCore::replaceSame(const RecordCore& record)
{
    std::shared_ptr<BINX_Data> copy = copyOf(record);
    const std::vector<BINX_Data*> before = m_file->getDatas();
    m_file->replaceData(copy.get());
    adopt(copy);
    const auto& after = m_file->getDatas();
    if (after.size() == before.size()) {
        const auto position = static_cast<std::size_t>(std::find(after.begin(), after.end(), copy.get()) - after.begin());
        release(before.at(position));
    }
}

void BinxCore::merge(BinxCore& other)
{
    if (&other == this) throw py::value_error("a BINX file cannot be merged into itself");
    m_file->addBinxFile(other.m_file.get());
    m_owners.merge(other.m_owners);
}

void BinxCore::write(const std::string& path, unsigned int first, int last, bool skip_ignored, bool hide) const
{
    // As the command-line tool writes: under a temporary name, checked, then renamed, so that a
    // failure leaves no file where there was none and the old one where there was one. The GIL
    // stays held: another thread must not edit the file while it is written.
    ertkit::writeBinx(*m_file, path, {first, last}, skip_ignored, hide);
    flushLogLines();
}

std::string binxBytes(const BINX_File& file)
{
    // Written as write() writes, straight into memory, GIL held for the same reason.
    std::ostringstream out(std::ios::binary);
    ertkit::writeBinx(file, out, {}, false);
    flushLogLines();
    return std::move(out).str();
}

py::bytes BinxCore::toBytes() const
{
    return py::bytes(binxBytes(*m_file));
}

void bindBinx(py::module_& m)
{
    py::class_<BinxCore, std::shared_ptr<BinxCore>>(m, "BinxCore", "A BINX result file, read, edited and written by the library.")
        .def(py::init<>())
        .def(py::init(&BinxCore::read), py::arg("path"), py::arg("progress") = py::none())
        .def_property_readonly("path", [](const BinxCore& b) { return storedText(b.file().getPath()); })
        .def_property_readonly("type_name", [](const BinxCore& b) { return b.file().getTypeName(); })
        .def_property_readonly("version", [](const BinxCore& b) { return static_cast<std::uint32_t>(b.file().getVersion()); })
        .def_property(
            "folder", [](const BinxCore& b) { return storedText(b.file().getFolderPath()); },
            [](BinxCore& b, const std::string& folder) { b.file().setFolderPath(folder); })
        .def_property_readonly("recording_names", [](const BinxCore& b) { return storedTexts(b.file().getFileNamesIabOrVmn()); })
        .def_property_readonly("project_names", [](const BinxCore& b) { return storedTexts(b.file().getFileNamesProject()); })
        .def_property(
            "software", [](const BinxCore& b) { return static_cast<int>(b.file().getSoftware()); },
            [](BinxCore& b, std::uint8_t software) { b.file().setSoftware(static_cast<BINX_File::Software>(software)); })
        .def_property(
            "software_version", [](const BinxCore& b) { return b.file().getSoftwareVersion(); },
            [](BinxCore& b, const std::array<short, 3>& v) { b.file().setSoftwareVersion(v[0], v[1], v[2]); })
        .def("__len__", &BinxCore::size)
        .def("records", &BinxCore::records)
        .def("table", &BinxCore::table)
        .def("summary", [](const BinxCore& b) { return recordSummary(b.file().getResults()); })
        .def("append", &BinxCore::append, py::arg("record"))
        .def("pop", &BinxCore::pop, py::arg("index"))
        .def("replace", &BinxCore::replace, py::arg("index"), py::arg("record"))
        .def("replace_same", &BinxCore::replaceSame, py::arg("record"))
        .def("merge", &BinxCore::merge, py::arg("other"))
        .def("to_bytes", &BinxCore::toBytes)
        .def("write", &BinxCore::write, py::arg("path"), py::arg("first"), py::arg("last"), py::arg("skip_ignored"), py::arg("hide"))
        .def("add_project_name", [](BinxCore& b, const std::string& name) { return b.file().addFileNameProject(name); })
        .def("set_iab_path_index", [](BinxCore& b, unsigned int i, int v) { b.file().setIabPathIndex(i, v); })
        .def("set_vmn_path_index", [](BinxCore& b, unsigned int i, int v) { b.file().setVmnPathIndex(i, v); })
        .def("set_project_path_index", [](BinxCore& b, unsigned int i, int v) { b.file().setProjectPathIndex(i, v); })
        .def("path_indexes", [](const BinxCore& b, unsigned int i) {
            const BINX_Data& d = b.file().getData(i);
            return py::make_tuple(d.iabPathIndex, d.vmnPathIndex, d.projectPathIndex);
        });
    m.def("new_binx_record", &newBinxRecord, py::arg("fields"));
    // A record taken out of a file keeps the index it had there: so does one loaded from a pickle.
    m.def("record_with_index", [](const RecordCore& record, std::int64_t index) { return RecordCore(record.shared(), index); },
          py::arg("record"), py::arg("index"));
    m.def("set_binx_fields", [](const RecordCore& record, const py::dict& fields) { setBinxFields(*binxRecord(record), fields); },
          py::arg("record"), py::arg("fields"));
}

} // namespace ertkit_py
