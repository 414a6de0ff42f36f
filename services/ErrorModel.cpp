#include <services/ErrorModel.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ertkit {

namespace {

constexpr double s_mad_to_sigma = 1.482602218505602; // 1 / Phi^-1(3/4)
constexpr std::size_t s_bin_pairs = 15, s_most_bins = 20;
constexpr double s_cut = 3.0;
// E[|Z| given |Z| < 3] for a standard normal Z: the mean of |d| / (sqrt(2) err) over the
// pairs the fit keeps.
constexpr double s_kept_mean = 0.791177;
constexpr int s_iterations = 30;

struct Point {
    double level = 0.0, y = 0.0, weight = 1.0;
};

double median(std::vector<double>& values)
{
    const std::size_t n = values.size();
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(n / 2);
    std::nth_element(values.begin(), middle, values.end());
    if (n % 2 == 1) return *middle;
    return 0.5 * (*middle + *std::max_element(values.begin(), middle));
}

// Weighted least squares of y = a + b level, with a or b held at 0 when the free fit would
// make it negative.
void fitLine(const std::vector<Point>& points, double& a, double& b)
{
    double sw = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const Point& p : points) {
        sw += p.weight;
        sx += p.weight * p.level;
        sy += p.weight * p.y;
        sxx += p.weight * p.level * p.level;
        sxy += p.weight * p.level * p.y;
    }
    a = b = 0.0;
    if (!(sw > 0.0)) return;
    const double det = sw * sxx - sx * sx;
    if (det > 1e-12 * sw * sxx) {
        b = (sw * sxy - sx * sy) / det;
        a = (sy - b * sx) / sw;
    }
    if (!(det > 1e-12 * sw * sxx) || a < 0.0) {
        a = 0.0;
        b = sxx > 0.0 ? sxy / sxx : 0.0;
    }
    if (b < 0.0 || !(b > 0.0 || a > 0.0)) {
        b = 0.0;
        a = sy / sw;
    }
}

// The pairs (sorted by level) cut into bins of equal count: each bin's median level, its
// spread of one reading (1.4826 times the median |d| over sqrt(2)) and its count.
struct Bin {
    double level = 0.0, spread = 0.0, count = 0.0;
};

std::vector<Bin> binsOf(const std::vector<std::pair<double, double>>& pairs)
{
    const std::size_t count = std::clamp<std::size_t>(pairs.size() / s_bin_pairs, 1, s_most_bins);
    std::vector<Bin> bins;
    std::vector<double> level, spread;
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t first = pairs.size() * k / count, last = pairs.size() * (k + 1) / count;
        level.clear();
        spread.clear();
        for (std::size_t i = first; i < last; ++i) {
            level.push_back(pairs[i].first);
            spread.push_back(pairs[i].second);
        }
        bins.push_back({median(level), s_mad_to_sigma * median(spread) / std::numbers::sqrt2, static_cast<double>(last - first)});
    }
    return bins;
}

void judgeOnBins(const std::vector<std::pair<double, double>>& pairs, LinearErrorModel& model)
{
    const std::vector<Bin> bins = binsOf(pairs);
    const std::size_t count = bins.size();
    std::vector<double> bin_level, bin_spread, bin_weight;
    for (const Bin& bin : bins) {
        bin_level.push_back(bin.level);
        bin_spread.push_back(bin.spread);
        const double fit = model.at(bin_level.back());
        bin_weight.push_back(fit > 0.0 ? bin.count / (fit * fit) : 0.0);
    }
    model.bins = count;
    double sw = 0, mean = 0;
    for (std::size_t k = 0; k < count; ++k) {
        sw += bin_weight[k];
        mean += bin_weight[k] * bin_spread[k];
    }
    if (!(sw > 0.0)) return;
    mean /= sw;
    double total = 0, residual = 0, relative = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const double fit = model.at(bin_level[k]);
        total += bin_weight[k] * (bin_spread[k] - mean) * (bin_spread[k] - mean);
        residual += bin_weight[k] * (bin_spread[k] - fit) * (bin_spread[k] - fit);
        relative += std::pow((bin_spread[k] - fit) / fit, 2);
    }
    if (count >= 3 && total > 0.0) model.r2 = 1.0 - residual / total;
    model.rms_relative_misfit = std::sqrt(relative / static_cast<double>(count));
}

} // namespace

double LinearErrorModel::at(double x) const
{
    return a + b * std::abs(x);
}

LinearErrorModel fitErrorModel(const std::vector<double>& levels, const std::vector<double>& differences, std::size_t min_pairs)
{
    LinearErrorModel model;
    std::vector<std::pair<double, double>> pairs;
    pairs.reserve(levels.size());
    for (std::size_t i = 0; i < levels.size() && i < differences.size(); ++i)
        if (std::isfinite(levels[i]) && std::isfinite(differences[i])) pairs.emplace_back(std::abs(levels[i]), std::abs(differences[i]));
    model.pairs = pairs.size();
    if (pairs.size() < std::max<std::size_t>(min_pairs, 2)) return model;
    std::sort(pairs.begin(), pairs.end());
    model.fitted = true;
    // A robust start: the line through the bins' spreads (median based), then pairs beyond
    // three standard deviations of the current model are left out and the rest refitted.
    std::vector<Point> points;
    double a = 0.0, b = 0.0;
    for (const Bin& bin : binsOf(pairs))
        points.push_back({bin.level, bin.spread, bin.spread > 0.0 ? bin.count / (bin.spread * bin.spread) : 0.0});
    fitLine(points, a, b);
    if (!(a > 0.0 || b > 0.0)) return model; // most pairs agree exactly: no error the pairs can see
    points.assign(pairs.size(), Point{});
    // The smallest error any pair may be given, so that a pair at level 0 with a model of a = 0
    // does not weigh without bound.
    const double least = 1e-9 * (a + b * pairs.back().first);
    for (int iteration = 0; iteration < s_iterations; ++iteration) {
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            const double sigma = std::max(a + b * pairs[i].first, least);
            const double z = pairs[i].second / (std::numbers::sqrt2 * sigma);
            points[i] = {pairs[i].first, pairs[i].second / (std::numbers::sqrt2 * s_kept_mean), z < s_cut ? 1.0 / (sigma * sigma) : 0.0};
        }
        const double old_a = a, old_b = b;
        fitLine(points, a, b);
        if (std::abs(a - old_a) <= 1e-10 * (std::abs(a) + least) && std::abs(b - old_b) <= 1e-10 * (std::abs(b) + 1e-300)) break;
    }
    model.a = a;
    model.b = b;
    judgeOnBins(pairs, model);
    return model;
}

} // namespace ertkit
