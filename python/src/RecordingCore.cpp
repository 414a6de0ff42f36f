#include "RecordingCore.h"

#include "LibraryCall.h"
#include "Reading.h"
#include "Times.h"

#include <services/SampleUnit.h>

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <span>
#include <vector>


namespace ertkit_py {

RecordingCore RecordingCore::read(const std::string& path, const py::object& progress)
{
    return RecordingCore(readAs<IAB_VMN_File>(path, progress), path);
}

RecordingCore RecordingCore::outline(const std::string& path)
{
    return RecordingCore(readAs<IAB_VMN_File>(path, py::none(), IAB_VMN_File::Samples::Skipped), path);
}

void RecordingCore::checkStart(std::uint64_t start) const
{
    const std::uint64_t starts = m_reader->getNStarts();
    if (start >= starts)
        throw py::index_error("start " + std::to_string(start) + " out of range: the recording has " + std::to_string(starts) +
                              (starts == 1 ? " start" : " starts"));
}

py::tuple RecordingCore::arrays(std::uint64_t start) const
{
    checkStart(start);
    const IAB_VMN_File& file = *m_reader;
    const auto n = static_cast<py::ssize_t>(file.getNsample(start));
    // A start with samples has as many channels as its blocks, at most 15; one without keeps
    // whatever its header says, which allocates nothing.
    const auto channels = static_cast<py::ssize_t>(file.getNChannels(start));
    py::array_t<double> data({n, channels});
    py::array_t<bool> overload({n, channels});
    py::array_t<bool> pps(n);
    // The library writes every channel straight into the arrays' buffers.
    const auto cells = static_cast<std::size_t>(n * channels);
    const std::span<double> values(data.mutable_data(), cells);
    const std::span<bool> flags(overload.mutable_data(), cells);
    const std::span<bool> pulses(pps.mutable_data(), static_cast<std::size_t>(n));
    {
        py::gil_scoped_release release;
        file.fillStart(start, values, flags, pulses);
    }
    return py::make_tuple(std::move(data), std::move(overload), std::move(pps));
}

py::array_t<float> RecordingCore::singleSamples(std::uint64_t start) const
{
    checkStart(start);
    const IAB_VMN_File& file = *m_reader;
    const std::uint64_t n = file.getNsample(start);
    const std::uint64_t channels = file.getNChannels(start);
    py::array_t<float> data({static_cast<py::ssize_t>(n), static_cast<py::ssize_t>(channels)});
    float* out = data.mutable_data();
    {
        py::gil_scoped_release release;
        // The stored values are single precision: they pass through a small double buffer a
        // piece of the start at a time, so that no float64 copy of the whole start is made.
        constexpr std::uint64_t scratch_values = 1 << 16;
        const std::uint64_t piece = channels == 0 ? n : std::max<std::uint64_t>(1, scratch_values / channels);
        std::vector<double> scratch(static_cast<std::size_t>(std::min(piece, n) * channels));
        for (std::uint64_t first = 0; first < n && channels != 0; first += piece) {
            const std::uint64_t count = std::min(piece, n - first);
            const auto values = static_cast<std::size_t>(count * channels);
            file.fillStart(start, first, count, std::span<double>(scratch.data(), values), {}, {});
            std::transform(scratch.begin(), scratch.begin() + static_cast<std::ptrdiff_t>(values), out + first * channels,
                           [](double v) { return static_cast<float>(v); });
        }
    }
    return data;
}

py::dict RecordingCore::header(std::uint64_t start) const
{
    checkStart(start);
    const IAB_VMN_File& file = *m_reader;
    const IAB_VMN_FileHeader& config = file.getHeader(start);
    py::dict out;
    out["n_samples"] = file.getNsample(start);
    out["n_channels"] = file.getNChannels(start);
    out["start_time_ns"] = unixNanoseconds(file.getStartTime(start));
    out["sample_period_ns"] = file.getSampleTime(start).ticks();
    out["battery"] = file.getRxBat(start);
    out["temperature"] = file.getRxTemp(start);
    out["tx_current"] = file.getTxCurrent(start);
    out["max_rx"] = file.getMaxRxV(start, 0);
    out["gmt_offset"] = file.getGmtOffset(start);
    out["multi_tx_key"] = file.getMultiTxKey(start);
    out["gps"] = py::make_tuple(file.getGpsX(start), file.getGpsY(start), file.getGpsZ(start));
    out["offset"] = py::make_tuple(file.getOffsetX(start), file.getOffsetY(start));
    out["rs_check"] = py::make_tuple(file.getRsCheck(start, 0), file.getRsCheck(start, 1));
    out["config"] = config.get_config();
    out["input_voltage"] = config.get_input_voltage();
    out["time_set"] = config.get_time_set();
    out["data_n_10_ms"] = config.get_data_n_10_ms();
    return out;
}

py::array_t<double> RecordingCore::layout(std::uint64_t start) const
{
    checkStart(start);
    constexpr py::ssize_t rows = 13;
    py::array_t<double> out({rows, py::ssize_t{2}});
    auto table = out.mutable_unchecked<2>();
    const IAB_VMN_FileHeader& config = m_reader->getHeader(start);
    for (py::ssize_t row = 0; row < rows; ++row) {
        const auto& [x, y] = config.get_electrodes_offsets(static_cast<unsigned int>(row));
        table(row, 0) = x;
        table(row, 1) = y;
    }
    return out;
}

py::array_t<double> RecordingCore::electrodes(std::uint64_t start, std::uint64_t channel) const
{
    checkStart(start);
    const std::uint64_t channels = m_reader->getNChannels(start);
    if (channel >= channels)
        throw py::index_error("channel " + std::to_string(channel) + " out of range: the start has " + std::to_string(channels) +
                              (channels == 1 ? " channel" : " channels"));
    py::array_t<double> out({py::ssize_t{4}, py::ssize_t{3}});
    auto table = out.mutable_unchecked<2>();
    for (int e = 0; e < 4; ++e) {
        const auto name = static_cast<ElectrodeName>(e);
        table(e, 0) = m_reader->getElectrodeX(start, channel, name);
        table(e, 1) = m_reader->getElectrodeY(start, channel, name);
        table(e, 2) = m_reader->getElectrodeZ(start, channel, name);
    }
    return out;
}

void bindRecording(py::module_& m)
{
    py::class_<RecordingCore>(m, "RecordingCore", "A full-wave recording as read by the library.")
        .def(py::init(&RecordingCore::read), py::arg("path"), py::arg("progress") = py::none())
        .def_static("outline", &RecordingCore::outline, py::arg("path"),
                    "A recording's starts and headers without its samples (arrays() then raises).")
        .def_property_readonly("path", [](const RecordingCore& r) { return storedText(r.path()); })
        .def_property_readonly("type_name", [](const RecordingCore& r) { return r.reader().getTypeName(); })
        .def_property_readonly("is_vmn", [](const RecordingCore& r) { return r.reader().get_is_vmn(); })
        .def_property_readonly("serial", [](const RecordingCore& r) { return r.reader().getSerialNumber(); })
        .def_property_readonly("user_serial", [](const RecordingCore& r) { return r.reader().getUserSerialNumber(); })
        .def_property_readonly("device_type", [](const RecordingCore& r) { return static_cast<int>(r.reader().getType()); })
        .def_property_readonly("sample_unit", [](const RecordingCore& r) { return ertkit::sampleUnit(r.reader()); })
        .def_property_readonly("n_starts", [](const RecordingCore& r) { return r.reader().getNStarts(); })
        .def("arrays", &RecordingCore::arrays, py::arg("start"))
        .def("single_samples", &RecordingCore::singleSamples, py::arg("start"))
        .def("header", &RecordingCore::header, py::arg("start"))
        .def("layout", &RecordingCore::layout, py::arg("start"))
        .def("electrodes", &RecordingCore::electrodes, py::arg("start"), py::arg("channel"));
}

} // namespace ertkit_py
