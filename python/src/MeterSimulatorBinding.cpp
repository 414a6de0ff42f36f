// The project's meter simulator seen from Python, so that a download can be tried without a
// meter: it serves its memory on a pseudo-terminal whose device path is given to download().

#include "Download.h"

#include <sim/MeterSimulator.h>

#include <pybind11/stl.h>

#include <memory>
#include <optional>

namespace ertkit_py {

namespace {

class MeterSimulatorHolder {
public:
    MeterSimulatorHolder(ertkit_sim::MeterMemory memory, std::optional<std::uint32_t> version_word)
    {
        ertkit_sim::MeterBehaviour behaviour;
        behaviour.version = version_word;
        m_sim = std::make_unique<ertkit_sim::MeterSimulator>(std::move(memory), std::move(behaviour));
    }

    const std::string& devicePath() const { return sim().devicePath(); }
    std::size_t sessions() const { return sim().log().sessions.size(); }
    // Stops the simulator's thread and closes its terminal.
    void close() { m_sim.reset(); }

private:
    const ertkit_sim::MeterSimulator& sim() const
    {
        if (!m_sim) throw py::value_error("the meter simulator is closed");
        return *m_sim;
    }

    std::unique_ptr<ertkit_sim::MeterSimulator> m_sim;
};

} // namespace

void bindMeterSimulator(py::module_& m)
{
    py::class_<MeterSimulatorHolder>(m, "MeterSimulator",
                                     "A simulated meter on a pseudo-terminal: give device_path to download() as the port.")
        .def(py::init([](std::uint32_t version, std::uint32_t records, std::uint32_t empty_every, std::optional<std::uint32_t> version_word) {
                 py::gil_scoped_release release;
                 return std::make_unique<MeterSimulatorHolder>(ertkit_sim::MeterMemory::records(version, records, empty_every), version_word);
             }),
             py::arg("version") = 2, py::arg("records") = 10, py::arg("empty_every") = 0, py::arg("version_word") = py::none(),
             "A meter whose memory holds `records` measures of record version 1, 2 or 3; every `empty_every`-th slot is "
             "empty. `version_word` makes it answer the handshake with another version.")
        .def_static(
            "raw",
            [](bool voltage, std::uint32_t measures) {
                py::gil_scoped_release release;
                return std::make_unique<MeterSimulatorHolder>(ertkit_sim::MeterMemory::rawTransfer(voltage, measures), std::nullopt);
            },
            py::arg("voltage") = true, py::arg("measures") = 3,
            "A meter that answers with one raw full-wave transfer of a voltage (or current) receiver.")
        .def_property_readonly("device_path", &MeterSimulatorHolder::devicePath)
        .def_property_readonly("sessions", &MeterSimulatorHolder::sessions, "Identifications the meter has answered.")
        .def("close", &MeterSimulatorHolder::close, py::call_guard<py::gil_scoped_release>())
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](MeterSimulatorHolder& sim, py::args) {
            py::gil_scoped_release release;
            sim.close();
        });
}

} // namespace ertkit_py
