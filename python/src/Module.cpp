// The extension module ertkit._ertkit; the package ertkit builds its classes on it.

#include "BinCore.h"
#include "BinxCore.h"
#include "Download.h"
#include "LibraryCall.h"
#include "OpenFile.h"
#include "RecordCore.h"
#include "RecordingCore.h"
#include "Qc.h"
#include "Reprocess.h"

#include <host/GeoSpec.h>

#include <pybind11/pybind11.h>

PYBIND11_MODULE(_ertkit, m)
{
    m.doc() = "Core of the ertkit package: the C++ readers, writers and download, seen from Python.";
    ertkit_py::bindLibraryCall(m);
    ertkit_py::bindRecording(m);
    ertkit_py::bindRecordCore(m);
    ertkit_py::bindBin(m);
    ertkit_py::bindBinx(m);
    ertkit_py::bindOpenFile(m);
    ertkit_py::bindDownload(m);
    ertkit_py::bindReprocess(m);
    ertkit_py::bindQc(m);
    m.def("sexagesimal_to_decimal", &sexagesimalToDecimalAngle, pybind11::arg("angle"),
          "A GPS angle written as degrees and minutes run together (DDDMM.mmmm) in decimal degrees.");
}
