#pragma once

#include <services/ColeCole.h>
#include <services/ResultValues.h>

#include <host/Result_Reader.h>

#include <cstddef>
#include <optional>
#include <vector>

namespace ertkit {

// The Cole-Cole model a record keeps (reprocessing stores the one it fitted): none unless its
// chargeability and time constant are both above 0, which is also how a failed fit is stored.
std::optional<ColeColeParameters> storedColeCole(const Result_Reader& record);

// The model's chargeability (mV/V) over the record's off time, read as reprocessing reads its
// gates from a stack: each point one sample of the half cycle at the record's sample period,
// over the primary voltage of the record's on-time window, at its time after the switch-off.
// From the first sample after the switch-off up to `until_ms` (or the decay's end), at most
// `max_points` points spread evenly; none for an injection without off time, or a record whose
// period or cycle cannot be a recorded one.
std::vector<DecayPoint> coleColeDecayCurve(const Result_Reader& record, const ColeColeParameters& model, double until_ms,
                                           std::size_t max_points = 200);

} // namespace ertkit
