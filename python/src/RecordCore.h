#pragma once

#include <host/Result_Reader.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace ertkit_py {

namespace py = pybind11;

// A file whose records may move: it tells where a record is now.
class RecordList {
public:
    virtual ~RecordList() = default;
    // The record's position, or none once it is no longer listed; `hint` is where it was.
    virtual std::optional<std::int64_t> positionOf(const Result_Reader* record, std::int64_t hint) const = 0;
};

// One record of a result file seen from Python. The pointer shares ownership with whatever
// keeps the record alive (its file, or the record itself once taken out of a file), so a
// record stays valid as long as Python holds it.
class RecordCore {
public:
    RecordCore(std::shared_ptr<Result_Reader> reader, std::int64_t index, std::weak_ptr<const RecordList> list = {})
        : m_reader(std::move(reader)), m_index(index), m_list(std::move(list))
    {
    }

    const Result_Reader& reader() const { return *m_reader; }
    const std::shared_ptr<Result_Reader>& shared() const { return m_reader; }
    // The record's position in its file: where it is now while the file lists it, else where
    // it was last seen (a record taken out keeps the index it had).
    std::int64_t index() const;

    py::dict values() const;
    // (middle of each chargeability window in ms after the cut-off, chargeability of the window)
    py::tuple decay() const;
    // (time of each sample in ms from the start of the cycle, stacked signal over one full cycle)
    py::tuple stack() const;
    // (m, tau in s, c) of the Cole-Cole model the record keeps, or None.
    py::object coleCole() const;
    py::object windowDeviations() const;
    // (ms after the switch-off, mV/V) of that model's decay up to until_ms (negative: the
    // decay's end); empty without a model.
    py::tuple coleColeDecay(double until_ms) const;

private:
    std::shared_ptr<Result_Reader> m_reader;
    mutable std::int64_t m_index;
    std::weak_ptr<const RecordList> m_list;
};

// The records of a file as the views above, sharing ownership with the file.
template <typename Owner, typename Record>
std::vector<RecordCore> recordViews(const std::shared_ptr<Owner>& owner, const std::vector<Record*>& records)
{
    std::vector<RecordCore> out;
    out.reserve(records.size());
    for (std::size_t i = 0; i < records.size(); ++i)
        out.emplace_back(std::shared_ptr<Result_Reader>(owner, records[i]), static_cast<std::int64_t>(i));
    return out;
}

void bindRecordCore(py::module_& m);

} // namespace ertkit_py
