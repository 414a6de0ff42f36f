// ertkit.download: a download from the meter over the USB port layer, as a BINX file and, for a
// raw transfer, the full-wave recording the meter sent.

#include "Download.h"

#include "BinxCore.h"
#include "LibraryCall.h"
#include "RecordingCore.h"

#include <download/TPortUSB.h>
#include <download/TarvexKesta_File.h>

#include <pybind11/stl.h>

#include <filesystem>
#include <mutex>
#include <optional>
#include <unistd.h>

namespace ertkit_py {

namespace {

// The port layer's device setting belongs to the process: one download at a time sets it and
// puts the previous one back.
class DevicePathFor {
public:
    explicit DevicePathFor(const std::string& device) : m_lock(mutex()), m_previous(TPortUSB::devicePath())
    {
        TPortUSB::setDevicePath(device);
    }
    ~DevicePathFor() { TPortUSB::setDevicePath(m_previous); }
    DevicePathFor(const DevicePathFor&) = delete;
    DevicePathFor& operator=(const DevicePathFor&) = delete;

private:
    static std::mutex& mutex()
    {
        static std::mutex m;
        return m;
    }
    std::lock_guard<std::mutex> m_lock;
    std::string m_previous;
};

// A folder of its own in the system temporary folder, removed with what it holds.
class TemporaryFolder {
public:
    TemporaryFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "ertkit-download-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
        m_path = pattern;
    }
    ~TemporaryFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// What a download brought, and what its callbacks reported.
struct Outcome {
    std::unique_ptr<TarvexKesta_File> download;
    std::vector<std::pair<int, std::string>> errors;
    bool open_failed = false;
};

// The recording of a raw transfer, written where asked (its extension set by the kind of
// receiver) or into a temporary folder, and read back.
py::object fullWave(const TarvexKesta_File& download, const py::object& path)
{
    if (!download.isContainFW()) return py::none();
    std::optional<TemporaryFolder> folder;
    std::filesystem::path target;
    if (path.is_none()) {
        folder.emplace();
        target = folder->path() / "download";
    } else {
        target = py::str(path).cast<std::string>();
    }
    download.writeFullWave(target);
    target.replace_extension(download.isV() ? ".vmn" : ".iab");
    return py::cast(RecordingCore::read(target.string(), py::none()));
}

py::tuple downloadFromMeter(const std::string& port, unsigned int first, unsigned int last, const std::string& name,
                            const py::object& progress, const py::object& full_wave_path)
{
    Outcome outcome;
    Outcome* sink = &outcome;
    outcome.download = std::make_unique<TarvexKesta_File>(
        // Nobody is there to plug a meter in: a port that cannot be found is not tried again.
        [](TPortVirt::TypePort) { return false; }, [sink] { sink->open_failed = true; }, [] { return true; },
        [sink](int code, std::string message) { sink->errors.emplace_back(code, std::move(message)); }, TPortVirt::USB, "ertkit");
    std::unique_ptr<BINX_File> binx = runLibrary(progress, Failure::BadRequest, [&](ProgressCallback& p) {
        DevicePathFor device(port);
        outcome.download->download(first, last, p, name);
        return std::make_unique<BINX_File>(*outcome.download, p);
    });
    py::list errors;
    for (const auto& [code, message] : outcome.errors) errors.append(py::make_tuple(code, storedText(message)));
    const bool failed = outcome.open_failed || !outcome.errors.empty();
    py::object recording = failed ? py::none() : fullWave(*outcome.download, full_wave_path);
    return py::make_tuple(std::make_shared<BinxCore>(std::move(binx)), recording, errors, outcome.open_failed);
}

} // namespace

void bindDownload(py::module_& m)
{
    m.def("download", &downloadFromMeter, py::arg("port"), py::arg("first"), py::arg("last"), py::arg("name"),
          py::arg("progress") = py::none(), py::arg("full_wave_path") = py::none(),
          "Downloads measures first..last: (BINX core, recording core or None, [(code, message)], port failed).");
}

} // namespace ertkit_py
