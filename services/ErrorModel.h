#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace ertkit {

// err(x) = a + b |x|: the standard deviation of one reading of a value x (R in ohm, or M in
// mV/V), fitted to normal-reciprocal pairs.
//
// Each pair gives its level L, the mean of the two |x|, and its difference d = |x1| - |x2|.
// If each reading has the standard deviation err, d spreads sqrt(2) err(L): the fit divides
// every spread of d by sqrt(2). It starts from the bins below: a line through their robust
// spreads, weighted by count over spread squared. Then a and b are refitted by iteratively
// reweighted least squares of |d| / sqrt(2) on L, each pair weighted by 1 / err(L)^2 (the
// spread of |d| grows with err) and left out when beyond three standard deviations of the
// current model, the mean of what is kept corrected for that cut (|d| / sqrt(2) averages
// 0.7912 err for the normal pairs within it). Neither a nor b may be negative: when the line
// would need one, it is fitted again with it held at 0.
//
// The fit's quality is judged on bins: the pairs sorted by level and cut into bins of equal
// count (at least 15 pairs, at most 20 bins), each bin's spread taken robustly as 1.4826
// times its median |d| over sqrt(2), and compared with the model at the bin's median level.
struct LinearErrorModel {
    bool fitted = false;
    double a = 0.0, b = 0.0;
    std::size_t pairs = 0, bins = 0;
    // Weighted coefficient of determination of the bins' spreads by the model (1 is a perfect
    // fit; empty with fewer than three bins), and the RMS of the bins' relative misfit.
    std::optional<double> r2;
    double rms_relative_misfit = 0.0;

    double at(double x) const;
};

// `levels` and `differences` of the pairs, element by element; fewer than `min_pairs` pairs
// with a finite level and difference give a model that is not fitted.
LinearErrorModel fitErrorModel(const std::vector<double>& levels, const std::vector<double>& differences, std::size_t min_pairs);

} // namespace ertkit
