#pragma once

#include <fullwave/IAB_VMN_File.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <string>

namespace ertkit_py {

namespace py = pybind11;

// The extension's view of one full-wave recording: the reader, shared with every Python object
// that came from it, and the queries the Python Recording and Start classes are built on.
class RecordingCore {
public:
    explicit RecordingCore(std::shared_ptr<const IAB_VMN_File> reader) : m_reader(std::move(reader)) {}
    // Read from `path` through a stream (a FIFO, a device), where the reader knows no path.
    RecordingCore(std::shared_ptr<const IAB_VMN_File> reader, std::string path)
        : m_reader(std::move(reader)), m_path(std::move(path))
    {
    }

    // Reads the file directly (every extension the reader accepts, the raw forms included).
    static RecordingCore read(const std::string& path, const py::object& progress);
    // The header-only open: what header() and the properties give, without the samples.
    static RecordingCore outline(const std::string& path);

    const IAB_VMN_File& reader() const { return *m_reader; }
    const std::string& path() const { return m_path.empty() ? m_reader->getPath() : m_path; }

    // Samples (samples x channels, float64), overload flags (same shape) and PPS flags
    // (samples) of one start, filled in one walk over its blocks.
    py::tuple arrays(std::uint64_t start) const;
    // The samples of one start as float32 (the precision they are stored in), filled without
    // a float64 array of the start.
    py::array_t<float> singleSamples(std::uint64_t start) const;
    // The set-up of one start as a dict of plain values.
    py::dict header(std::uint64_t start) const;
    // The 13-row position table (x, y) of one start.
    py::array_t<double> layout(std::uint64_t start) const;
    // Positions (x, y, z) of A, B, M, N of one channel.
    py::array_t<double> electrodes(std::uint64_t start, std::uint64_t channel) const;

private:
    void checkStart(std::uint64_t start) const;

    std::shared_ptr<const IAB_VMN_File> m_reader;
    std::string m_path;
};

void bindRecording(py::module_& m);

} // namespace ertkit_py
