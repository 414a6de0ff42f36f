#pragma once

#include <services/LineFrame.h>

#include <optional>
#include <string>

namespace ertkit {

// The conventional array a quadrupole belongs to, judged from its electrodes' distances along
// the line (the stored array code is not trusted: files mix arrays under one code). `spacing`
// is the array's unit a (the dipole length of a dipole-dipole, the inner spacing of a Wenner or
// a Schlumberger array); `n` its separation factor where the array has one.
enum class ArrayKind { Wenner, Schlumberger, DipoleDipole, PoleDipole, PolePole, General };

struct ArrayGeometry {
    ArrayKind kind = ArrayKind::General;
    double spacing = 0.0;
    double n = 0.0;
};

ArrayGeometry arrayGeometry(const Quadrupole& q, const LineFrame& line);
const char* arrayName(ArrayKind kind);

} // namespace ertkit
